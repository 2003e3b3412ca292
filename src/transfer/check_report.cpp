#include "transfer/check_report.h"

#include "platform/output.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "transfer/transfer_messages.h"

void printSheetSpans(const SheetSpan* spans, std::uint32_t count)
{
    constexpr std::uint32_t kPerLine = 4;
    printNote("%s", kMsgSpanHeading);
    for (std::uint32_t k = 0; k < count; ++k) {
        const bool lineEnds = k % kPerLine == kPerLine - 1 || k + 1 == count;
        // A mark takes the place of one space, so that the columns stay aligned.
        const char* after = lineEnds ? (spans[k].marked ? "*\n" : "\n") : (spans[k].marked ? "*  " : "   ");
        printNote(kFmtSpan, static_cast<unsigned>(spans[k].sheet), static_cast<unsigned>(spans[k].offset),
                  static_cast<unsigned>(spans[k].length), after);
    }
}

void printExtractionReport(const SheetSpan* spans, std::uint32_t count)
{
    printSheetSpans(spans, count);
    struct Range {
        std::uint64_t lowest = ~std::uint64_t{0};
        std::uint64_t highest = 0;
        void take(const SheetSpan& span)
        {
            lowest = span.offset < lowest ? span.offset : lowest;
            const std::uint64_t last = std::uint64_t{span.offset} + span.length - 1;
            highest = last > highest ? last : highest;
        }
    } all, addressed;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (spans[k].length == 0) {
            continue;
        }
        all.take(spans[k]);
        if (sheetStorage(spans[k].sheet) != SheetStorage::FixedOffset) {
            addressed.take(spans[k]);
        }
    }
    printNote(kFmtExtractionSpan, static_cast<unsigned>(all.lowest), static_cast<unsigned>(all.highest),
              static_cast<unsigned>(addressed.lowest), static_cast<unsigned>(addressed.highest));
}

void printInsertionReport(const InsertReport& report)
{
    if (report.changedOnly) {
        if (report.spanCount != 0) {
            printSheetSpans(report.spans, report.spanCount);
        }
        return;
    }
    printSheetSpans(report.spans, report.spanCount);
    const std::uint32_t left = report.room.room > report.needed ? report.room.room - report.needed : 0;
    printNote(kFmtRoomNeeded, static_cast<unsigned>(report.needed), static_cast<unsigned>(report.start),
              static_cast<unsigned>(left), static_cast<unsigned>(report.room.room),
              static_cast<unsigned>(report.room.limit));
    if (report.neededByDefault != 0) {
        printNote(kFmtSmallestSaves, static_cast<unsigned>(report.neededByDefault - report.needed),
                  static_cast<unsigned>(report.neededByDefault), static_cast<unsigned>(report.shared));
    }
    if (!report.refused) {
        return;
    }
    if (report.startPastEnd) {
        printError(kFmtStartPastEnd, static_cast<unsigned>(report.start), static_cast<unsigned>(report.fileSize));
        return;
    }
    if (report.fits == FitSuggestion::GraphicsArea) {
        printNote(kFmtWouldFitFromGraphicsArea, static_cast<unsigned>(report.fitsFrom));
    } else if (report.fits == FitSuggestion::ExpansionArea) {
        printNote(kFmtWouldFitFrom, static_cast<unsigned>(report.fitsFrom));
    }
}

void printChangedSheetCount(const InsertReport& report)
{
    printNote(kFmtChangedSheets, static_cast<unsigned>(report.changed), static_cast<unsigned>(report.inPlace),
              static_cast<unsigned>(report.changed - report.inPlace));
}

void printExpansionReport(const RomImage& rom, const RomExpansion& expansion)
{
    printNote(kFmtWouldExpand, static_cast<unsigned>(rom.size), static_cast<unsigned>(rom.headerOffset + expansion.size));
}
