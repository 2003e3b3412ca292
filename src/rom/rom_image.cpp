#include "rom/rom_image.h"

#include <cstring>

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

RomSpan romBytesFrom(const RomImage& rom, PcOffset offset)
{
    const std::uint64_t position = std::uint64_t{rom.headerOffset} + offset;
    if (position >= rom.size) {
        return {rom.bytes.get() + rom.size, 0};
    }
    return {rom.bytes.get() + position, static_cast<std::uint32_t>(rom.size - position)};
}

bool readRomBytes(const RomImage& rom, PcOffset offset, void* destination, std::uint32_t length)
{
    const RomSpan span = romBytesFrom(rom, offset);
    const std::uint32_t available = span.length < length ? span.length : length;
    if (available != 0) {
        std::memcpy(destination, span.bytes, available);
    }
    return available == length;
}
