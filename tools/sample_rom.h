#pragma once
// A synthetic ROM image with the game's layout and made-up graphics: the
// title and destination code, the pointer tables, the raw 3bpp sheets from
// 0x87000, every compressed sheet after them, and the two fixed sheets at
// 0x70000 and 0x80000. It holds no data of the game.

#include <cstdint>
#include <vector>

#include "rom/rom_image.h"

struct SampleRomOptions {
    RomVersion version = RomVersion::Us;
    bool copierHeader = false;
    std::uint32_t imageSize = 0x100000;  // without the copier header
    std::uint32_t seed = 1;              // varies the graphics
};

// Sheet `sheet` as extraction writes it to its file: 2048 bytes of 4bpp tiles
// (plane 3 zero where the ROM keeps 3bpp tiles), or the fixed sheets' raw
// bytes of their catalogue size.
std::vector<std::uint8_t> sampleSheet(std::uint32_t sheet, const RomLayout& layout, std::uint32_t seed);

// Builds the whole image (copier header included) into `image`. Returns the
// file offset just past the last compressed sheet, or 0 when the sheets do
// not fit below the protected boundary or a sheet could not be encoded.
std::uint32_t buildSampleRom(const SampleRomOptions& options, std::vector<std::uint8_t>& image);
