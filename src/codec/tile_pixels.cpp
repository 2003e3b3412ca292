#include "codec/tile_pixels.h"

#include <cstring>

// Tile byte layout (32 bytes, rows r = 0-7): byte 2r is plane 0 and byte 2r+1
// plane 1 of row r; byte 16+2r is plane 2 and byte 17+2r plane 3 of row r.

namespace {

constexpr std::uint32_t kTileRowBytes = kTileSide * kPictureWidth;  // one tile row of pixels

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
            const std::uint32_t plane0 = source[2 * row];
            const std::uint32_t plane1 = source[2 * row + 1];
            const std::uint32_t plane2 = source[16 + 2 * row];
            const std::uint32_t plane3 = source[17 + 2 * row];
            std::uint8_t* line = origin + row * kPictureWidth;
            for (std::uint32_t x = 0; x < kTileSide; ++x) {
                const std::uint32_t bit = 7 - x;
                line[x] = static_cast<std::uint8_t>((plane0 >> bit & 1) | (plane1 >> bit & 1) << 1 |
                                                    (plane2 >> bit & 1) << 2 | (plane3 >> bit & 1) << 3);
            }
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
            const std::uint8_t* line = origin + row * kPictureWidth;
            std::uint32_t planes[4] = {0, 0, 0, 0};
            for (std::uint32_t x = 0; x < kTileSide; ++x) {
                const std::uint32_t bit = 7 - x;
                for (std::uint32_t plane = 0; plane < 4; ++plane) {
                    planes[plane] |= (line[x] >> plane & 1u) << bit;
                }
            }
            target[2 * row] = static_cast<std::uint8_t>(planes[0]);
            target[2 * row + 1] = static_cast<std::uint8_t>(planes[1]);
            target[16 + 2 * row] = static_cast<std::uint8_t>(planes[2]);
            target[17 + 2 * row] = static_cast<std::uint8_t>(planes[3]);
        }
    }
}
