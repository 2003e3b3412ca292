#include "transfer/insert.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "rom/expand.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_files.h"
#include "transfer/check_report.h"
#include "transfer/insert_changed.h"
#include "transfer/insert_steps.h"
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

// The first pass: every sheet read, brought into its stored form and placed,
// in visiting order. Nothing is written. False at once after the message of a
// source or encoding error, or of a placement refusal in a real run. A
// check-only run reports the first placement refusal, marks it in `summary`
// and lays out the remaining sheets as if there were room.
bool planInsertion(const RomImage& rom, const SheetSource& source, const InsertRequest& request,
                   PlannedSheet* plan, PlanSummary& summary)
{
    SheetBuffer sheetBuffer;
    if (!allocateSheetBuffer(sheetBuffer)) {
        return false;
    }
    // A check of the smallest packing also packs every sheet the default way,
    // to tell what it saves: from a copy, since type 1 packs in place.
    const bool compare = request.checkOnly && request.smallest;
    std::unique_ptr<std::uint8_t[]> copy(compare ? new (std::nothrow) std::uint8_t[kSheetBufferSize] : nullptr);
    std::unique_ptr<PlannedSheet> byDefault(compare ? new (std::nothrow) PlannedSheet : nullptr);
    if (compare && (!copy || !byDefault)) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    const LzPacking packing = request.smallest ? LzPacking::Smallest : LzPacking::Default;
    EncoderTables tables;
    EncodeContext& context = tables.context;
    std::uint32_t position = summary.start;
    std::uint32_t laid[kSheetCount];
    std::uint32_t laidCount = 0;

    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        PlannedSheet& planned = plan[sheet];
        std::uint32_t sourceLength = 0;
        if (!readSheet(source, sheet, sheetBuffer, sourceLength)) {
            summary.unreadSheet = sheet;
            return false;
        }
        if (compare) {
            std::memcpy(copy.get(), sheetBuffer.bytes.get(), kSheetBufferSize);
        }
        if (!storeSheet(*rom.layout, context, packing, sheet, sheetBuffer.bytes.get(), sourceLength, planned)) {
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
// memory over the run's own image, then put in the ROM's place whole. Every
// planned span lies below rom.size (the plan checked each), as do the tables
// and the fixed sheets.
bool writeInsertion(RomImage& rom, const PlannedSheet* plan, std::uint32_t end, bool fill)
{
    std::uint8_t* bytes = rom.bytes.get();
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
    return storeRomImage(rom);
}

}  // namespace

bool insertSheets(RomImage& rom, const InsertRequest& request, InsertOutcome& outcome)
{
    if (request.changedOnly) {
        return insertChangedSheets(rom, request, outcome);
    }
    PlanSummary summary;
    summary.start = adjustedStartOffset(request.startOffset, rom.headerOffset);
    if (!request.anyStart && !startInSheetArea(rom, summary.start)) {
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
