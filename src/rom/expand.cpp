#include "rom/expand.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/file_io.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"

bool expandRom(RomImage& rom, std::uint32_t targetSize, std::uint8_t sizeCode)
{
    // Measure afresh: this, not the size recorded at open, decides.
    std::uint64_t currentSize = 0;
    if (!seekTo(rom.file, 0) || !measureFileSize(rom.file, currentSize)) {
        std::printf("%s", kMsgExpandMeasureFailed);
        return false;
    }
    const std::uint64_t target = std::uint64_t{rom.headerOffset} + targetSize;
    if (currentSize >= target) {
        // Never shrinks; the file is left unchanged.
        std::printf(kFmtAlreadyExpanded, static_cast<unsigned>(targetSize / 0x100000));
        return false;
    }

    // The old bytes, zeros up to the target, and the size code. The header
    // offset fixed at open stays in front, and the grown file keeps bit 9 of
    // its size, so a later run finds the same header offset. The size field
    // lies far below the target, inside the image.
    std::unique_ptr<std::uint8_t[]> image(new (std::nothrow) std::uint8_t[target]);
    if (!image) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    if (!readWholeRom(rom, image.get(), currentSize)) {
        return false;
    }
    std::memset(image.get() + currentSize, 0, static_cast<std::size_t>(target - currentSize));
    image[rom.headerOffset + kRomSizeCodeOffset] = sizeCode;
    return storeRomImage(rom, image.get(), target);
}

bool checkExpansion(const RomImage& rom, std::uint32_t targetSize)
{
    const std::uint64_t target = std::uint64_t{rom.headerOffset} + targetSize;
    if (rom.size >= target) {
        std::printf(kFmtAlreadyExpanded, static_cast<unsigned>(targetSize >> 20));
        return false;
    }
    std::printf(kFmtWouldExpand, static_cast<unsigned>(rom.size), static_cast<unsigned>(target));
    return true;
}
