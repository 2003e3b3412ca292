#pragma once
// Enlarging the ROM file, so that sheets that no longer fit can be laid past
// the end of the unexpanded image.

#include <cstdint>

#include "rom/rom_image.h"
#include "rom/rom_plan.h"

// A size the ROM can be enlarged to, after its copier header, and the ROM
// size code that declares it in the internal header.
struct RomExpansion {
    std::uint32_t size;
    std::uint8_t sizeCode;
};

inline constexpr RomExpansion kExpansionTo2Mib = {0x200000, 11};
inline constexpr RomExpansion kExpansionTo3Mib = {0x300000, 12};

// Plans the ROM's image grown with zero bytes to headerOffset +
// expansion.size, with expansion.sizeCode in the ROM size field. False after
// "The ROM is already ... MiB or larger." when the file is that large (it
// never shrinks), or after the out-of-memory message.
bool planExpansion(const RomImage& rom, const RomExpansion& expansion, RomPlan& plan);
