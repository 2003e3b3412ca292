#include "transfer/insert.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/sheet_codec.h"
#include "rom/file_io.h"
#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"
#include "transfer/sheet_file_name.h"
#include "transfer/transfer_messages.h"

// Insertion is all or nothing. The first pass reads, packs or encodes and
// room-checks every sheet in visiting order without touching the ROM; only
// when every sheet has passed does the second pass write them, in the same
// order, with the same pointer writes, followed by the pointer copy and the
// fill. A sheet that fails therefore leaves the ROM exactly as it was.

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
    startEncode(context, sheetBuffer, length, sheetCodecType(sheet), encodeBuffer.get());
    encodeSheetStream(context);
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

bool writeAt(const RomImage& rom, std::uint64_t position, const std::uint8_t* bytes, std::uint32_t length)
{
    return seekTo(rom.file, position) && std::fwrite(bytes, 1, length, rom.file) == length;
}

// 0x71 and 0x72's entries copied over 0xDD and 0xDE's, in each table, read
// back from the ROM as the sheets before left it.
bool copyPointerEntries(const RomImage& rom)
{
    const PointerTables tables = pointerTables(*rom.layout);
    for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
        std::uint8_t entries[2];
        if (!seekTo(rom.file, std::uint64_t{rom.headerOffset} + table + 0x71) ||
            std::fread(entries, 1, 2, rom.file) != 2 ||
            !writeAt(rom, std::uint64_t{rom.headerOffset} + table + 0xDD, entries, 2)) {
            return false;
        }
    }
    return true;
}

// 0xFF from `from` up to the protected boundary, not including it.
bool fillFreedSpace(const RomImage& rom, std::uint32_t from)
{
    const std::uint32_t to = rom.headerOffset + rom.layout->protectedBoundary;
    if (!seekTo(rom.file, from)) {
        return false;
    }
    std::uint8_t chunk[0x1000];
    std::memset(chunk, 0xFF, sizeof chunk);
    for (std::uint32_t at = from; at < to;) {
        const std::uint32_t count = to - at < sizeof chunk ? to - at : static_cast<std::uint32_t>(sizeof chunk);
        if (std::fwrite(chunk, 1, count, rom.file) != count) {
            return false;
        }
        at += count;
    }
    return true;
}

// The second pass: the planned sheets and their pointers in visiting order,
// then the pointer copy and the fill. Every write is checked.
bool writeInsertion(const RomImage& rom, const PlannedSheet* plan, std::uint32_t end, bool fill)
{
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        const PlannedSheet& planned = plan[sheet];
        if (!writeAt(rom, planned.position, planned.bytes, planned.length)) {
            return false;
        }
        if (sheetStorage(sheet) != SheetStorage::FixedOffset &&
            !writeSheetPointer(rom, sheet, planned.position - rom.headerOffset)) {
            return false;
        }
    }
    if (!copyPointerEntries(rom)) {
        return false;
    }
    const std::uint32_t protectedOffset = rom.headerOffset + rom.layout->protectedBoundary;
    if (fill && end < protectedOffset && end > rom.headerOffset + kFillThreshold && !fillFreedSpace(rom, end)) {
        return false;
    }
    return std::fflush(rom.file) == 0;
}

}  // namespace

bool insertSheets(RomImage& rom, const InsertRequest& request, std::uint32_t& endOffset)
{
    SheetSource source;
    if (request.sheetFilePath != nullptr) {
        source.combinedPath = request.sheetFilePath;
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
    } else if (planInsertion(rom, source, adjustedStartOffset(request.startOffset, rom.headerOffset), plan.get(),
                             end)) {
        succeeded = writeInsertion(rom, plan.get(), end, request.fill);
        if (!succeeded) {
            std::printf(kFmtRomWriteFailed, rom.path);
        }
    }
    if (source.combined != nullptr) {
        std::fclose(source.combined);
    }
    if (succeeded) {
        endOffset = end;
    }
    return succeeded;
}
