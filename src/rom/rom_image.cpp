#include "rom/rom_image.h"

#include "platform/file_io.h"

const RomLayout kUsLayout = {
    RomVersion::Us,
    {'T', 'H', 'E', ' ', 'L', 'E', 'G', 'E', 'N', 'D', ' ', 'O', 'F', ' ', 'Z', 'E', 'L', 'D', 'A', ' ', ' '},
    0x4F80,
    0xC4000,
    SheetSizeColumn::UsSizes,
};

const RomLayout kJapanLayout = {
    RomVersion::Japan,
    {'Z', 'E', 'L', 'D', 'A', 'N', 'O', 'D', 'E', 'N', 'S', 'E', 'T', 'S', 'U', ' ', ' ', ' ', ' ', ' ', ' '},
    0x4FC0,
    0xC3C00,
    SheetSizeColumn::JapaneseSizes,
};

bool readRomBytes(const RomImage& rom, PcOffset offset, void* destination, std::uint32_t length)
{
    return seekTo(rom.file, std::uint64_t{rom.headerOffset} + offset) &&
           std::fread(destination, 1, length, rom.file) == length;
}
