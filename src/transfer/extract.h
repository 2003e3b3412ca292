#pragma once

#include "rom/rom_image.h"

// What an extraction is asked to do.
struct ExtractRequest {
    const char* sheetFilePath = nullptr;  // the combined sheet file; null: one file per sheet
    bool checkOnly = false;               // decode every sheet, write nothing, report where each lies
};

// Writes all 223 sheets of the open, identified ROM to "GFX%02X.bin" files in
// the current directory, or to the combined sheet file. False after the first
// failure, its message printed. Never closes the ROM.
bool extractSheets(RomImage& rom, const ExtractRequest& request);
