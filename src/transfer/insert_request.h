#pragma once
// What an insertion is asked to do and what it found: the request and the
// report that both insertion walks (insert.h, insert_changed.h) share.

#include <cstdint>

#include "codec/sheet_codec.h"
#include "rom/expand.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_files.h"
#include "transfer/room.h"
#include "transfer/sheet_span.h"

// What an insertion is asked to do.
struct InsertRequest {
    std::uint32_t startOffset = 0;  // as given: a file offset, copier header included
    SheetFiles files;               // where the sheets come from, and in which form
    LzPacking packing = LzPacking::Default;  // Smallest: shortest streams, identical sheets stored once
    bool fill = true;               // 0xFF over the freed space after the last sheet
    bool anyStart = false;          // a start outside the graphics and expansion areas is taken
    bool changedOnly = false;       // only the sheets that differ from the ROM's are written
    SheetSelection selection;       // the sheets read from their files; the others stay as the ROM has them
    // Changed sheets only: the start offset is the graphics area's by default,
    // and a moved sheet that finds no room there goes to the expansion area.
    bool startGiven = true;
    // Per-sheet files: refuse when a sheet's file of the other kind beside
    // the one read holds another sheet.
    bool refuseDifferingPairs = false;
    // The study is for a report (a check): it lays out every sheet even past
    // the first refusal, measures what the default packing would need beside
    // the smallest, and looks at what the fill would write over.
    bool forReport = false;
};

// Where sheets that did not fit would fit.
enum class FitSuggestion : std::uint8_t {
    None,
    GraphicsArea,    // from the start of the graphics area (fitsFrom)
    ExpansionArea,   // from the start of the expansion area, in this ROM (fitsFrom)
    AfterExpansion,  // once the ROM is expanded (fitsAfter), from fitsFrom
};

// What an insertion found: the layout for a check's report, and what the
// driver needs to phrase its outcome and advice.
struct InsertReport {
    std::uint32_t start = 0;  // the start offset used
    // Where each sheet goes, in visiting order: every sheet, or with
    // changedOnly the changed ones (those written in place marked).
    SheetSpan spans[kSheetCount];
    std::uint32_t spanCount = 0;
    std::uint32_t needed = 0;           // stored bytes of the pointer-addressed sheets laid
    std::uint32_t neededByDefault = 0;  // the same with the default packing (measureDefaultPacking)
    std::uint32_t shared = 0;           // sheets stored once for several (smallest packing)
    RoomFigures room;                   // the area the sheets are laid in
    std::uint32_t fileSize = 0;         // the ROM file's size
    FitSuggestion fits = FitSuggestion::None;
    std::uint32_t fitsFrom = 0;
    const RomExpansion* fitsAfter = nullptr;
    // The closing fill of a full insertion that fits (forReport): its first
    // and last byte, and how many of those bytes are neither 0xFF nor part of
    // a sheet's stream as the ROM has it now, the first of them.
    bool fills = false;
    std::uint32_t fillFirst = 0;
    std::uint32_t fillLast = 0;
    std::uint32_t foreignBytes = 0;
    std::uint32_t firstForeign = 0;
    // Changed sheets only.
    bool changedOnly = false;
    std::uint32_t changed = 0;
    std::uint32_t inPlace = 0;
    // The outcome.
    bool laidOut = false;                 // every sheet was read, stored and given a place (or a refusal)
    std::uint32_t endOffset = 0;          // just past the last pointer-addressed sheet laid (changed only: moved; 0: none)
    bool refused = false;                 // a sheet could not be placed, or the start was refused
    bool refusedForRoom = false;          // the first sheet refused found no room ("Not enough room")
    bool startPastEnd = false;            // ... because the start offset lies at or past the end of the file
    bool combinedFileRefused = false;     // the combined sheet file could not be read or was refused
    std::uint32_t unreadSheet = kSheetCount;  // below kSheetCount: the sheet whose own file could not be read
    bool keptStreamWrittenOver = false;   // changed only: an unchanged sheet's stream lies where the run writes
    DifferingPairs differingPairs;        // refused: the sheets whose two kinds of files differ
};
