#pragma once

#include "rom/rom_image.h"

// Accepts the US or Japanese release by size, title and destination code and
// sets rom.layout. False after printing one message. Reads only; never closes.
bool identifyRom(RomImage& rom);
