#pragma once
// Sheets as PNG pictures: 128 pixels wide, 8x8 tiles, 16 tiles to a tile row,
// each sheet starting on a new tile row. Written as 4-bit indexed pictures
// with the fixed palette below. Read back from any PNG picture (png_picture.h
// turns the file into pixels; this layer checks each pixel against its sheet
// and builds the planar tiles):
// - indexed pictures by colour when the palette entries that pixels use are
//   distinct colours of the 16 (RGB; the entry's transparency is ignored),
//   with a note when some used entry is not at its colour's index; else, when
//   every index used is below 16 or when two used entries show the same one
//   of the 16, by index, with a note (an index of 16 or more is then
//   refused); else by colour, so that a pixel of another colour is refused;
// - grey, grey+alpha, RGB and RGBA pictures at 8 or 16 bits when every pixel
//   is one of the 16 colours and opaque.
// Every refused pixel is counted: the first is named, then how many more and
// the last one's place.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "sheetfile/png_picture.h"
#include "sheetfile/png_sheet_pixels.h"

// One sheet's place in a picture.
struct PictureSheet {
    std::uint32_t sheet;     // sheet number, for messages
    std::uint8_t* bytes;     // its planar 4bpp bytes: read by encodeSheetPicture, filled by the readers
    std::uint32_t length;    // its catalogue size: a positive multiple of 32, at most 0x8000
    bool threeBitsPerPixel;  // the game keeps it with 3 bits per pixel: reading refuses colours 8-15
};

// Pixel rows of the picture that stacks these sheets (whole tile rows each).
std::uint32_t sheetPictureHeight(const PictureSheet* sheets, std::uint32_t count);

// What reading a picture into sheets came to, printing nothing: what went
// wrong, if anything, and the notes on how it was read.
struct SheetPictureRecord {
    bool read = false;  // every pixel was read into the sheets' bytes
    // The sheets asked for, as the messages name them, and the picture's
    // height they take.
    std::uint32_t firstSheet = 0;
    std::uint32_t lastSheet = 0;
    std::uint32_t sheetCount = 0;
    std::uint32_t height = 0;
    PictureReadResult fault;  // the read fault (systemError for CannotRead); None once the pixels are in memory
    bool readByIndex = false;               // note: the palette is not the tool's; pixels read by their index
    bool readByColourInOtherOrder = false;  // note: the palette is in another order; pixels read by colour
    RefusedPixel firstRefused;              // why None: no pixel is refused
    std::uint32_t moreRefused = 0;          // refused pixels after the first
    std::uint32_t lastRefusedX = 0;         // when there are more: the last one's place
    std::uint32_t lastRefusedY = 0;
};

// Every function below takes `count` >= 1 sheets (at most the 223 of a ROM).

// Encodes one picture holding the `count` sheets stacked in order into
// `picture` (replacing what it held), so that the caller can put the file in
// place whole. Reads exactly `length` bytes of each sheet. `name` is the
// file's name for messages. False after printing one line.
bool encodeSheetPicture(const char* name, const PictureSheet* sheets, std::uint32_t count, EncodedPicture& picture);

// Reads one picture from `source` and checks that it holds exactly these
// sheets: 128 x sheetPictureHeight pixels, only allowed colours, colour 0 in
// the tile places past a sheet's last tile. When it does (record.read), fills
// exactly `length` bytes of every sheet's `bytes`; otherwise the sheets'
// bytes are unspecified, but nothing outside them is written. Every pixel is
// checked, so that the record counts every refused one. Looks at no chunk of
// a file past the one that completes the last row (see png_picture.h).
SheetPictureRecord readSheetPictureRecord(const PictureSource& source, PictureSheet* sheets, std::uint32_t count);

// Prints what `record` holds about the picture `name`: a read fault's line;
// or the note on how it was read, then the refused pixel's line, naming the
// sheet and its place in the whole picture, then, when more pixels are
// refused, their count and the last one's place. Nothing for a picture read
// as sheetpak wrote it.
void printSheetPictureRecord(const SheetPictureRecord& record, const char* name);

// readSheetPictureRecord from `file` (from its position on) or `source`, then
// printSheetPictureRecord naming `name`: whether the sheets were read.
bool readSheetPicture(std::FILE* file, const char* name, PictureSheet* sheets, std::uint32_t count);
bool readSheetPicture(const PictureSource& source, const char* name, PictureSheet* sheets, std::uint32_t count);

// The same reading, printing nothing at all: whether the picture at `source`
// reads into these sheets as insertion reads it (the sheets' bytes filled as
// above). For comparing an existing picture with sheets without a word.
bool readSheetPictureQuietly(const PictureSource& source, PictureSheet* sheets, std::uint32_t count);
