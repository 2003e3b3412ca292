#pragma once

#include "rom/rom_image.h"

// Writes all 223 sheets of the open, identified ROM to "GFX%02X.bin" files in
// the current directory, or to the combined file at `sheetFilePath` (null:
// per-sheet files). False after the first failure, its message printed. Never
// closes the ROM.
bool extractSheets(RomImage& rom, const char* sheetFilePath);
