#include "transfer/insert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "cli/messages.h"
#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec/run_length.h"
#include "rom/file_io.h"
#include "rom/pointer_tables.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "transfer/sheet_file_name.h"

// Insertion is all or nothing. The first pass reads, packs or encodes and
// room-checks every sheet in visiting order without touching the ROM; only
// when every sheet has passed does the second pass lay them, in the same
// order, with the same pointers, followed by the pointer copy and the fill,
// into an image of the ROM in memory, which then replaces the ROM whole. A
// sheet that fails, or a write of the new image that fails, therefore leaves
// the ROM exactly as it was.

namespace {

// Below this file offset (plus the header) the closing fill never starts.
constexpr std::uint32_t kFillThreshold = 0x8B800;

// Sheets 0x73-0x7E first, so the raw sheets sit at the start offset; then
// 0x00-0x72 and 0x7F-0xDE.
std::uint32_t visitedSheet(std::uint32_t step)
{
    constexpr std::uint32_t kRawCount = 0x7E - 0x73 + 1;
    if (step < kRawCount) {
        return 0x73 + step;
    }
    if (step < kRawCount + 0x73) {
        return step - kRawCount;
    }
    return step;
}

// The two usual start offsets are taken for the other header state too.
std::uint32_t adjustedStartOffset(std::uint32_t given, std::uint32_t headerOffset)
{
    if (given == 0x87200 && headerOffset == 0) {
        return 0x87000;
    }
    if (given == 0x87000 && headerOffset == kCopierHeaderSize) {
        return 0x87200;
    }
    if (given == 0x100000 && headerOffset == kCopierHeaderSize) {
        return 0x100200;
    }
    return given;
}

// One sheet in the form the ROM stores it, and where it goes.
struct PlannedSheet {
    std::uint32_t position;  // file offset, copier header included
    std::uint32_t length;    // stored length
    std::uint8_t bytes[kSheetBufferSize];
};

// Where the sheets come from: the combined file, or one file per sheet.
struct SheetSource {
    std::FILE* combined = nullptr;
    const char* combinedPath = nullptr;
};

// Reads sheet `sheet`'s source into `buffer` (kSheetBufferSize bytes); the
// positions it does not fill are zero. False after printing a message.
bool readSheetSource(const SheetSource& source, const RomLayout& layout, std::uint32_t sheet,
                     std::uint8_t* buffer, std::uint32_t& length)
{
    std::memset(buffer, 0, kSheetBufferSize);
    if (source.combined != nullptr) {
        length = sheetSize(sheet, layout);
        if (!seekTo(source.combined, combinedFileOffset(sheet, layout)) ||
            std::fread(buffer, 1, length, source.combined) != length) {
            std::printf(kFmtCouldNotRead, source.combinedPath);
            return false;
        }
        return true;
    }

    const SheetFileName fileName = sheetFileName(sheet);
    const char* name = fileName.text;
    std::FILE* file = openExistingFile(name, "rb");
    if (file == nullptr) {
        std::printf(kFmtCouldNotOpen, name);
        return false;
    }
    std::uint64_t size = 0;
    bool readOk = measureFileSize(file, size);
    if (readOk && size > kSheetBufferSize) {
        std::printf(kFmtSheetTooLarge, static_cast<unsigned>(sheet));
        size = kSheetBufferSize;
    }
    length = static_cast<std::uint32_t>(size);
    readOk = readOk && seekTo(file, 0) && std::fread(buffer, 1, length, file) == length;
    std::fclose(file);
    if (!readOk) {
        std::printf(kFmtCouldNotRead, name);
        return false;
    }
    return true;
}

// Encodes `sheetBuffer` (length bytes) with the sheet's codec into `planned`.
// False when the encoder failed or no encode buffer could be had.
bool encodeSheet(EncodeContext& context, std::uint32_t sheet, std::uint8_t* sheetBuffer, std::uint32_t length,
                 PlannedSheet& planned)
{
    std::unique_ptr<std::uint8_t[]> encodeBuffer(new (std::nothrow) std::uint8_t[kCodecBufferSize]);
    if (!encodeBuffer) {
        return false;
    }
    context.input = sheetBuffer;
    context.inputLength = length;
    context.codecType = sheetCodecType(sheet);
    context.output = encodeBuffer.get();
    context.outputLength = 0;
    context.ok = true;
    switch (context.codecType) {
    case LzSheet:
    case LzSheet3bpp:
        encodeLzSheet(context);
        break;
    case RunLengthSheet:
        encodeRunLengthSheet(context);
        break;
    case RunLengthBlock:
        encodeRunLengthBlock(context);
        break;
    default:
        break;  // no codec: nothing is encoded, and the empty result fails below
    }
    context.output = nullptr;
    if (!context.ok) {
        return false;
    }
    planned.length = context.outputLength;
    std::memcpy(planned.bytes, encodeBuffer.get(),
                planned.length < kSheetBufferSize ? planned.length : kSheetBufferSize);
    return true;
}

// The first pass: every sheet read, brought into its stored form and checked
// for room, in visiting order. Nothing is written. On success `end` is the
// file offset just past the last pointer-addressed sheet.
bool planInsertion(const RomImage& rom, const SheetSource& source, std::uint32_t start, PlannedSheet* plan,
                   std::uint32_t& end)
{
    std::unique_ptr<std::uint8_t[]> sheetBuffer(new (std::nothrow) std::uint8_t[kSheetBufferSize]);
    if (!sheetBuffer) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    const std::uint64_t protectedOffset = std::uint64_t{rom.headerOffset} + rom.layout->protectedBoundary;
    EncodeContext context;
    std::uint32_t position = start;

    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        PlannedSheet& planned = plan[sheet];
        std::uint32_t sourceLength = 0;
        if (!readSheetSource(source, *rom.layout, sheet, sheetBuffer.get(), sourceLength)) {
            return false;
        }

        switch (sheetStorage(sheet)) {
        case SheetStorage::FixedOffset:
            // Written raw at its fixed offset, whatever the source length.
            planned.position = rom.headerOffset + fixedSheetOffset(sheet);
            planned.length = sheetSize(sheet, *rom.layout);
            std::memcpy(planned.bytes, sheetBuffer.get(), planned.length);
            continue;
        case SheetStorage::Raw3bpp:
            planned.length = packRawSheet4To3(sheetBuffer.get());
            std::memcpy(planned.bytes, sheetBuffer.get(), planned.length);
            break;
        case SheetStorage::Compressed:
            if (!encodeSheet(context, sheet, sheetBuffer.get(), sourceLength, planned)) {
                std::printf(kFmtCompressError, static_cast<unsigned>(sheet));
                return false;
            }
            break;
        }
        if (planned.length == 0 || planned.length > kSheetBufferSize) {
            std::printf(kFmtCompressError, static_cast<unsigned>(sheet));
            return false;
        }

        // Computed in 64 bits: a start offset near 4 GiB must not wrap into room.
        const std::uint64_t sheetEnd = std::uint64_t{position} + planned.length;
        if (sheetEnd >= rom.size || (position <= protectedOffset && protectedOffset < sheetEnd)) {
            std::printf("%s", kMsgNotEnoughRoom);
            return false;
        }
        // A pointer holds offsets below 4 MiB only, and none inside the copier header.
        if (position < rom.headerOffset) {
            std::printf(kFmtInsideCopierHeader, static_cast<unsigned>(sheet), position);
            return false;
        }
        if (position - rom.headerOffset >= kLoRomAddressableLimit) {
            std::printf(kFmtOutOfPointerReach, static_cast<unsigned>(sheet), position);
            return false;
        }
        planned.position = position;
        position = static_cast<std::uint32_t>(sheetEnd);
    }
    end = position;
    return true;
}

// Sets sheet's bank, high and low pointer bytes in `image`; the tables lie
// inside every identified ROM, and so inside its image.
void setSheetPointer(const RomImage& rom, std::uint8_t* image, std::uint32_t sheet, PcOffset offset)
{
    const PointerTables tables = pointerTables(*rom.layout);
    const SnesAddress address = toSnesAddress(offset);
    image[rom.headerOffset + tables.bank + sheet] = static_cast<std::uint8_t>(address >> 16);
    image[rom.headerOffset + tables.high + sheet] = static_cast<std::uint8_t>(address >> 8);
    image[rom.headerOffset + tables.low + sheet] = static_cast<std::uint8_t>(address);
}

// The second pass: the ROM image as the planned writes leave it, built in
// memory from the ROM's current bytes, then put in the ROM's place whole.
// The image holds the whole file, at least rom.size bytes (a file that has
// shrunk since it was opened fails the read); every planned span lies below
// rom.size (the plan checked each), as do the tables and the fixed sheets.
bool writeInsertion(RomImage& rom, const PlannedSheet* plan, std::uint32_t end, bool fill)
{
    std::uint64_t length = 0;
    if (!measureFileSize(rom.file, length) || length < rom.size) {
        length = rom.size;  // the read below falls short and says so
    }
    std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[length]);
    if (!image) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    if (!readWholeRom(rom, image.get(), length)) {
        return false;
    }
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        const PlannedSheet& planned = plan[sheet];
        std::memcpy(image.get() + planned.position, planned.bytes, planned.length);
        if (sheetStorage(sheet) != SheetStorage::FixedOffset) {
            setSheetPointer(rom, image.get(), sheet, planned.position - rom.headerOffset);
        }
    }
    // 0x71 and 0x72's entries over 0xDD and 0xDE's, in each table.
    const PointerTables tables = pointerTables(*rom.layout);
    for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
        std::uint8_t* entries = image.get() + rom.headerOffset + table;
        entries[0xDD] = entries[0x71];
        entries[0xDE] = entries[0x72];
    }
    // 0xFF from the end of the last sheet up to the protected boundary.
    const std::uint32_t protectedOffset = rom.headerOffset + rom.layout->protectedBoundary;
    if (fill && end < protectedOffset && end > rom.headerOffset + kFillThreshold) {
        std::memset(image.get() + end, 0xFF, protectedOffset - end);
    }
    return storeRomImage(rom, image.get(), length);
}

}  // namespace

bool insertSheets(RomImage& rom, RunOptions& options)
{
    SheetSource source;
    if (options.sheetFilePath) {
        source.combinedPath = options.sheetFilePath->c_str();
        source.combined = openExistingFile(source.combinedPath, "rb");
        if (source.combined == nullptr) {
            std::printf(kFmtCouldNotOpen, source.combinedPath);
            return false;
        }
        // A short file would insert whatever the buffer held as graphics.
        std::uint64_t size = 0;
        const std::uint32_t needed = combinedFileSize(*rom.layout);
        const bool measured = measureFileSize(source.combined, size);
        if (!measured || size < needed) {
            std::fclose(source.combined);
            if (measured) {
                std::printf(kFmtSheetFileTooShort, source.combinedPath, needed);
            } else {
                std::printf(kFmtCouldNotRead, source.combinedPath);
            }
            return false;
        }
    }

    std::unique_ptr<PlannedSheet[]> plan(new (std::nothrow) PlannedSheet[kSheetCount]);
    std::uint32_t end = 0;
    bool succeeded = false;
    if (!plan) {
        std::printf("%s", kMsgOutOfMemory);
    } else if (planInsertion(rom, source, adjustedStartOffset(options.insertAddress, rom.headerOffset),
                             plan.get(), end)) {
        succeeded = writeInsertion(rom, plan.get(), end, (options.modeWord & ModeNoFill) == 0);
    }
    if (source.combined != nullptr) {
        std::fclose(source.combined);
    }
    if (succeeded) {
        options.insertAddress = end;
    }
    return succeeded;
}
