#include "rom/expand.h"

#include <cstdio>

#include "rom/rom_messages.h"
#include "rom/rom_store.h"

namespace {

// The grown file's size, or 0 after the refusal when the file is that large
// already: it never shrinks.
std::uint32_t grownSize(const RomImage& rom, const RomExpansion& expansion)
{
    const std::uint32_t target = rom.headerOffset + expansion.size;
    if (rom.size >= target) {
        std::printf(kFmtAlreadyExpanded, static_cast<unsigned>(expansion.size >> 20));
        return 0;
    }
    return target;
}

}  // namespace

bool expandRom(const RomImage& rom, const RomExpansion& expansion)
{
    const std::uint32_t target = grownSize(rom, expansion);
    if (target == 0) {
        return false;
    }
    // The old bytes, zeros up to the target, and the size code. The header
    // stays in front and the grown file keeps bit 9 of its size, so a later
    // run finds the same header offset. The size field lies far below the
    // target, inside the image.
    RomImage grown;
    if (!copyRomImage(rom, target, grown)) {
        return false;
    }
    grown.bytes[rom.headerOffset + kRomSizeCodeOffset] = expansion.sizeCode;
    return storeRomImage(grown);
}

bool checkExpansion(const RomImage& rom, const RomExpansion& expansion)
{
    const std::uint32_t target = grownSize(rom, expansion);
    if (target == 0) {
        return false;
    }
    std::printf(kFmtWouldExpand, static_cast<unsigned>(rom.size), static_cast<unsigned>(target));
    return true;
}
