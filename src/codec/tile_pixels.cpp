#include "codec/tile_pixels.h"

#include <bit>
#include <cstring>

// Tile byte layout (32 bytes, rows r = 0-7): byte 2r is plane 0 and byte 2r+1
// plane 1 of row r; byte 16+2r is plane 2 and byte 17+2r plane 3 of row r.

namespace {

constexpr std::uint32_t kTileRowBytes = kTileSide * kPictureWidth;  // one tile row of pixels

// bytes[b][x] is bit 7 - x of b: a row byte of one plane as 8 pixels of 0 or 1.
struct SpreadTable {
    std::uint8_t bytes[256][8];
};

constexpr SpreadTable makeSpreadTable()
{
    SpreadTable table{};
    for (std::uint32_t value = 0; value < 256; ++value) {
        for (std::uint32_t x = 0; x < kTileSide; ++x) {
            table.bytes[value][x] = static_cast<std::uint8_t>(value >> (7 - x) & 1);
        }
    }
    return table;
}

constexpr SpreadTable kSpread = makeSpreadTable();

// The 8 spread pixels of `value` as one word; each byte holds 0 or 1, so the
// planes combine bytewise by shifts of 1 to 3 and an OR, whatever the byte order.
std::uint64_t spread(std::uint8_t value)
{
    std::uint64_t word;
    std::memcpy(&word, kSpread.bytes[value], sizeof word);
    return word;
}

// The 8 pixels at `line` as one word, the first pixel in the lowest byte
// whatever the machine's byte order.
std::uint64_t pixelWord(const std::uint8_t* line)
{
    std::uint64_t word;
    std::memcpy(&word, line, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (std::uint32_t k = 0; k < 8; ++k) {
            swapped = swapped << 8 | (word >> (8 * k) & 0xFF);
        }
        word = swapped;
    }
    return word;
}

// The row byte of plane `plane` of the 8 pixels in `word`, the first pixel in
// bit 7: the multiplication moves bit 0 of byte i to bit 63 - i, and no other
// product reaches the top byte or carries into it.
std::uint8_t gatherPlane(std::uint64_t word, std::uint32_t plane)
{
    return static_cast<std::uint8_t>(((word >> plane) & 0x0101010101010101ULL) * 0x8040201008040201ULL >> 56);
}

// Offset in the pixel buffer of the top-left pixel of tile `tile`.
std::uint32_t tileOrigin(std::uint32_t tile)
{
    return tile / kTilesPerPictureRow * kTileRowBytes + tile % kTilesPerPictureRow * kTileSide;
}

}  // namespace

std::uint32_t tilePixelRows(std::uint32_t length)
{
    const std::uint32_t tiles = length / kTileBytes;
    return (tiles + kTilesPerPictureRow - 1) / kTilesPerPictureRow * kTileSide;
}

void tilesToPixels(const std::uint8_t* tiles, std::uint32_t length, std::uint8_t* pixels)
{
    const std::uint32_t count = length / kTileBytes;
    std::memset(pixels, 0, std::size_t{tilePixelRows(length)} * kPictureWidth);
    for (std::uint32_t tile = 0; tile < count; ++tile) {
        const std::uint8_t* source = tiles + std::size_t{tile} * kTileBytes;
        std::uint8_t* origin = pixels + tileOrigin(tile);
        for (std::uint32_t row = 0; row < kTileSide; ++row) {
            const std::uint64_t line = spread(source[2 * row]) | spread(source[2 * row + 1]) << 1 |
                                       spread(source[16 + 2 * row]) << 2 | spread(source[17 + 2 * row]) << 3;
            std::memcpy(origin + row * kPictureWidth, &line, sizeof line);
        }
    }
}

void pixelsToTiles(const std::uint8_t* pixels, std::uint32_t length, std::uint8_t* tiles)
{
    const std::uint32_t count = length / kTileBytes;
    for (std::uint32_t tile = 0; tile < count; ++tile) {
        std::uint8_t* target = tiles + std::size_t{tile} * kTileBytes;
        const std::uint8_t* origin = pixels + tileOrigin(tile);
        for (std::uint32_t row = 0; row < kTileSide; ++row) {
            const std::uint64_t word = pixelWord(origin + row * kPictureWidth);
            target[2 * row] = gatherPlane(word, 0);
            target[2 * row + 1] = gatherPlane(word, 1);
            target[16 + 2 * row] = gatherPlane(word, 2);
            target[17 + 2 * row] = gatherPlane(word, 3);
        }
    }
}
