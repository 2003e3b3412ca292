#include "transfer/insert_steps.h"

#include <cstring>
#include <new>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "platform/output.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "rom/stored_form.h"
#include "sheetfile/sheetfile_messages.h"
#include "transfer/transfer_messages.h"

std::uint32_t visitedSheet(std::uint32_t step)
{
    constexpr std::uint32_t kRawCount = kLastRaw3bppSheet - kFirstRaw3bppSheet + 1;
    if (step < kRawCount) {
        return kFirstRaw3bppSheet + step;
    }
    if (step < kRawCount + kFirstRaw3bppSheet) {
        return step - kRawCount;
    }
    return step;
}

std::uint32_t adjustedStartOffset(std::uint32_t given, std::uint32_t headerOffset)
{
    if (given == kGraphicsAreaStart + kCopierHeaderSize && headerOffset == 0) {
        return kGraphicsAreaStart;
    }
    if ((given == kGraphicsAreaStart || given == kExpansionAreaStart) && headerOffset == kCopierHeaderSize) {
        return given + kCopierHeaderSize;
    }
    return given;
}

void printStartPastEnd(const RomImage& rom, std::uint32_t start)
{
    printError(kFmtStartPastEnd, static_cast<unsigned>(start), static_cast<unsigned>(rom.size));
}

bool allocateSheetBuffer(SheetBuffer& buffer)
{
    buffer.bytes.reset(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    buffer.dirtyEnd = 0;
    if (!buffer.bytes) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    return true;
}

bool readSheet(const SheetSource& source, std::uint32_t sheet, SheetBuffer& buffer, std::uint32_t& length)
{
    std::uint8_t* bytes = buffer.bytes.get();
    if (!readSheetFromSource(source, sheet, bytes, length)) {
        return false;
    }
    // Only what earlier sheets may have left past this one's bytes is cleared.
    if (buffer.dirtyEnd > length) {
        std::memset(bytes + length, 0, buffer.dirtyEnd - length);
    }
    // Packing a raw sheet writes its first 1536 bytes, whatever the source length.
    const SheetStorage storage = sheetStorage(sheet);
    buffer.dirtyEnd =
        storage == SheetStorage::Raw3bpp && length < kRaw3bppSheetSize ? kRaw3bppSheetSize : length;
    const std::uint32_t packed = storage == SheetStorage::Raw3bpp ? kRaw4bppSheetSize : length;
    if (sheetKeeps3BitsPerPixel(sheet) && packingDropsColour(bytes, packed)) {
        printWarning(kFmtColoursDropped, static_cast<unsigned>(sheet));
    }
    return true;
}

bool readSheetFromRom(const RomImage& rom, std::uint32_t sheet, StreamDecoder& decoder, SheetBuffer& buffer,
                      std::uint32_t& length)
{
    std::uint8_t* bytes = buffer.bytes.get();
    RomSheetPlace place;
    length = readRomSheet(rom, sheet, decoder, bytes, place);
    if (length == 0) {
        printError(kFmtDecompressError, static_cast<unsigned>(sheet));
        return false;
    }
    if (length > kSheetBufferSize) {
        printWarning(kFmtSheetTooLarge, static_cast<unsigned>(sheet));
        length = kSheetBufferSize;
    }
    if (buffer.dirtyEnd > length) {
        std::memset(bytes + length, 0, buffer.dirtyEnd - length);
    }
    buffer.dirtyEnd = length;
    return true;
}

bool refusesDifferingPairs(const RomImage& rom, const SheetFiles& files, const SheetSelection& selection,
                           DifferingPairs& pairs)
{
    findDifferingPairs(*rom.layout, files, selection, pairs);
    SheetFiles other = files;
    other.format = otherKindOf(files.format);
    for (std::uint32_t k = 0; k < pairs.count && k < 3; ++k) {
        printError(kFmtFileDiffersBeside, sheetFilePath(other, pairs.sheets[k]).c_str(),
                   sheetFilePath(files, pairs.sheets[k]).c_str());
    }
    return pairs.count != 0;
}

EncoderTables::EncoderTables()
{
    keepEncoderTables(context);
}

EncoderTables::~EncoderTables()
{
    releaseEncoderTables(context);
}

bool encodeSheet(EncodeContext& context, LzPacking packing, std::uint32_t sheet, std::uint8_t* sheetBuffer,
                 std::uint32_t length, PlannedSheet& planned)
{
    std::unique_ptr<std::uint8_t[]> encodeBuffer(new (std::nothrow) std::uint8_t[kCodecBufferSize]);
    if (!encodeBuffer) {
        return false;
    }
    startEncode(context, sheetBuffer, length, sheetCodecType(sheet), encodeBuffer.get());
    encodeSheetStream(context, packing);
    context.output = nullptr;
    if (!context.ok) {
        return false;
    }
    planned.length = context.outputLength;
    std::memcpy(planned.bytes, encodeBuffer.get(),
                planned.length < kSheetBufferSize ? planned.length : kSheetBufferSize);
    return true;
}

bool storeSheet(const RomLayout& layout, EncodeContext& context, LzPacking packing, std::uint32_t sheet,
                std::uint8_t* sheetBuffer, std::uint32_t sourceLength, PlannedSheet& planned)
{
    if (sheetStorage(sheet) != SheetStorage::Compressed) {
        // A fixed sheet is written raw, its catalogue size whatever the source
        // length; a raw sheet packed to 3 bits per pixel.
        planned.length = packForStorage(layout, sheet, sheetBuffer, sourceLength);
        std::memcpy(planned.bytes, sheetBuffer, planned.length);
        return true;
    }
    if (!encodeSheet(context, packing, sheet, sheetBuffer, sourceLength, planned) || planned.length == 0 ||
        planned.length > kSheetBufferSize) {
        printError(kFmtCompressError, static_cast<unsigned>(sheet));
        return false;
    }
    return true;
}

OldExtent oldExtentOf(const RomImage& rom, std::uint32_t sheet, StreamDecoder& decoder, DecodedStream& decoded)
{
    OldExtent extent;
    decoded = DecodedStream{};
    const SheetStorage storage = sheetStorage(sheet);
    const PcOffset pointer = storage == SheetStorage::FixedOffset
                                 ? fixedSheetOffset(sheet)
                                 : readSheetPointer(rom.bytes.get(), rom.headerOffset, *rom.layout, sheet);
    extent.start = std::uint64_t{rom.headerOffset} + pointer;
    if (storage != SheetStorage::Compressed) {
        extent.length = storage == SheetStorage::FixedOffset ? sheetSize(sheet, *rom.layout) : kRaw3bppSheetSize;
        extent.ownsBytes = true;
        return extent;
    }
    decoded = decodeSheetAt(rom, pointer, sheetCodecType(sheet), decoder, false);
    extent.length = decoded.streamLength;
    extent.ownsBytes = decoded.length != 0 && !decoded.cutOff;
    return extent;
}
