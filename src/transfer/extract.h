#pragma once

#include "rom/rom_image.h"

// What an extraction is asked to do.
struct ExtractRequest {
    const char* sheetFilePath = nullptr;  // the combined sheet file; null: one file per sheet
    bool pictures = false;                // the sheet files are PNG images
    bool checkOnly = false;               // decode every sheet, write nothing, report where each lies
    bool replaceEdited = false;           // replace sheet files that hold changes instead of refusing
};

// What an extraction tells its caller besides success.
struct ExtractOutcome {
    std::uint32_t filesHoldingChanges = 0;  // refused: how many sheet files hold changes the run would replace
};

// Writes all 223 sheets of the identified ROM image to one file per sheet in
// the current directory ("GFX%02X.bin" or "GFX%02X.png"), or to the combined
// sheet file. Every sheet is decoded and every file studied before one is
// written: a sheet file that holds changes the user made is refused unless
// request.replaceEdited is set. False after the first failure, its message
// printed; then no sheet file has been written.
bool extractSheets(const RomImage& rom, const ExtractRequest& request, ExtractOutcome& outcome);
