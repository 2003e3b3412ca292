#pragma once
// The tool's 16 colours and the record of a refused pixel: what writing and
// reading sheet pictures share (png_sheet_file.h, png_sheet_colours.h).

#include <cstdint>

#include "sheetfile/png_picture.h"

// The colours of indices 0-15: 0-7 a grey ramp from black to white, 8-15
// saturated hues.
inline constexpr std::uint32_t kPaletteSize = 16;
extern const PaletteColour kSheetPalette[kPaletteSize];

// Why a pixel of a picture is refused, and what of it the refusal names.
enum class PixelRefusal : std::uint8_t {
    None,
    Transparent,     // alpha `value` of `alphaMax` (255, or 65535 at 16 bits), below full
    OffPalette,      // a colour none of the 16: red, green and blue in `colour`
    OffPalette16,    // the same at 16 bits a sample: the 6 bytes, high bytes first, in `colour`
    IndexTooHigh,    // index `value`, 16 or more, that the picture's palette does not hold
    NoPaletteEntry,  // index `value`, below 16, that the picture's palette does not hold
    PastLastTile,    // colour `value` in a tile place past the sheet's last tile
    ThreeBits,       // colour `value` (8-15) in a sheet the game keeps with 3 bits per pixel
};

struct RefusedPixel {
    PixelRefusal why = PixelRefusal::None;
    std::uint32_t sheet = 0;  // the sheet the pixel lies in
    std::uint32_t x = 0;      // its place in the whole picture
    std::uint32_t y = 0;
    std::uint32_t value = 0;
    std::uint32_t alphaMax = 0;
    std::uint8_t colour[6] = {};
};
