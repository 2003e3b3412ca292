#include "transfer/insert_changed.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "platform/output.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/sheet_stream.h"
#include "rom/stored_form.h"
#include "sheetfile/sheet_files.h"
#include "transfer/insert_steps.h"
#include "transfer/transfer_messages.h"

// Only the sheets whose stored form differs from the ROM's are written; every
// other byte of the ROM stays. The walk goes through these phases:
//   1. find the changes: read every sheet and decode the ROM's own stream of
//      each, to tell which changed;
//   2. choose which changed sheets stay in place: in their old extent (where
//      their stream lies now) when the new stream fits there and no other
//      sheet shares those bytes;
//   3. guard the kept streams: no unchanged sheet may lie where the run writes;
//   4. place the moved sheets, in visiting order, each in the first free
//      place from the start offset in the start offset's area;
//   5. report, and plan the changes of the new image.
// Nothing is planned before every sheet has a place, and nothing at all when
// no sheet changed.

namespace {

enum class Fate : std::uint8_t { Kept, InPlace, Moved };

struct SheetPlan {
    Fate fate = Fate::Kept;
    std::uint64_t oldStart = 0;   // file offset of the bytes the sheet takes now
    std::uint64_t oldLength = 0;  // ... and how many: the stream bytes its decoder read
    bool ownsOldBytes = false;    // they hold its stream for sure: not one cut off or decoding to nothing
                                  // (changed sheets: and they may be reused, see oldExtentReusable)
    std::unique_ptr<PlannedSheet> stored;  // changed sheets: the new stored form and its place
};

// Whether the sheet in `source` (`length` bytes, zero past them) stores what
// the ROM holds for it now; sets plan's old extent.
bool unchanged(const RomImage& rom, StreamDecoder& decoder, std::uint32_t sheet, const std::uint8_t* source,
               std::uint32_t length, std::uint8_t* scratch, SheetPlan& plan)
{
    // The copy holds every byte packing reads: a raw sheet's first 2048, a
    // fixed sheet's catalogue size, zeros past the source's own bytes.
    const SheetStorage storage = sheetStorage(sheet);
    const std::uint32_t needed = storage == SheetStorage::Raw3bpp       ? kRaw4bppSheetSize
                                 : storage == SheetStorage::FixedOffset ? sheetSize(sheet, *rom.layout)
                                                                        : 0;
    std::memcpy(scratch, source, length > needed ? length : needed);
    const std::uint32_t packed = packForStorage(*rom.layout, sheet, scratch, length);
    DecodedStream decoded;
    const OldExtent extent = oldExtentOf(rom, sheet, decoder, decoded);
    plan.oldStart = extent.start;
    plan.ownsOldBytes = extent.ownsBytes;
    if (storage != SheetStorage::Compressed) {
        plan.oldLength = packed;
        const RomSpan held = romBytesFrom(rom, static_cast<PcOffset>(extent.start - rom.headerOffset));
        return held.length >= packed && std::memcmp(held.bytes, scratch, packed) == 0;
    }
    // The stream as stored: a type-1 sheet before its widening, as packing leaves the file's.
    plan.oldLength = extent.length;
    return plan.ownsOldBytes && decoded.length == packed && std::memcmp(decoded.bytes, scratch, packed) == 0;
}

// Phase 1: reads every sheet, tells the changed ones and brings them into
// their stored form. False after the message of a file or sheet that fails.
bool findChanges(const RomImage& rom, const SheetSource& source, const InsertRequest& request, SheetPlan* plans,
                 InsertReport& report)
{
    SheetBuffer sheetBuffer;
    StreamDecoder decoder;
    std::unique_ptr<std::uint8_t[]> scratch(new (std::nothrow) std::uint8_t[kSheetBufferSize]);
    if (!allocateSheetBuffer(sheetBuffer)) {
        return false;
    }
    if (!allocateStreamDecoder(decoder) || !scratch) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    EncoderTables tables;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        SheetPlan& plan = plans[sheet];
        // A sheet the run does not read stays as the ROM has it.
        if (!isSelected(request.selection, sheet)) {
            DecodedStream decoded;
            const OldExtent extent = oldExtentOf(rom, sheet, decoder, decoded);
            plan.oldStart = extent.start;
            plan.oldLength = extent.length;
            plan.ownsOldBytes = extent.ownsBytes;
            continue;
        }
        std::uint32_t length = 0;
        if (!readSheet(source, sheet, sheetBuffer, length)) {
            report.unreadSheet = sheet;
            return false;
        }
        if (unchanged(rom, decoder, sheet, sheetBuffer.bytes.get(), length, scratch.get(), plan)) {
            continue;
        }
        plan.stored.reset(new (std::nothrow) PlannedSheet);
        if (!plan.stored) {
            printError("%s", kMsgOutOfMemory);
            return false;
        }
        plan.fate = Fate::Moved;
        if (!storeSheet(*rom.layout, tables.context, request.packing, sheet, sheetBuffer.bytes.get(), length,
                        *plan.stored)) {
            return false;
        }
    }
    return true;
}

// Whether [start, start + length) meets the old extent of any sheet but `self`.
bool meetsOtherSheet(const SheetPlan* plans, std::uint32_t self, std::uint64_t start, std::uint64_t length)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheet != self && overlaps(start, length, plans[sheet].oldStart, plans[sheet].oldLength)) {
            return true;
        }
    }
    return false;
}

// Phase 2: fixed sheets always stay in place; a pointer-addressed sheet
// whose new stream fits its old extent does when no other sheet shares
// those bytes and they lie where sheets may lie. Every old extent, of kept
// and changed sheets alike, is taken: no moved sheet goes there.
void chooseInPlace(const RomImage& rom, SheetPlan* plans, FreeSpace& space, InsertReport& report)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        SheetPlan& plan = plans[sheet];
        takeSpace(space, plan.oldStart, plan.oldLength);
        if (plan.fate == Fate::Kept) {
            continue;
        }
        ++report.changed;
        const bool fixed = sheetStorage(sheet) == SheetStorage::FixedOffset;
        plan.ownsOldBytes = oldExtentReusable(rom, plan.oldStart, plan.oldLength, plan.ownsOldBytes);
        const bool fits = plan.ownsOldBytes && plan.stored->length <= plan.oldLength &&
                          !meetsOtherSheet(plans, sheet, plan.oldStart, plan.oldLength);
        if (fixed || fits) {
            plan.fate = Fate::InPlace;
            plan.stored->position = static_cast<std::uint32_t>(plan.oldStart);
            ++report.inPlace;
        }
    }
}

// Whether a sheet whose pointer entries follow another's moves with it.
bool entriesFollowAMovedSheet(const SheetPlan* plans)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const std::uint32_t source = pointerEntrySource(sheet);
        if (source < kSheetCount && plans[source].fate == Fate::Moved) {
            return true;
        }
    }
    return false;
}

// Phase 3: the first kept sheet whose old extent meets bytes the run writes
// outside every moved sheet's place: a changed fixed sheet, or the pointer
// entries of the moved sheets (and of the sheets whose entries follow them).
// kSheetCount when there is none; `at` receives the first byte they share.
std::uint32_t keptSheetWrittenOver(const RomImage& rom, const SheetPlan* plans, std::uint64_t& at)
{
    Region written[2 + 3 * (kSheetCount + 2)];
    std::uint32_t count = 0;
    const PointerTables tables = pointerTables(*rom.layout);
    const auto addEntry = [&](std::uint32_t sheet) {
        for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
            written[count++] = {std::uint64_t{rom.headerOffset} + table + sheet, 1};
        }
    };
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetPlan& plan = plans[sheet];
        if (plan.fate == Fate::Moved) {
            addEntry(sheet);
        } else if (plan.fate == Fate::InPlace && sheetStorage(sheet) == SheetStorage::FixedOffset) {
            written[count++] = {plan.oldStart, plan.oldLength};
        }
    }
    if (entriesFollowAMovedSheet(plans)) {
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            if (pointerEntrySource(sheet) < kSheetCount) {
                addEntry(sheet);
            }
        }
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetPlan& plan = plans[sheet];
        for (std::uint32_t k = 0; k < count && plan.fate == Fate::Kept; ++k) {
            if (overlaps(plan.oldStart, plan.oldLength, written[k].start, written[k].length)) {
                at = std::max(plan.oldStart, written[k].start);
                return sheet;
            }
        }
    }
    return kSheetCount;
}

// Phase 4: the moved sheets in visiting order, each to the first free place
// from the start, and with no start given, when there is none in the
// graphics area, from the start of an expanded ROM's expansion area. False
// when one found no room (after "Not enough room"); for a report the rest
// are laid out as if the file went on.
bool placeMovedSheets(const RomImage& rom, const InsertRequest& request, SheetPlan* plans, FreeSpace& space,
                      InsertReport& report)
{
    std::unique_ptr<FreeSpace> expansion;
    const std::uint64_t expansionStart = std::uint64_t{rom.headerOffset} + kExpansionAreaStart;
    if (!request.startGiven && rom.size > expansionStart) {
        expansion.reset(new (std::nothrow) FreeSpace);
        if (expansion) {
            describeFreeSpace(rom, expansionStart, request.anyStart, *expansion);
            expansion->takenCount = space.takenCount;
            std::copy_n(space.taken, space.takenCount, expansion->taken);
        }
    }
    std::uint64_t end = 0;
    bool noRoom = false;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        SheetPlan& plan = plans[sheet];
        if (plan.fate != Fate::Moved) {
            continue;
        }
        std::uint64_t place = 0;
        if (!findFreePlace(space, plan.stored->length, place) &&
            !(expansion && findFreePlace(*expansion, plan.stored->length, place))) {
            if (!noRoom) {
                printError("%s", kMsgNotEnoughRoom);
                if (report.start >= rom.size) {
                    printStartPastEnd(rom, report.start);
                }
                noRoom = true;
            }
            if (!request.forReport) {
                break;
            }
            unboundFreeSpace(space);
            static_cast<void>(findFreePlace(space, plan.stored->length, place));
        }
        plan.stored->position = static_cast<std::uint32_t>(place);
        takeSpace(space, place, plan.stored->length);
        if (expansion) {
            takeSpace(*expansion, place, plan.stored->length);
        }
        end = std::max(end, place + plan.stored->length);
    }
    report.endOffset = static_cast<std::uint32_t>(end);
    report.refusedForRoom = noRoom;
    report.startPastEnd = noRoom && report.start >= rom.size;
    return !noRoom;
}

// 0xFF over the old extent of changed sheet `self` wherever no other
// sheet's old extent lies, never below the tables nor past the file.
bool fillFreedBytes(const SheetPlan* plans, std::uint32_t self, const RomImage& rom, RomPlan& image)
{
    const SheetPlan& plan = plans[self];
    std::uint64_t at = std::max(plan.oldStart, std::uint64_t{rom.headerOffset} + kSystemAreaEnd);
    const std::uint64_t end = std::min(plan.oldStart + plan.oldLength, std::uint64_t{rom.size});
    Region others[kSheetCount];
    std::uint32_t count = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheet != self && overlaps(at, end > at ? end - at : 0, plans[sheet].oldStart, plans[sheet].oldLength)) {
            others[count++] = {plans[sheet].oldStart, plans[sheet].oldLength};
        }
    }
    std::sort(others, others + count, [](const Region& a, const Region& b) { return a.start < b.start; });
    for (std::uint32_t k = 0; k <= count && at < end; ++k) {
        const std::uint64_t until = k < count ? std::min(others[k].start, end) : end;
        if (until > at && !addRomFill(image, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(until - at), 0xFF)) {
            return false;
        }
        if (k < count) {
            at = std::max(at, others[k].start + others[k].length);
        }
    }
    return true;
}

// Phase 5: the changes of the new image: every changed sheet, the fill of
// what changed sheets leave of their old extents, and the pointers of the
// moved ones.
bool planImage(const RomImage& rom, const SheetPlan* plans, bool fill, RomPlan& image)
{
    startRomPlan(rom, rom.size, image);
    const std::uint32_t tablesAt = rom.headerOffset + rom.layout->pointerTableBase;
    std::uint8_t tables[kPointerTablesSize];
    std::memcpy(tables, rom.bytes.get() + tablesAt, kPointerTablesSize);
    bool anyMoved = false;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetPlan& plan = plans[sheet];
        if (plan.fate == Fate::Kept) {
            continue;
        }
        if (plan.fate == Fate::Moved) {
            setPointerEntries(tables, sheet, plan.stored->position - rom.headerOffset);
            anyMoved = true;
        }
        if (fill && plan.ownsOldBytes && sheetStorage(sheet) != SheetStorage::FixedOffset &&
            !fillFreedBytes(plans, sheet, rom, image)) {
            return false;
        }
    }
    // The sheets themselves after the fill: an in-place sheet over its own.
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (plans[sheet].fate != Fate::Kept) {
            const PlannedSheet& stored = *plans[sheet].stored;
            if (!addRomBytes(image, stored.position, stored.bytes, stored.length)) {
                return false;
            }
        }
    }
    if (!anyMoved) {
        return true;
    }
    if (entriesFollowAMovedSheet(plans)) {
        copyPointerEntries(tables);
    }
    return addRomBytes(image, tablesAt, tables, kPointerTablesSize);
}

// The report's list of the changed sheets, in visiting order, those written in place marked.
void listChangedSheets(const SheetPlan* plans, InsertReport& report)
{
    report.spanCount = 0;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        const SheetPlan& plan = plans[sheet];
        if (plan.fate != Fate::Kept) {
            report.spans[report.spanCount++] = {sheet, plan.stored->position, plan.stored->length,
                                                plan.fate == Fate::InPlace};
        }
    }
}

}  // namespace

bool studyChangedSheets(const RomImage& rom, const InsertRequest& request, RomPlan& plan, InsertReport& report)
{
    report.changedOnly = true;
    report.start = adjustedStartOffset(request.startOffset, rom.headerOffset);
    if (!request.anyStart && !startInSheetArea(rom, report.start)) {
        report.refused = true;
        if (!request.forReport) {
            return false;
        }
    }
    SheetSource source;
    if (!openSheetSource(source, *rom.layout, request.files)) {
        report.combinedFileRefused = true;
        return false;
    }
    std::unique_ptr<SheetPlan[]> plans(new (std::nothrow) SheetPlan[kSheetCount]);
    if (!plans) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    if (request.refuseDifferingPairs && !isCombinedFormat(request.files.format) &&
        refusesDifferingPairs(rom, request.files, request.selection, report.differingPairs)) {
        return false;
    }
    if (!findChanges(rom, source, request, plans.get(), report)) {
        return false;
    }
    FreeSpace space;
    describeFreeSpace(rom, report.start, request.anyStart, space);
    chooseInPlace(rom, plans.get(), space, report);

    std::uint64_t overwrittenAt = 0;
    const std::uint32_t overwritten = keptSheetWrittenOver(rom, plans.get(), overwrittenAt);
    if (overwritten < kSheetCount) {
        printError(kFmtKeptStreamWrittenOver, static_cast<unsigned>(overwritten),
                   static_cast<unsigned>(overwrittenAt));
        report.keptStreamWrittenOver = true;
        report.refused = true;
    }
    if (!placeMovedSheets(rom, request, plans.get(), space, report)) {
        report.refused = true;
    }
    listChangedSheets(plans.get(), report);
    report.laidOut = true;
    if (report.refused) {
        return false;
    }
    if (report.changed == 0) {
        return true;  // a ROM where nothing changed is not written at all
    }
    return planImage(rom, plans.get(), request.fill, plan);
}
