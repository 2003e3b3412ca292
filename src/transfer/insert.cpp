#include "transfer/insert.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>

#include "platform/output.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/sheet_stream.h"
#include "sheetfile/sheet_files.h"
#include "transfer/insert_changed.h"
#include "transfer/insert_steps.h"
#include "transfer/transfer_messages.h"

// Insertion studies the whole insertion before anything is written. The
// layout reads, packs or encodes and places every sheet in visiting order;
// only when every sheet has passed are they laid, in the same order, with
// the same pointers, followed by the pointer copy and the fill, into a new
// image of the ROM beside the old one. The driver then puts that image in
// the ROM's place whole, or reports the layout.

namespace {

// Below this file offset (plus the header) the closing fill never starts.
constexpr std::uint32_t kFillThreshold = 0x8B800;

// Every sheet read, brought into its stored form and placed, in visiting
// order. False at once after the message of a source or encoding error, or
// of a placement refusal unless the request lays out past it: then the
// refusal is marked in the report and the remaining sheets are laid out as
// if there were room.
bool layOutSheets(const RomImage& rom, const SheetSource& source, const InsertRequest& request,
                  PlannedSheet* plan, InsertReport& report)
{
    SheetBuffer sheetBuffer;
    if (!allocateSheetBuffer(sheetBuffer)) {
        return false;
    }
    // The default packing measured beside the smallest, from a copy, since
    // type 1 packs in place.
    const bool compare = request.forReport && request.packing == LzPacking::Smallest;
    std::unique_ptr<std::uint8_t[]> copy(compare ? new (std::nothrow) std::uint8_t[kSheetBufferSize] : nullptr);
    std::unique_ptr<PlannedSheet> byDefault(compare ? new (std::nothrow) PlannedSheet : nullptr);
    if (compare && (!copy || !byDefault)) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    StreamDecoder decoder;  // for the sheets the run does not read from their files
    if (!request.selection.every && !allocateStreamDecoder(decoder)) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    EncoderTables tables;
    EncodeContext& context = tables.context;
    std::uint32_t position = report.start;
    std::uint32_t laid[kSheetCount];
    std::uint32_t laidCount = 0;
    bool refusalSeen = report.refused;

    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        PlannedSheet& planned = plan[sheet];
        std::uint32_t sourceLength = 0;
        if (!isSelected(request.selection, sheet)) {
            if (!readSheetFromRom(rom, sheet, decoder, sheetBuffer, sourceLength)) {
                return false;
            }
        } else if (!readSheet(source, sheet, sheetBuffer, sourceLength)) {
            report.unreadSheet = sheet;
            return false;
        }
        if (compare) {
            std::memcpy(copy.get(), sheetBuffer.bytes.get(), kSheetBufferSize);
        }
        if (!storeSheet(*rom.layout, context, request.packing, sheet, sheetBuffer.bytes.get(), sourceLength,
                        planned)) {
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
            report.neededByDefault += encoded ? byDefault->length : planned.length;
        }
        // The smallest packing stores a sheet once: a sheet whose stored bytes
        // equal those of one laid before points at that copy.
        if (request.packing == LzPacking::Smallest) {
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
                ++report.shared;
                continue;
            }
        }

        const Placement placement = judgePlacement(rom, position, planned.length);
        if (placement != Placement::Allowed) {
            if (!refusalSeen) {
                printPlacementRefusal(placement, sheet, position);
                report.refusedForRoom = placement == Placement::NoRoom;
                // Only the first sheet can start past the end: the start offset.
                report.startPastEnd = report.refusedForRoom && report.start >= rom.size;
                // A study that stops here says why at once; one that goes on
                // leaves it to its report.
                if (report.refusedForRoom && position >= rom.size && !request.forReport) {
                    printStartPastEnd(rom, position);
                }
            }
            refusalSeen = true;
            report.refused = true;
            if (!request.forReport) {
                return false;
            }
        }
        planned.position = position;
        report.needed += planned.length;
        position += planned.length;
        laid[laidCount++] = sheet;
    }
    report.endOffset = position;
    return true;
}

// Where sheets that did not fit would fit: in the graphics area when it was
// not the start or the refusal was not for room, else in this ROM's
// expansion area, else after an expansion.
void suggestWhereTheyFit(const RomImage& rom, InsertReport& report)
{
    const std::uint32_t header = rom.headerOffset;
    const std::uint32_t boundary = static_cast<std::uint32_t>(protectedOffset(rom));
    // No expansion brings a start past the end of the file into the ROM.
    if (report.refusedForRoom && report.start >= rom.size) {
        return;
    }
    // A start that may not be used, or sheets over what must stay: the
    // graphics area may hold them all the same.
    const std::uint32_t graphicsStart = header + kGraphicsAreaStart;
    if (!report.refusedForRoom && report.needed <= boundary - graphicsStart && report.start != graphicsStart) {
        report.fits = FitSuggestion::GraphicsArea;
        report.fitsFrom = graphicsStart;
        return;
    }
    // The expansion area runs from 0x100000 to the end of the file, the last
    // byte excepted (a sheet may not end at the file size).
    const std::uint32_t expansionStart = header + kExpansionAreaStart;
    if (rom.size > expansionStart && report.needed < rom.size - expansionStart && report.start != expansionStart) {
        report.fits = FitSuggestion::ExpansionArea;
        report.fitsFrom = expansionStart;
        return;
    }
    for (const RomExpansion* expansion : {&kExpansionTo2Mib, &kExpansionTo3Mib}) {
        if (report.needed < expansion->size - kExpansionAreaStart && rom.size < header + expansion->size) {
            report.fits = FitSuggestion::AfterExpansion;
            report.fitsAfter = expansion;
            report.fitsFrom = expansionStart;
            return;
        }
    }
}

// Whether the closing fill runs for sheets that end at `end`: 0xFF from
// there up to the protected boundary, unless the sheets end too early.
bool fillRuns(const RomImage& rom, std::uint32_t end, bool fill)
{
    return fill && end < protectedOffset(rom) && end > rom.headerOffset + kFillThreshold;
}

// For the report: the fill's bytes that are neither 0xFF nor part of a
// sheet's stream as the ROM has it now (what the user may have put there).
void surveyFill(const RomImage& rom, InsertReport& report)
{
    report.fills = true;
    report.fillFirst = report.endOffset;
    report.fillLast = static_cast<std::uint32_t>(protectedOffset(rom)) - 1;
    const std::uint32_t length = report.fillLast - report.fillFirst + 1;
    std::unique_ptr<bool[]> streams(new (std::nothrow) bool[length]());
    StreamDecoder decoder;
    if (!streams || !allocateStreamDecoder(decoder)) {
        return;
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        DecodedStream decoded;
        const OldExtent extent = oldExtentOf(rom, sheet, decoder, decoded);
        const std::uint64_t from = std::max<std::uint64_t>(extent.start, report.fillFirst);
        const std::uint64_t to = std::min<std::uint64_t>(extent.start + extent.length, std::uint64_t{report.fillLast} + 1);
        for (std::uint64_t at = from; at < to; ++at) {
            streams[at - report.fillFirst] = true;
        }
    }
    const std::uint8_t* bytes = rom.bytes.get();
    for (std::uint32_t k = 0; k < length; ++k) {
        if (!streams[k] && bytes[report.fillFirst + k] != 0xFF) {
            if (report.foreignBytes++ == 0) {
                report.firstForeign = report.fillFirst + k;
            }
        }
    }
}

// The changes of the new image: every planned span and pointer, the pointer
// copy and the fill. Every planned span lies below rom.size (the layout
// checked each), as do the tables and the fixed sheets.
bool planImage(const RomImage& rom, const PlannedSheet* plan, std::uint32_t end, bool fill, RomPlan& image)
{
    startRomPlan(rom, rom.size, image);
    // The tables as they will be, apart from the image.
    const std::uint32_t tablesAt = rom.headerOffset + rom.layout->pointerTableBase;
    std::uint8_t tables[kPointerTablesSize];
    std::memcpy(tables, rom.bytes.get() + tablesAt, kPointerTablesSize);
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        const PlannedSheet& planned = plan[sheet];
        if (!addRomBytes(image, planned.position, planned.bytes, planned.length)) {
            return false;
        }
        if (sheetStorage(sheet) != SheetStorage::FixedOffset) {
            setPointerEntries(tables, sheet, planned.position - rom.headerOffset);
        }
    }
    copyPointerEntries(tables);
    if (!addRomBytes(image, tablesAt, tables, kPointerTablesSize)) {
        return false;
    }
    // 0xFF from the end of the last sheet up to the protected boundary.
    const std::uint32_t boundary = static_cast<std::uint32_t>(protectedOffset(rom));
    return !fillRuns(rom, end, fill) || addRomFill(image, end, boundary - end, 0xFF);
}

}  // namespace

bool studyInsertion(const RomImage& rom, const InsertRequest& request, RomPlan& plan, InsertReport& report)
{
    report.fileSize = rom.size;
    if (request.changedOnly) {
        return studyChangedSheets(rom, request, plan, report);
    }
    report.start = adjustedStartOffset(request.startOffset, rom.headerOffset);
    report.room = roomFigures(rom, report.start);
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
    if (request.refuseDifferingPairs && !isCombinedFormat(request.files.format) &&
        refusesDifferingPairs(rom, request.files, request.selection, report.differingPairs)) {
        return false;
    }
    std::unique_ptr<PlannedSheet[]> sheets(new (std::nothrow) PlannedSheet[kSheetCount]);
    if (!sheets) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    // A source or encoding error ends a study at once, whatever it is for.
    if (!layOutSheets(rom, source, request, sheets.get(), report)) {
        return false;
    }
    report.laidOut = true;
    for (std::uint32_t step = 0; step < kSheetCount; ++step) {
        const std::uint32_t sheet = visitedSheet(step);
        report.spans[step] = {sheet, sheets[sheet].position, sheets[sheet].length};
    }
    report.spanCount = kSheetCount;
    if (report.refused) {
        if (request.forReport) {
            suggestWhereTheyFit(rom, report);
        }
        return false;
    }
    if (request.forReport && fillRuns(rom, report.endOffset, request.fill)) {
        surveyFill(rom, report);
    }
    return planImage(rom, sheets.get(), report.endOffset, request.fill, plan);
}
