#include "codec/tile_pixels.h"

#include <bit>
#include <cstring>

// Tile byte layout (32 bytes, rows r = 0-7): byte 2r is plane 0 and byte 2r+1
// plane 1 of row r; byte 16+2r is plane 2 and byte 17+2r plane 3 of row r.

namespace {

constexpr std::uint32_t kTileRowBytes = kTileSide * kPictureWidth;  // one tile row of pixels

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

// planes[i][b] holds, in its byte k, bits k of the two pixels of the packed
// byte b, the left pixel's above the right one's, at the place of byte i of a
// packed tile row: bits 7-6 for byte 0 (pixels 0 and 1) down to bits 1-0 for
// byte 3. The four ORed give the four plane bytes of 8 pixels at once.
struct GatherTable {
    std::uint32_t planes[4][256];
};

constexpr GatherTable makeGatherTable()
{
    GatherTable table{};
    for (std::uint32_t at = 0; at < 4; ++at) {
        for (std::uint32_t value = 0; value < 256; ++value) {
            for (std::uint32_t plane = 0; plane < 4; ++plane) {
                const std::uint32_t pair = (value >> (4 + plane) & 1) << 1 | (value >> plane & 1);
                table.planes[at][value] |= pair << (8 * plane + 6 - 2 * at);
            }
        }
    }
    return table;
}

constexpr GatherTable kGather = makeGatherTable();

// Stores the low 16 bits of `value` at `at`, low byte first.
void storeLow16(std::uint8_t* at, std::uint32_t value)
{
    if constexpr (std::endian::native == std::endian::little) {
        const auto half = static_cast<std::uint16_t>(value);
        std::memcpy(at, &half, sizeof half);
    } else {
        at[0] = static_cast<std::uint8_t>(value);
        at[1] = static_cast<std::uint8_t>(value >> 8);
    }
}

// scattered[p] places bit 7 - i of the plane byte p (pixel i) at bit 0 of
// its packed nibble: byte i div 2 of the word, bit 4 for a left pixel. Shifted
// by the plane number, four of them OR into the 4 packed bytes of 8 pixels.
struct ScatterTable {
    std::uint32_t packed[256];
};

constexpr ScatterTable makeScatterTable()
{
    ScatterTable table{};
    for (std::uint32_t value = 0; value < 256; ++value) {
        for (std::uint32_t x = 0; x < kTileSide; ++x) {
            const std::uint32_t at = 8 * (x / 2) + (x % 2 == 0 ? 4 : 0);
            table.packed[value] |= (value >> (7 - x) & 1) << at;
        }
    }
    return table;
}

constexpr ScatterTable kScatter = makeScatterTable();

constexpr std::uint32_t kPackedTileRowBytes = kTileSide * kPackedRowBytes;  // one tile row of packed pixels

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

void tilesToPackedPixels(const std::uint8_t* tiles, std::uint32_t length, std::uint8_t* packed)
{
    const std::uint32_t count = length / kTileBytes;
    std::memset(packed, 0, std::size_t{tilePixelRows(length)} * kPackedRowBytes);
    for (std::uint32_t tile = 0; tile < count; ++tile) {
        const std::uint8_t* source = tiles + std::size_t{tile} * kTileBytes;
        std::uint8_t* origin = packed + std::size_t{tile / kTilesPerPictureRow} * kPackedTileRowBytes +
                               tile % kTilesPerPictureRow * (kTileSide / 2);
        for (std::uint32_t row = 0; row < kTileSide; ++row) {
            const std::uint32_t word = kScatter.packed[source[2 * row]] | kScatter.packed[source[2 * row + 1]] << 1 |
                                       kScatter.packed[source[16 + 2 * row]] << 2 |
                                       kScatter.packed[source[17 + 2 * row]] << 3;
            std::uint8_t* line = origin + row * kPackedRowBytes;
            line[0] = static_cast<std::uint8_t>(word);
            line[1] = static_cast<std::uint8_t>(word >> 8);
            line[2] = static_cast<std::uint8_t>(word >> 16);
            line[3] = static_cast<std::uint8_t>(word >> 24);
        }
    }
}

void packedPixelsToTiles(const std::uint8_t* packed, std::uint32_t length, std::uint8_t* tiles)
{
    const std::uint32_t count = length / kTileBytes;
    for (std::uint32_t tile = 0; tile < count; ++tile) {
        std::uint8_t* target = tiles + std::size_t{tile} * kTileBytes;
        const std::uint8_t* origin = packed + std::size_t{tile / kTilesPerPictureRow} * kPackedTileRowBytes +
                                     tile % kTilesPerPictureRow * (kTileSide / 2);
        for (std::uint32_t row = 0; row < kTileSide; ++row) {
            const std::uint8_t* line = origin + row * kPackedRowBytes;
            const std::uint32_t word = kGather.planes[0][line[0]] | kGather.planes[1][line[1]] |
                                       kGather.planes[2][line[2]] | kGather.planes[3][line[3]];
            storeLow16(target + 2 * row, word);        // planes 0 and 1
            storeLow16(target + 16 + 2 * row, word >> 16);  // planes 2 and 3
        }
    }
}
