#pragma once

#include <cstdint>

#include "rom/rom_image.h"

// Grows the ROM file with zero bytes to headerOffset + targetSize and writes
// sizeCode to the ROM size field, by putting the whole grown image in the
// ROM's place (storeRomImage): the file is the old one or the grown one, never
// between. False after a message, with the file untouched, when it is already
// that large or cannot be read; false after storeRomImage's messages when the
// new image could not be stored. Leaves rom.file open.
bool expandRom(RomImage& rom, std::uint32_t targetSize, std::uint8_t sizeCode);

// What expandRom would do, without writing: false after "The ROM is already
// ... MiB or larger." when the file is that large, else true after a line
// giving the size it would grow to.
bool checkExpansion(const RomImage& rom, std::uint32_t targetSize);
