#pragma once
// A run as the command line asks for it, in one typed record: every part of
// the tool below the command line reads plain fields of it, never a mode word
// or a flag bit.

#include <cstdint>
#include <string>

#include "codec/sheet_codec.h"
#include "rom/patch_format.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_file_format.h"

enum class RunOperation : std::uint8_t {
    ExtractSheets,
    InsertSheets,
    ExpandRom2Mib,
    ExpandRom3Mib,
};

// Which command line the request came from: its advice speaks its words.
enum class CommandForm : std::uint8_t {
    ModeWord,  // sheetpak 1 87000 zelda.smc
    Commands,  // sheetpak insert zelda.smc
};

// Whether the exit prompt waits at the end of a run (on a console).
enum class PromptPolicy : std::uint8_t {
    Always,           // after every run
    NotAfterSuccess,  // only after a run that failed
};

struct RunRequest {
    CommandForm form = CommandForm::ModeWord;
    RunOperation operation = RunOperation::ExtractSheets;
    std::string romPath;            // as typed
    std::uint32_t startOffset = 0;  // insertion: a file offset, copier header included, as given
    SheetFiles sheets;              // extraction and insertion: where the sheets are, and their form
    SheetSelection selection;       // per-sheet files: the sheets whose files are written or read
    bool createFolder = false;      // extraction: the folder of the per-sheet files is made when missing
    bool detectFormat = false;      // insertion: the folder's files tell raw from pictures
    bool startGiven = true;         // insertion: startOffset was given (else the graphics area's start)
    LzPacking packing = LzPacking::Default;
    bool fill = true;               // insertion: 0xFF over the space freed after the last sheet
    bool anyStart = false;          // insertion: a start outside the graphics and expansion areas
    bool changedOnly = false;       // insertion: only the sheets that differ from the ROM's
    bool replaceEdited = false;     // extraction: replace sheet files that hold changes
    bool refuseDifferingPairs = false;  // insertion: refuse a sheet whose file of the other kind beside it differs
    bool checkOnly = false;         // write nothing: report what the run would do
    // Insertion and expansion: a patch file instead of the changed ROM (empty: the ROM is written).
    std::string patchPath;
    PatchFormat patchFormat = PatchFormat::Bps;
    PromptPolicy prompt = PromptPolicy::Always;
    bool quiet = false;             // only warnings and errors are printed
    // The mode word as typed, for advice phrased in mode words.
    std::uint32_t modeWord = 0;
};
