#pragma once
// Sheets as PNG pictures: 128 pixels wide, 8x8 tiles, 16 tiles to a tile row,
// each sheet starting on a new tile row. Written as 4-bit indexed pictures
// with the fixed palette below. Read back from any PNG picture (png_picture.h
// turns the file into pixels; this layer checks each pixel against its sheet
// and builds the planar tiles):
// - indexed pictures by colour when every palette entry that a pixel uses is
//   one of the 16 colours (RGB; the entry's transparency is ignored); else,
//   when every index used is below 16, by index, with a note; else by colour,
//   so that a pixel of another colour is refused;
// - grey, grey+alpha, RGB and RGBA pictures at 8 or 16 bits when every pixel
//   is one of the 16 colours and opaque.
// Every refused pixel is counted: the first is named, then how many more and
// the last one's place.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "sheetfile/png_picture.h"

// One sheet's place in a picture.
struct PictureSheet {
    std::uint32_t sheet;     // sheet number, for messages
    std::uint8_t* bytes;     // its planar 4bpp bytes: read by encodeSheetPicture, filled by the readers
    std::uint32_t length;    // its catalogue size: a positive multiple of 32, at most 0x8000
    bool threeBitsPerPixel;  // the game keeps it with 3 bits per pixel: reading refuses colours 8-15
};

// The colours of indices 0-15: 0-7 a grey ramp from black to white, 8-15
// saturated hues.
inline constexpr std::uint32_t kPaletteSize = 16;
extern const PaletteColour kSheetPalette[kPaletteSize];

// Pixel rows of the picture that stacks these sheets (whole tile rows each).
std::uint32_t sheetPictureHeight(const PictureSheet* sheets, std::uint32_t count);

// Every function below takes `count` >= 1 sheets (at most the 223 of a ROM).

// Encodes one picture holding the `count` sheets stacked in order into
// `picture` (replacing what it held), so that the caller can put the file in
// place whole. Reads exactly `length` bytes of each sheet. `name` is the
// file's name for messages. False after printing one line.
bool encodeSheetPicture(const char* name, const PictureSheet* sheets, std::uint32_t count, EncodedPicture& picture);

// Reads one picture from `file` (from its position on) or `source` and checks
// that it holds exactly these sheets: 128 x sheetPictureHeight pixels, only
// allowed colours, colour 0 in the tile places past a sheet's last tile. On
// success fills exactly `length` bytes of every sheet's `bytes`, after
// printing the note when the picture is read by index. False after printing
// the refusal, naming `name`, the sheet and, for a pixel, its place in the
// whole picture, then, when more pixels are refused, their count and the
// last one's place; the sheets' bytes are then unspecified, but nothing
// outside them is written. Reads no more of the file than the picture's
// chunks up to its last row (see png_picture.h).
bool readSheetPicture(std::FILE* file, const char* name, PictureSheet* sheets, std::uint32_t count);
bool readSheetPicture(const PictureSource& source, const char* name, PictureSheet* sheets, std::uint32_t count);

// The same reading, printing nothing at all: whether the picture at `source`
// reads into these sheets as insertion reads it (the sheets' bytes filled as
// above). For comparing an existing picture with sheets without a word.
bool readSheetPictureQuietly(const PictureSource& source, PictureSheet* sheets, std::uint32_t count);
