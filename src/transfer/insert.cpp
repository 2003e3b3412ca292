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
#include "transfer/check_report.h"
#include "transfer/sheet_file_name.h"
#include "transfer/transfer_messages.h"

// Insertion studies the whole insertion before it writes one byte. The first
// pass reads, packs or encodes and places every sheet in visiting order
// without touching the ROM; only when every sheet has passed does the second
// pass write them, in the same order, with the same pointer writes, followed
// by the pointer copy and the fill. A sheet that fails therefore leaves the
// ROM exactly as it was. A check-only run stops after the first pass and
// reports it.

namespace {

// Below this file offset (plus the header) the closing fill never starts.
constexpr std::uint32_t kFillThreshold = 0x8B800;
// Where the game's graphics start, and where an expanded ROM's new room starts.
constexpr PcOffset kGraphicsAreaStart = 0x87000;
constexpr PcOffset kExpansionAreaStart = 0x100000;
// The internal header, the vectors and the pointer tables lie below this.
constexpr PcOffset kSystemAreaEnd = 0x8000;

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

// What the first pass found, for the second pass and for the report.
struct PlanSummary {
    std::uint32_t start = 0;        // adjusted start offset
    std::uint32_t end = 0;          // just past the last pointer-addressed sheet
    std::uint32_t needed = 0;       // stored bytes of the pointer-addressed sheets
    bool layoutRefused = false;     // a sheet had no room or could not be placed
};

// Where the sheets come from: the combined file, or one file per sheet.
struct SheetSource {
    std::FILE* combined = nullptr;
    const char* combinedPath = nullptr;
};

// Opens the combined sheet file, which must hold exactly this release's
// sheets: another length means another release's file, a ROM, or a file cut
// short. False after printing a message, with nothing left open.
bool openCombinedSource(const RomLayout& layout, const char* path, SheetSource& source)
{
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        std::printf(kFmtCouldNotOpen, path);
        return false;
    }
    std::uint64_t size = 0;
    if (!measureFileSize(file, size)) {
        std::fclose(file);
        std::printf(kFmtCouldNotRead, path);
        return false;
    }
    const std::uint32_t needed = combinedFileSize(layout);
    if (size != needed) {
        std::fclose(file);
        const RomLayout& other = layout.version == RomVersion::Us ? kJapanLayout : kUsLayout;
        if (size == combinedFileSize(other)) {
            std::printf(kFmtSheetFileOfOtherRelease, path, releaseName(other), releaseName(layout));
        } else {
            std::printf(kFmtSheetFileWrongSize, path, static_cast<unsigned>(size), static_cast<unsigned>(needed));
        }
        return false;
    }
    source.combined = file;
    source.combinedPath = path;
    return true;
}

// The length the game keeps for a sheet that holds 3 bits per pixel or sits
// at a fixed offset; 0 for the type-0 sheets, whose length is theirs to choose.
std::uint32_t keptLength(std::uint32_t sheet, const RomLayout& layout)
{
    switch (sheetStorage(sheet)) {
    case SheetStorage::FixedOffset:
        return sheetSize(sheet, layout);
    case SheetStorage::Raw3bpp:
        return kRaw4bppSheetSize;
    case SheetStorage::Compressed:
        return sheetCodecType(sheet) == LzSheet3bpp ? kRaw4bppSheetSize : 0;
    }
    return 0;
}

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
    if (readOk && size == 0) {
        // An empty stream would go in and fail every later extraction.
        std::fclose(file);
        std::printf(kFmtSheetFileEmpty, name);
        return false;
    }
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
    const std::uint32_t kept = keptLength(sheet, layout);
    if (kept != 0 && length != kept) {
        std::printf(kFmtSheetLengthNotKept, static_cast<unsigned>(sheet), static_cast<unsigned>(length),
                    static_cast<unsigned>(kept));
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

// Brings the sheet in `sheetBuffer` into the form the ROM stores it. False
// after printing a message.
bool storeSheet(const RomLayout& layout, EncodeContext& context, std::uint32_t sheet, std::uint8_t* sheetBuffer,
                std::uint32_t sourceLength, PlannedSheet& planned)
{
    const SheetStorage storage = sheetStorage(sheet);
    const bool threeBits = storage == SheetStorage::Raw3bpp ||
                           (storage == SheetStorage::Compressed && sheetCodecType(sheet) == LzSheet3bpp);
    if (threeBits && packingDropsColour(sheetBuffer, storage == SheetStorage::Raw3bpp ? kRaw4bppSheetSize
                                                                                     : sourceLength)) {
        std::printf(kFmtColoursDropped, static_cast<unsigned>(sheet));
    }
    switch (storage) {
    case SheetStorage::FixedOffset:
        // Written raw at its fixed offset, whatever the source length.
        planned.length = sheetSize(sheet, layout);
        std::memcpy(planned.bytes, sheetBuffer, planned.length);
        return true;
    case SheetStorage::Raw3bpp:
        planned.length = packRawSheet4To3(sheetBuffer);
        std::memcpy(planned.bytes, sheetBuffer, planned.length);
        return true;
    case SheetStorage::Compressed:
        if (!encodeSheet(context, sheet, sheetBuffer, sourceLength, planned) || planned.length == 0 ||
            planned.length > kSheetBufferSize) {
            std::printf(kFmtCompressError, static_cast<unsigned>(sheet));
            return false;
        }
        return true;
    }
    return false;
}

// Whether [from, from + length) meets [at, at + size).
bool overlaps(std::uint64_t from, std::uint64_t length, std::uint64_t at, std::uint64_t size)
{
    return from < at + size && at < from + length;
}

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

// The placement checks of one pointer-addressed sheet of `length` stored bytes
// at `position`, in order: room, the copier header, what must not be
// overwritten, the reach of a pointer. Prints the refusal when `report` is
// set; `noRoom` tells a refusal for room from the others.
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

// The first pass: every sheet read, brought into its stored form and placed,
// in visiting order. Nothing is written. False at once after the message of a
// source or encoding error, or of a placement refusal in a real run. A
// check-only run reports the first placement refusal, marks it in `summary`
// and lays out the remaining sheets as if there were room.
bool planInsertion(const RomImage& rom, const SheetSource& source, const InsertRequest& request,
                   PlannedSheet* plan, PlanSummary& summary)
{
    std::unique_ptr<std::uint8_t[]> sheetBuffer(new (std::nothrow) std::uint8_t[kSheetBufferSize]);
    if (!sheetBuffer) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    EncodeContext context;
    std::uint32_t position = summary.start;

    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        PlannedSheet& planned = plan[sheet];
        std::uint32_t sourceLength = 0;
        if (!readSheetSource(source, *rom.layout, sheet, sheetBuffer.get(), sourceLength) ||
            !storeSheet(*rom.layout, context, sheet, sheetBuffer.get(), sourceLength, planned)) {
            return false;
        }
        if (sheetStorage(sheet) == SheetStorage::FixedOffset) {
            planned.position = rom.headerOffset + fixedSheetOffset(sheet);
            continue;
        }

        bool noRoom = false;
        if (!placeSheet(rom, sheet, position, planned.length, !summary.layoutRefused, noRoom)) {
            if (!summary.layoutRefused && noRoom && !request.checkOnly) {
                std::printf(kFmtCheckOnlyHint, static_cast<unsigned>(request.checkModeWord));
            }
            summary.layoutRefused = true;
            if (!request.checkOnly) {
                return false;
            }
        }
        planned.position = position;
        summary.needed += planned.length;
        position += planned.length;
    }
    summary.end = position;
    return true;
}

// A start offset in the game's graphics area or in the expansion area.
bool startInSheetArea(const RomImage& rom, std::uint32_t start)
{
    const std::uint64_t header = rom.headerOffset;
    return (start >= header + kGraphicsAreaStart && start < header + rom.layout->protectedBoundary) ||
           start >= header + kExpansionAreaStart;
}

// The check-only report: where every sheet would go, what the sheets need
// against the room there is, and what would make room when there is none.
void printPlanReport(const RomImage& rom, const PlannedSheet* plan, const PlanSummary& summary)
{
    SheetSpan spans[kSheetCount];
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        spans[step] = {sheet, plan[sheet].position, plan[sheet].length};
    }
    printSheetSpans(spans, kSheetCount);

    const std::uint32_t header = rom.headerOffset;
    const std::uint32_t boundary = header + rom.layout->protectedBoundary;
    const std::uint32_t limit = summary.start <= boundary ? boundary : rom.size - 1;
    const std::uint32_t free = summary.start <= limit ? limit - summary.start : 0;
    std::printf(kFmtRoomNeeded, static_cast<unsigned>(summary.needed), static_cast<unsigned>(summary.start),
                static_cast<unsigned>(free), static_cast<unsigned>(limit));
    if (!summary.layoutRefused) {
        return;
    }
    // The expansion area runs from 0x100000 to the end of the file, the last
    // byte excepted (a sheet may not end at the file size).
    const std::uint32_t expansionStart = header + kExpansionAreaStart;
    if (rom.size > expansionStart && summary.needed < rom.size - expansionStart &&
        summary.start != expansionStart) {
        std::printf(kFmtWouldFitFrom, static_cast<unsigned>(expansionStart));
    } else if (summary.needed < 0x100000 && rom.size < header + 0x200000) {
        std::printf(kFmtWouldFitExpanded, 2u, static_cast<unsigned>(expansionStart));
    } else if (summary.needed < 0x200000 && rom.size < header + 0x300000) {
        std::printf(kFmtWouldFitExpanded, 3u, static_cast<unsigned>(expansionStart));
    }
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
    PlanSummary summary;
    summary.start = adjustedStartOffset(request.startOffset, rom.headerOffset);
    if (!request.anyStart && !startInSheetArea(rom, summary.start)) {
        const std::uint32_t header = rom.headerOffset;
        std::printf(kFmtOutsideSheetAreas, static_cast<unsigned>(summary.start),
                    static_cast<unsigned>(header + kGraphicsAreaStart),
                    static_cast<unsigned>(header + rom.layout->protectedBoundary),
                    static_cast<unsigned>(header + kExpansionAreaStart));
        if (!request.checkOnly) {
            return false;
        }
        summary.layoutRefused = true;
    }

    SheetSource source;
    if (request.sheetFilePath != nullptr && !openCombinedSource(*rom.layout, request.sheetFilePath, source)) {
        return false;
    }
    std::unique_ptr<PlannedSheet[]> plan(new (std::nothrow) PlannedSheet[kSheetCount]);
    bool succeeded = false;
    if (!plan) {
        std::printf("%s", kMsgOutOfMemory);
    } else if (request.checkOnly) {
        // A source or encoding error ends the check as it would end the run.
        if (planInsertion(rom, source, request, plan.get(), summary)) {
            printPlanReport(rom, plan.get(), summary);
            succeeded = !summary.layoutRefused;
        }
    } else if (planInsertion(rom, source, request, plan.get(), summary)) {
        succeeded = writeInsertion(rom, plan.get(), summary.end, request.fill);
        if (!succeeded) {
            std::printf(kFmtRomWriteFailed, rom.path);
        }
    }
    if (source.combined != nullptr) {
        std::fclose(source.combined);
    }
    if (succeeded) {
        endOffset = summary.end;
    }
    return succeeded;
}
