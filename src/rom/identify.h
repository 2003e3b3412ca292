#pragma once
// Telling the game's ROM from other files: its release by size, title and destination code.

#include <cstdint>
#include <cstdio>

#include "rom/rom_image.h"

// Accepts the US or Japanese release by size, title and destination code and
// sets rom.layout. False after printing one message. Reads the image only.
bool identifyRom(RomImage& rom);

// Whether the open file of `size` bytes would pass identification's size and
// title tests as either release (the destination code is not looked at).
// Reads the title field only, printing nothing.
bool looksLikeGameRom(std::FILE* file, std::uint64_t size);
