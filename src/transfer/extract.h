#pragma once

#include "rom/rom_image.h"

// What an extraction is asked to do.
struct ExtractRequest {
    const char* sheetFilePath = nullptr;  // the combined sheet file; null: one file per sheet
    bool pictures = false;                // the sheet files are PNG images
    bool checkOnly = false;               // decode every sheet, write nothing, report where each lies
};

// Writes all 223 sheets of the identified ROM image to one file per sheet in
// the current directory ("GFX%02X.bin" or "GFX%02X.png"), or to the combined
// sheet file. False after the first failure, its message printed.
bool extractSheets(const RomImage& rom, const ExtractRequest& request);
