#include "transfer/insert_steps.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "rom/stored_form.h"
#include "transfer/transfer_messages.h"

namespace {

// What a placed sheet would overwrite that must stay: the internal header and
// the pointer tables, or a fixed sheet. Null when nothing.
const char* overwrittenRegion(const RomImage& rom, std::uint64_t position, std::uint32_t length)
{
    if (overlaps(position, length, rom.headerOffset, kSystemAreaEnd)) {
        return kRegionSystemArea;
    }
    if (overlaps(position, length, std::uint64_t{rom.headerOffset} + fixedSheetOffset(0xDD),
                 sheetSize(0xDD, *rom.layout))) {
        return kRegionSheetDD;
    }
    if (overlaps(position, length, std::uint64_t{rom.headerOffset} + fixedSheetOffset(0xDE),
                 sheetSize(0xDE, *rom.layout))) {
        return kRegionSheetDE;
    }
    return nullptr;
}

}  // namespace

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

bool startInSheetArea(const RomImage& rom, std::uint32_t start)
{
    const std::uint64_t header = rom.headerOffset;
    if ((start >= header + kGraphicsAreaStart && start < header + rom.layout->protectedBoundary) ||
        start >= header + kExpansionAreaStart) {
        return true;
    }
    std::printf(kFmtOutsideSheetAreas, static_cast<unsigned>(start),
                static_cast<unsigned>(header + kGraphicsAreaStart),
                static_cast<unsigned>(header + rom.layout->protectedBoundary),
                static_cast<unsigned>(header + kExpansionAreaStart));
    return false;
}

void printStartPastEnd(const RomImage& rom, std::uint32_t start)
{
    std::printf(kFmtStartPastEnd, static_cast<unsigned>(start), static_cast<unsigned>(rom.size));
}

bool allocateSheetBuffer(SheetBuffer& buffer)
{
    buffer.bytes.reset(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    buffer.dirtyEnd = 0;
    if (!buffer.bytes) {
        std::printf("%s", kMsgOutOfMemory);
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
        std::printf(kFmtColoursDropped, static_cast<unsigned>(sheet));
    }
    return true;
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
        std::printf(kFmtCompressError, static_cast<unsigned>(sheet));
        return false;
    }
    return true;
}

bool overlaps(std::uint64_t from, std::uint64_t length, std::uint64_t at, std::uint64_t size)
{
    return from < at + size && at < from + length;
}

bool placeSheet(const RomImage& rom, std::uint32_t sheet, std::uint32_t position, std::uint32_t length,
                bool report, bool& noRoom)
{
    const std::uint64_t protectedOffset = std::uint64_t{rom.headerOffset} + rom.layout->protectedBoundary;
    // Computed in 64 bits: a start offset near 4 GiB must not wrap into room.
    const std::uint64_t sheetEnd = std::uint64_t{position} + length;
    noRoom = sheetEnd >= rom.size || (position <= protectedOffset && protectedOffset < sheetEnd);
    if (noRoom) {
        if (report) {
            std::printf("%s", kMsgNotEnoughRoom);
        }
        return false;
    }
    const unsigned number = static_cast<unsigned>(sheet);
    // A pointer holds offsets below 4 MiB only, and none inside the copier header.
    if (position < rom.headerOffset) {
        if (report) {
            std::printf(kFmtInsideCopierHeader, number, position);
        }
        return false;
    }
    if (const char* region = overwrittenRegion(rom, position, length)) {
        if (report) {
            std::printf(kFmtWouldOverwrite, number, position, region);
        }
        return false;
    }
    if (position - rom.headerOffset >= kLoRomAddressableLimit) {
        if (report) {
            std::printf(kFmtOutOfPointerReach, number, position);
        }
        return false;
    }
    return true;
}

void reservedRegions(const RomImage& rom, Region (&regions)[kReservedRegionCount])
{
    const std::uint64_t header = rom.headerOffset;
    regions[0] = {0, header + kSystemAreaEnd};
    regions[1] = {header + fixedSheetOffset(0xDD), sheetSize(0xDD, *rom.layout)};
    regions[2] = {header + fixedSheetOffset(0xDE), sheetSize(0xDE, *rom.layout)};
}

