#pragma once
// How the pixels of a read picture become the tool's 16 colours, inside the
// PNG layer only: a colour code for every pixel (a colour 0-15, or a mark for
// a pixel refused whatever its sheet), the rule that decides whether an
// indexed picture is read by colour or by index, and what a marked pixel's
// refusal shows.

#include <cstdint>

#include "sheetfile/png_picture.h"
#include "sheetfile/png_sheet_pixels.h"

// The marks of a colour code: a pixel refused whatever its sheet.
inline constexpr std::uint8_t kTransparent = 0x20;  // alpha below full
inline constexpr std::uint8_t kOffPalette = 0x40;   // a colour none of the 16
inline constexpr std::uint8_t kNoEntry = 0x80;      // an index past the picture's palette
inline constexpr std::uint8_t kRefusedMarks = kTransparent | kOffPalette | kNoEntry;
inline constexpr std::uint8_t kHighColours = 0x08;  // colours 8-15

// How the indices of an indexed picture become the tool's colours.
struct IndexColours {
    std::uint8_t code[kMaxPaletteEntries] = {};  // per index: a colour 0-15 or a mark
    bool byIndex = false;     // read by index: each index below 16 is its colour
    bool otherOrder = false;  // read by colour, but some used index shows another colour than its own
    bool complete = false;    // every index that a pixel uses has a colour
    bool identity = false;    // and it is the index itself, for every index a pixel can hold
};

// The colours of an indexed picture's indices (PixelLayout::PackedIndices or
// Indices). By colour when the entries that pixels use are distinct colours
// of the 16 (an entry's transparency ignored); else by index when every index
// used is below 16, or when every entry used is one of the 16 but two are the
// same; else by colour, so that a pixel whose entry is none of the 16 is
// refused with its colour.
IndexColours indexColoursOf(const DecodedPicture& picture);

// The colour codes of pixel row `y`, kPictureWidth of them, into `codes`;
// `colours` is used for an indexed picture only.
void rowCodes(const DecodedPicture& picture, const IndexColours& colours, std::uint32_t y, std::uint8_t* codes);

// What the refusal of pixel x of row `y`, whose code is the mark `code`,
// shows: its reason and the colour, index or alpha its message names.
void describeMarkedPixel(const DecodedPicture& picture, std::uint32_t x, std::uint32_t y, std::uint8_t code,
                         RefusedPixel& pixel);
