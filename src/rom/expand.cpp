#include "rom/expand.h"

#include "platform/output.h"
#include "rom/rom_messages.h"

bool planExpansion(const RomImage& rom, const RomExpansion& expansion, RomPlan& plan)
{
    const std::uint32_t target = rom.headerOffset + expansion.size;
    if (rom.size >= target) {
        printError(kFmtAlreadyExpanded, static_cast<unsigned>(expansion.size >> 20));
        return false;
    }
    // The old bytes, zeros up to the target, and the size code. The header
    // stays in front and the grown file keeps bit 9 of its size, so a later
    // run finds the same header offset. The size field lies far below the
    // target, inside the image.
    startRomPlan(rom, target, plan);
    return addRomBytes(plan, rom.headerOffset + kRomSizeCodeOffset, &expansion.sizeCode, 1);
}
