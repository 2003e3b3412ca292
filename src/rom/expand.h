#pragma once

#include <cstdint>

#include "rom/rom_image.h"

// A size the ROM can be enlarged to, after its copier header, and the ROM
// size code that declares it in the internal header.
struct RomExpansion {
    std::uint32_t size;
    std::uint8_t sizeCode;
};

inline constexpr RomExpansion kExpansionTo2Mib = {0x200000, 11};
inline constexpr RomExpansion kExpansionTo3Mib = {0x300000, 12};

// Puts in the ROM's place (storeRomImage) its image grown with zero bytes to
// headerOffset + expansion.size, with expansion.sizeCode in the ROM size
// field: the file is the old one or the grown one, never between. False
// after a message, with the file untouched, when it is already that large
// or the grown image cannot be had or stored.
bool expandRom(const RomImage& rom, const RomExpansion& expansion);

// What expandRom would do, without writing: false after "The ROM is already
// ... MiB or larger." when the file is that large, else true after a line
// giving the size it would grow to.
bool checkExpansion(const RomImage& rom, const RomExpansion& expansion);
