#pragma once
// Planar 4bpp tiles as pixels of a picture 128 pixels wide: 16 tiles of 8x8
// pixels to a tile row, tile t at tile column t mod 16 and tile row t div 16.
// A pixel's colour index takes bit 0 from plane 0, bit 1 from plane 1, bit 2
// from plane 2 and bit 3 from plane 3; bit 7 of a row byte is the leftmost pixel.

#include <cstdint>

inline constexpr std::uint32_t kTileBytes = 32;
inline constexpr std::uint32_t kTileSide = 8;
inline constexpr std::uint32_t kTilesPerPictureRow = 16;
inline constexpr std::uint32_t kPictureWidth = kTileSide * kTilesPerPictureRow;  // 128
// Packed pixels: two colour indices a byte, the left pixel in the high half.
inline constexpr std::uint32_t kPackedRowBytes = kPictureWidth / 2;  // 64

// Pixel rows that `length` bytes of tiles take: whole tile rows, so a last
// tile row that is not full still counts 8 rows. A partial tile counts as none.
std::uint32_t tilePixelRows(std::uint32_t length);

// Builds length div 32 tiles into `tiles` from the low 4 bits of the pixels
// of `pixels`, one colour index 0-15 a byte (rows of 128 bytes). Reads only
// the pixels of those tiles, writes exactly length div 32 * 32 bytes of
// `tiles`.
void pixelsToTiles(const std::uint8_t* pixels, std::uint32_t length, std::uint8_t* tiles);

// Tiles to and from packed pixels, rows of 64 bytes. tilesToPackedPixels
// writes the first length div 32 tiles of `tiles` into every byte of
// tilePixelRows(length) rows (the tile places past the last tile get 0),
// reading exactly length div 32 * 32 bytes of `tiles`; packedPixelsToTiles
// reads only the bytes of the length div 32 tiles and writes exactly
// length div 32 * 32 bytes of `tiles`.
void tilesToPackedPixels(const std::uint8_t* tiles, std::uint32_t length, std::uint8_t* packed);
void packedPixelsToTiles(const std::uint8_t* packed, std::uint32_t length, std::uint8_t* tiles);
