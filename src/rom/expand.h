#pragma once

#include <cstdint>

#include "rom/rom_image.h"

// Grows the ROM file with zero bytes to headerOffset + targetSize and writes
// sizeCode to the ROM size field. False, with the file untouched, when the
// file is already that large; false after a one-line message when a write or
// flush failed. Leaves the file open.
bool expandRom(RomImage& rom, std::uint32_t targetSize, std::uint8_t sizeCode);

// What expandRom would do, without writing: false after "The ROM is already
// ... MiB or larger." when the file is that large, else true after a line
// giving the size it would grow to.
bool checkExpansion(const RomImage& rom, std::uint32_t targetSize);
