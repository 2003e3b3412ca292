#include "rom/expand.h"

#include <cstdio>

#include "rom/file_io.h"
#include "rom/rom_messages.h"

namespace {

bool appendZeros(std::FILE* file, std::uint64_t count)
{
    static const std::uint8_t kZeros[0x10000] = {};
    while (count > 0) {
        const std::size_t chunk = count < sizeof kZeros ? static_cast<std::size_t>(count) : sizeof kZeros;
        if (std::fwrite(kZeros, 1, chunk, file) != chunk) {
            return false;
        }
        count -= chunk;
    }
    return true;
}

}  // namespace

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
        std::printf(kFmtAlreadyExpanded, static_cast<unsigned>(targetSize >> 20));
        return false;
    }

    // The header offset fixed at open stays in front, and the grown file keeps
    // bit 9 of its size, so a later run finds the same header offset.
    const bool written = seekToEnd(rom.file) && appendZeros(rom.file, target - currentSize) &&
                         std::fflush(rom.file) == 0 &&
                         seekTo(rom.file, std::uint64_t{rom.headerOffset} + kRomSizeCodeOffset) &&
                         std::fwrite(&sizeCode, 1, 1, rom.file) == 1 && std::fflush(rom.file) == 0;
    if (!written) {
        // Give the file back its old size rather than leave it half grown.
        static_cast<void>(resizeOpenFile(rom.file, currentSize));
        std::printf("%s", kMsgExpandWriteFailed);
        return false;
    }
    return true;
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
