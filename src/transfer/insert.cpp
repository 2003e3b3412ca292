#include "transfer/insert.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec/sheet_codec.h"
#include "rom/expand.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "rom/stored_form.h"
#include "sheetfile/sheet_files.h"
#include "transfer/check_report.h"
#include "transfer/transfer_messages.h"

// Insertion studies the whole insertion before it writes one byte. The first
// pass reads, packs or encodes and places every sheet in visiting order
// without touching the ROM; only when every sheet has passed does the second
// pass lay them, in the same order, with the same pointers, followed by the
// pointer copy and the fill, into an image of the ROM in memory, which then
// replaces the ROM whole. A sheet that fails, or a write of the new image
// that fails, therefore leaves the ROM exactly as it was. A check-only run
// stops after the first pass and reports it.

namespace {

// Below this file offset (plus the header) the closing fill never starts.
constexpr std::uint32_t kFillThreshold = 0x8B800;

// The raw sheets first, so that they sit at the start offset; then the
// others in order.
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

// The usual start offsets, the graphics area's with or without a copier
// header and the expansion area's without one, are taken for the other
// header state too.
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
    std::uint32_t needed = 0;       // stored bytes of the pointer-addressed sheets laid
    std::uint32_t neededByDefault = 0;  // the same with the default packing (checks of the smallest only)
    std::uint32_t shared = 0;       // sheets stored once for several (smallest packing)
    bool layoutRefused = false;     // a sheet had no room or could not be placed
    bool refusedForRoom = false;    // the first refusal was for room
    std::uint32_t unreadSheet = kSheetCount;  // the sheet whose file could not be read, if any
};

// Encodes `sheetBuffer` (length bytes) with the sheet's codec into `planned`.
// False when the encoder failed or no encode buffer could be had.
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

// Brings the sheet in `sheetBuffer` into the form the ROM stores it. False
// after printing a message.
bool storeSheet(const RomLayout& layout, EncodeContext& context, LzPacking packing, std::uint32_t sheet,
                std::uint8_t* sheetBuffer, std::uint32_t sourceLength, PlannedSheet& planned)
{
    const SheetStorage storage = sheetStorage(sheet);
    const std::uint32_t packed = storage == SheetStorage::Raw3bpp ? kRaw4bppSheetSize : sourceLength;
    if (sheetKeeps3BitsPerPixel(sheet) && packingDropsColour(sheetBuffer, packed)) {
        std::printf(kFmtColoursDropped, static_cast<unsigned>(sheet));
    }
    if (storage != SheetStorage::Compressed) {
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

// Why a start offset has no room at all.
void printStartPastEnd(const RomImage& rom, std::uint32_t start)
{
    std::printf(kFmtStartPastEnd, static_cast<unsigned>(start), static_cast<unsigned>(rom.size));
}

// The first pass: every sheet read, brought into its stored form and placed,
// in visiting order. Nothing is written. False at once after the message of a
// source or encoding error, or of a placement refusal in a real run. A
// check-only run reports the first placement refusal, marks it in `summary`
// and lays out the remaining sheets as if there were room.
bool planInsertion(const RomImage& rom, const SheetSource& source, const InsertRequest& request,
                   PlannedSheet* plan, PlanSummary& summary)
{
    // Cleared once: past the bytes its source fills, the buffer holds zeros,
    // never another sheet's. Only what earlier sheets may have left there,
    // below `dirtyEnd`, is cleared again for each sheet.
    std::unique_ptr<std::uint8_t[]> sheetBuffer(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    std::uint32_t dirtyEnd = 0;
    // A check of the smallest packing also packs every sheet the default way,
    // to tell what it saves: from a copy, since type 1 packs in place.
    const bool compare = request.checkOnly && request.smallest;
    std::unique_ptr<std::uint8_t[]> copy(compare ? new (std::nothrow) std::uint8_t[kSheetBufferSize] : nullptr);
    std::unique_ptr<PlannedSheet> byDefault(compare ? new (std::nothrow) PlannedSheet : nullptr);
    if (!sheetBuffer || (compare && (!copy || !byDefault))) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    const LzPacking packing = request.smallest ? LzPacking::Smallest : LzPacking::Default;
    // The encoder's tables serve every sheet of the walk and go with it.
    struct EncoderTables {
        EncodeContext context;
        EncoderTables() { keepEncoderTables(context); }
        ~EncoderTables() { releaseEncoderTables(context); }
    } tables;
    EncodeContext& context = tables.context;
    std::uint32_t position = summary.start;
    std::uint32_t laid[kSheetCount];
    std::uint32_t laidCount = 0;

    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        PlannedSheet& planned = plan[sheet];
        std::uint32_t sourceLength = 0;
        if (!readSheetFromSource(source, sheet, sheetBuffer.get(), sourceLength)) {
            summary.unreadSheet = sheet;
            return false;
        }
        if (dirtyEnd > sourceLength) {
            std::memset(sheetBuffer.get() + sourceLength, 0, dirtyEnd - sourceLength);
        }
        // Packing a raw sheet writes its first 1536 bytes, whatever the source length.
        dirtyEnd = sheetStorage(sheet) == SheetStorage::Raw3bpp && sourceLength < kRaw3bppSheetSize
                       ? kRaw3bppSheetSize
                       : sourceLength;
        if (compare) {
            std::memcpy(copy.get(), sheetBuffer.get(), kSheetBufferSize);
        }
        if (!storeSheet(*rom.layout, context, packing, sheet, sheetBuffer.get(), sourceLength, planned)) {
            return false;
        }
        if (sheetStorage(sheet) == SheetStorage::FixedOffset) {
            planned.position = rom.headerOffset + fixedSheetOffset(sheet);
            continue;
        }
        if (compare) {
            // The same sheet the default way, quietly: its warnings have been
            // printed, and a raw sheet packs the same either way.
            const bool encoded = sheetStorage(sheet) == SheetStorage::Compressed &&
                                 encodeSheet(context, LzPacking::Default, sheet, copy.get(), sourceLength, *byDefault);
            summary.neededByDefault += encoded ? byDefault->length : planned.length;
        }
        // The smallest packing stores a sheet once: a sheet whose stored bytes
        // equal those of one laid before points at that copy.
        if (request.smallest) {
            const PlannedSheet* same = nullptr;
            for (std::uint32_t k = 0; k < laidCount && same == nullptr; ++k) {
                const PlannedSheet& earlier = plan[laid[k]];
                if (earlier.length == planned.length &&
                    std::memcmp(earlier.bytes, planned.bytes, planned.length) == 0) {
                    same = &earlier;
                }
            }
            if (same != nullptr) {
                planned.position = same->position;
                ++summary.shared;
                continue;
            }
        }

        bool noRoom = false;
        if (!placeSheet(rom, sheet, position, planned.length, !summary.layoutRefused, noRoom)) {
            if (!summary.layoutRefused) {
                summary.refusedForRoom = noRoom;
                if (noRoom && position >= rom.size && !request.checkOnly) {
                    printStartPastEnd(rom, position);
                }
            }
            summary.layoutRefused = true;
            if (!request.checkOnly) {
                return false;
            }
        }
        planned.position = position;
        summary.needed += planned.length;
        position += planned.length;
        laid[laidCount++] = sheet;
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
// against the room there is, and where they would fit when they do not:
// printed here when it is a place in this ROM, handed back in `outcome` when
// the ROM must grow first.
void printPlanReport(const RomImage& rom, const PlannedSheet* plan, const PlanSummary& summary,
                     InsertOutcome& outcome)
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
    if (summary.neededByDefault != 0) {
        std::printf(kFmtSmallestSaves, static_cast<unsigned>(summary.neededByDefault - summary.needed),
                    static_cast<unsigned>(summary.neededByDefault), static_cast<unsigned>(summary.shared));
    }
    if (!summary.layoutRefused) {
        return;
    }
    // No expansion brings a start past the end of the file into the ROM.
    if (summary.refusedForRoom && summary.start >= rom.size) {
        printStartPastEnd(rom, summary.start);
        return;
    }
    // A start that may not be used, or sheets over what must stay: the
    // graphics area may hold them all the same.
    const std::uint32_t graphicsStart = header + kGraphicsAreaStart;
    if (!summary.refusedForRoom && summary.needed <= boundary - graphicsStart && summary.start != graphicsStart) {
        std::printf(kFmtWouldFitFromGraphicsArea, static_cast<unsigned>(graphicsStart));
        return;
    }
    // The expansion area runs from 0x100000 to the end of the file, the last
    // byte excepted (a sheet may not end at the file size).
    const std::uint32_t expansionStart = header + kExpansionAreaStart;
    if (rom.size > expansionStart && summary.needed < rom.size - expansionStart &&
        summary.start != expansionStart) {
        std::printf(kFmtWouldFitFrom, static_cast<unsigned>(expansionStart));
        return;
    }
    for (const RomExpansion* expansion : {&kExpansionTo2Mib, &kExpansionTo3Mib}) {
        if (summary.needed < expansion->size - kExpansionAreaStart && rom.size < header + expansion->size) {
            outcome.fitsAfter = expansion;
            outcome.fitsFrom = expansionStart;
            return;
        }
    }
}

// The second pass: the ROM image as the planned writes leave it, built in
// memory from a copy of the ROM's image, then put in the ROM's place whole.
// Every planned span lies below rom.size (the plan checked each), as do the
// tables and the fixed sheets.
bool writeInsertion(const RomImage& rom, const PlannedSheet* plan, std::uint32_t end, bool fill)
{
    RomImage image;
    if (!copyRomImage(rom, rom.size, image)) {
        return false;
    }
    std::uint8_t* bytes = image.bytes.get();
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        const PlannedSheet& planned = plan[sheet];
        std::memcpy(bytes + planned.position, planned.bytes, planned.length);
        if (sheetStorage(sheet) != SheetStorage::FixedOffset) {
            writeSheetPointer(bytes, rom.headerOffset, *rom.layout, sheet, planned.position - rom.headerOffset);
        }
    }
    // 0x71 and 0x72's entries over 0xDD and 0xDE's, in each table.
    const PointerTables tables = pointerTables(*rom.layout);
    for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
        std::uint8_t* entries = bytes + rom.headerOffset + table;
        entries[0xDD] = entries[0x71];
        entries[0xDE] = entries[0x72];
    }
    // 0xFF from the end of the last sheet up to the protected boundary.
    const std::uint32_t protectedOffset = rom.headerOffset + rom.layout->protectedBoundary;
    if (fill && end < protectedOffset && end > rom.headerOffset + kFillThreshold) {
        std::memset(bytes + end, 0xFF, protectedOffset - end);
    }
    return storeRomImage(image);
}

}  // namespace

bool insertSheets(const RomImage& rom, const InsertRequest& request, InsertOutcome& outcome)
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
    if (!openSheetSource(source, *rom.layout, request.sheetFilePath, request.pictures)) {
        outcome.combinedFileRefused = true;
        return false;
    }
    std::unique_ptr<PlannedSheet[]> plan(new (std::nothrow) PlannedSheet[kSheetCount]);
    bool succeeded = false;
    if (!plan) {
        std::printf("%s", kMsgOutOfMemory);
    } else if (planInsertion(rom, source, request, plan.get(), summary)) {
        // A source or encoding error ends a check as it would end the run.
        if (request.checkOnly) {
            printPlanReport(rom, plan.get(), summary, outcome);
            succeeded = !summary.layoutRefused;
        } else {
            succeeded = writeInsertion(rom, plan.get(), summary.end, request.fill);
        }
    }
    outcome.refusedForRoom = summary.layoutRefused && summary.refusedForRoom;
    outcome.startPastEnd = outcome.refusedForRoom && summary.start >= rom.size;
    outcome.unreadSheet = summary.unreadSheet;
    if (succeeded) {
        outcome.endOffset = summary.end;
    }
    return succeeded;
}
