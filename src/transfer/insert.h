#pragma once

#include "cli/run_options.h"
#include "rom/rom_image.h"

// Lays all 223 sheets from their files into the ROM from options.insertAddress
// and rewrites the pointer tables. On success options.insertAddress holds the
// file offset just past the last pointer-addressed sheet. Never closes the ROM.
bool insertSheets(RomImage& rom, RunOptions& options);
