#pragma once
// The ROM file read into one image.

#include <cstdio>

#include "rom/rom_image.h"

// Measures the open ROM file and reads all of it into rom.bytes, setting
// rom.size and rom.headerOffset (rom.path names it in messages). False after
// printing a message: the file cannot be measured or read, or it is larger
// than kMaximumRomSize after its copier header (refused before a byte is read).
bool loadRomImage(RomImage& rom, std::FILE* file);
