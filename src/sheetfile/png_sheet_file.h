#pragma once
// Sheets as PNG pictures: 128 pixels wide, 8x8 tiles, 16 tiles to a tile row,
// each sheet starting on a new tile row. Written as 4-bit indexed pictures
// with the fixed palette below; read back from indexed pictures of any bit
// depth (the indices count, their palette not) or from grey, grey+alpha, RGB
// and RGBA pictures at 8 or 16 bits that use only the palette's colours, opaque.
// This file pair is the only user of libpng.

#include <cstdint>
#include <cstddef>
#include <cstdio>

// One sheet's place in a picture.
struct PictureSheet {
    std::uint32_t sheet;     // sheet number, for messages
    std::uint8_t* bytes;     // its planar 4bpp bytes: read by writeSheetPicture, filled by readSheetPicture
    std::uint32_t length;    // its catalogue size: a positive multiple of 32, at most 0x8000
    bool threeBitsPerPixel;  // the game keeps it with 3 bits per pixel: reading refuses colours 8-15
};

struct PaletteColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// The colours of indices 0-15: 0-7 a grey ramp from black to white, 8-15
// saturated hues.
inline constexpr std::uint32_t kPaletteSize = 16;
extern const PaletteColour kSheetPalette[kPaletteSize];

// Pixel rows of the picture that stacks these sheets (whole tile rows each).
std::uint32_t sheetPictureHeight(const PictureSheet* sheets, std::uint32_t count);

// Both functions take `count` >= 1 sheets (at most the 223 of a ROM).

// Writes one PNG picture holding the `count` sheets stacked in order, from the
// current position of `file`, which stays open. Reads exactly `length` bytes
// of each sheet. `name` is the file's name for messages. False after printing
// one line.
bool writeSheetPicture(std::FILE* file, const char* name, const PictureSheet* sheets, std::uint32_t count);

// A picture encoded in memory; the record owns its bytes.
struct EncodedPicture {
    std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;
    EncodedPicture() = default;
    EncodedPicture(const EncodedPicture&) = delete;
    EncodedPicture& operator=(const EncodedPicture&) = delete;
    ~EncodedPicture();
};

// The same picture as writeSheetPicture writes, into `picture` (replacing what
// it held), so that the caller can put the file in place whole. False after
// printing one line.
bool encodeSheetPicture(const char* name, const PictureSheet* sheets, std::uint32_t count, EncodedPicture& picture);

// Reads one PNG picture from `file` and checks that it holds exactly these
// sheets: 128 x sheetPictureHeight pixels, only allowed colours, colour 0 in
// the tile places past a sheet's last tile. On success fills exactly `length`
// bytes of every sheet's `bytes`. False after printing one line naming `name`,
// the sheet and, for a pixel, its place in the whole picture; the sheets'
// bytes are then unspecified, but nothing outside them is written.
bool readSheetPicture(std::FILE* file, const char* name, PictureSheet* sheets, std::uint32_t count);
