#pragma once
// The sheet files of a walk, whatever their form (sheet_file_format.h):
// insertion reads sheets from a source, extraction puts them into a sink and
// gets back the plan of the files to write. Nothing here writes a file: the
// driver commits a plan.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/file_io.h"
#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_file_format.h"

// Where insertion's sheets come from. A combined file is read and checked
// whole when the source opens, so its sheets then come from memory.
struct SheetSource {
    const RomLayout* layout = nullptr;
    SheetFiles files;
    std::unique_ptr<std::uint8_t[]> combined;  // combinedFileSize(layout) bytes
    HeldRunLock held;                          // the sheet files, shared with other readers
};

// Sets up `source` for `layout`'s sheets, holding them against writers as
// long as it lives (sheet_file_locks.h); a combined file must hold exactly
// that release's sheets. False after printing a message.
bool openSheetSource(SheetSource& source, const RomLayout& layout, const SheetFiles& files);

// Reads sheet `sheet` into the first `length` bytes of `buffer`
// (kSheetBufferSize bytes; the rest is left as it was) and sets `length` to
// the bytes it holds: the slot or picture of the sheet, or a raw file's
// first 0x8000 bytes, after printing the reading's warnings. A per-sheet
// file is never read through a symbolic link. False after printing why.
bool readSheetFromSource(const SheetSource& source, std::uint32_t sheet, std::uint8_t* buffer,
                         std::uint32_t& length);

// Where extraction's sheets go: every sheet collected in memory, then
// planned as files (planSheetFiles).
struct SheetSink {
    const RomLayout* layout = nullptr;
    SheetFiles files;
    bool replaceEdited = false;  // plan to replace files that hold changes instead of refusing
    std::unique_ptr<std::uint8_t[]> combined;                 // combinedFileSize(layout) bytes
    std::unique_ptr<std::uint8_t[]> sheets[kSheetCount];      // per sheet: its bytes as decoded
    std::uint32_t lengths[kSheetCount] = {};
};

// Whether `path` names an existing file that is a ROM of the game, after
// printing the refusal: sheets are never written over a ROM.
bool refusesRomAsSheetFile(const char* path);

// Sets up `sink` for `layout`'s sheets. False after printing a message when
// the combined file could not be created or replaced.
bool openSheetSink(SheetSink& sink, const RomLayout& layout, const SheetFiles& files);

// Puts sheet `sheet` into the sink. `buffer` holds kSheetBufferSize bytes, of
// which the first `length` are the sheet as decoded: a raw per-sheet file gets
// those; a picture or a slot of the combined file gets the sheet's catalogue
// size from the start of `buffer`. False after printing a message.
bool putSheetIntoSink(SheetSink& sink, std::uint32_t sheet, const std::uint8_t* buffer, std::uint32_t length);

// One file an extraction would write: its path, its new bytes, and whether
// it already holds exactly them (then it is left as it is, date included).
struct PlannedSheetFile {
    std::uint32_t sheet = 0;  // a per-sheet file's sheet (the first of a combined file's)
    std::string path;
    const std::uint8_t* bytes = nullptr;
    std::uint64_t length = 0;
    bool alreadyThere = false;
};

// The files of an extraction, as planSheetFiles found them. They point into
// the sink's sheets and into `made`: the sink must outlive the plan.
struct SheetFilesPlan {
    SheetFileFormat format = SheetFileFormat::RawPerSheet;
    std::uint32_t count = 0;
    PlannedSheetFile files[kSheetCount];
    MadeSheetFile made[kSheetCount];
    std::uint32_t filesHoldingChanges = 0;  // a refusal for changes: how many files hold them
    // Names beside which what killed runs left is removed before writing
    // (per-sheet files: those of both kinds), and whether links lead there.
    std::string leftoverNames[2 * kSheetCount];
    std::uint32_t leftoverCount = 0;
    bool throughLinks = false;
    std::uint32_t written = 0;  // files that get new bytes
};

// Plans the sink's files: each is made and looked at once; then, in this
// order, each refusal printed and ending the plan: a per-sheet file that is
// a symbolic link; one that is a ROM of the game; one that cannot be created
// or replaced; files that hold changes the user made (edited_files.h: the
// first three named, all counted in plan.filesHoldingChanges), unless the
// sink may replace them; a file that would get other bytes while its
// permission bits allow no writing. False after the refusal.
// Per-sheet files: only those of the `selection`'s sheets are planned.
bool planSheetFiles(SheetSink& sink, const SheetSelection& selection, SheetFilesPlan& plan);

// Sheets whose per-sheet file of the other kind lies beside the one a run
// reads (GFX21.png beside GFX21.bin) and holds another sheet: the two files'
// stored forms differ, or the other cannot be read as insertion reads it.
struct DifferingPairs {
    std::uint32_t count = 0;
    std::uint32_t sheets[3] = {};  // the first three, in sheet order
};

// Looks, for each of the `selection`'s sheets, at both kinds of its file in
// `files`' folder (`files` names the kind the run reads), and reads and
// compares those that are both there. Prints nothing.
void findDifferingPairs(const RomLayout& layout, const SheetFiles& files, const SheetSelection& selection,
                        DifferingPairs& pairs);

// Whether the folder of `files` holds the per-sheet file of `format` of any
// of the `selection`'s sheets.
bool folderHoldsSheetFiles(const SheetFiles& files, SheetFileFormat format, const SheetSelection& selection);
