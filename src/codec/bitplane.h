#pragma once
// Conversion between 3-bit-per-pixel tiles (24 bytes, as the game stores them)
// and 4-bit-per-pixel planar tiles (32 bytes, as the sheet files hold them).

#include <cstdint>

// A full sheet of 64 tiles: 1536 bytes as 3bpp tiles, 2048 bytes as 4bpp tiles.
inline constexpr std::uint32_t kRaw3bppSheetSize = 1536;
inline constexpr std::uint32_t kRaw4bppSheetSize = 2048;

// Widens `length` 3bpp bytes in place, from the end, into 4bpp tiles. `buffer`
// must hold kCodecBufferSize bytes. Returns the new length, at most 0x10000:
// input beyond the first 0xC000 bytes is dropped. Lengths up to 16 are untouched.
// A partial last tile keeps its planes 0/1 bytes and pairs each plane-2 byte
// with a zero.
std::uint32_t expandTiles3To4(std::uint8_t* buffer, std::uint32_t length);

// Widens the 1536-byte 3bpp sheet at the start of `sheet` (at least 2048 bytes)
// into 2048 bytes of 4bpp tiles there, through a 32 KiB stack scratch buffer.
// Returns 2048.
std::uint32_t expandRawSheet3To4(std::uint8_t* sheet);

// Packs `length` 4bpp bytes in place, from the start, dropping every plane-3
// byte whatever its value. Returns the new length (a final plane-2 byte without
// its partner stays); lengths up to 16 are untouched.
std::uint32_t packTiles4To3(std::uint8_t* buffer, std::uint32_t length);

// Packs the first 2048 bytes of `sheet` in place into 1536 bytes of 3bpp tiles,
// reading all 2048 positions whatever the sheet file supplied. Returns 1536.
std::uint32_t packRawSheet4To3(std::uint8_t* sheet);

// Whether packTiles4To3 over the first `length` bytes would drop a non-zero
// plane-3 byte: a colour 8 to 15 that 3 bits per pixel cannot keep.
bool packingDropsColour(const std::uint8_t* buffer, std::uint32_t length);
