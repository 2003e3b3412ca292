#pragma once
// PNG files for the sheet-file tests: built by hand, chunk by chunk with
// their CRCs (hostile ones too), or with libpng as image editors save them;
// sheets of chosen colours and their pictures; and the reading of a picture
// into sheets with what it prints captured.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sheetfile/png_picture.h"
#include "sheetfile/png_sheet_file.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

// Pictures built by hand are of one 2048-byte sheet: 32 rows of 128 pixels
// at 4 bits.
inline constexpr std::uint32_t kRowBytes = 64;
inline constexpr std::uint32_t kRows = 32;

void appendBigEndian(Bytes& out, std::uint32_t value);
void append(Bytes& out, const Bytes& more);

// A chunk with its length and CRC; `declared` overrides the length field.
// Laid out in a buffer of its whole size at once (GCC 12 misreads growing
// inserts into a small vector at -O2 as overflows).
Bytes chunk(const char* type, const Bytes& data, std::uint64_t declared = ~std::uint64_t{0});

Bytes signature();

// IHDR and PLTE of a 4-bit indexed 128 x 32 picture with the tool's palette.
Bytes pictureHead();

// A blank picture whose image data goes on for `zeroMiB` MiB of zeros past
// its rows: in the same IDAT chunk, or in a second one (`firstChunkEnd`: where
// the first one ends in the file).
Bytes imageDataBomb(std::uint32_t zeroMiB, bool split, std::size_t* firstChunkEnd = nullptr);

// A blank picture, plain: its rows in one IDAT chunk, the stream's end in another.
Bytes blankPicture();

// The 107-byte picture whose chunk of `type` declares 0x7FFFFFFF bytes and
// is cut off by the end of the file.
Bytes declaredBomb(const char* type);

// readPicture of `png` in memory as a 128 x 32 picture.
PictureReadResult readBytes(const Bytes& png, DecodedPicture& picture);

// A sheet's pixel colour by the planar tile layout, written out independently
// of the code under test: tile t at tile column t mod 16, tile row t div 16.
std::uint32_t pixelOf(const Bytes& bytes, std::uint32_t x, std::uint32_t y);

// Random sheet bytes; `planes` bit-planes used (the others zero).
Bytes randomSheet(TestRandom& random, std::uint32_t length, std::uint32_t planes = 4);

// A sheet drawn with `colours` only, at random.
Bytes sheetOfColours(TestRandom& random, const std::vector<std::uint32_t>& colours, std::uint32_t length = 2048);

// The layout of `sheets`, numbered from `first`.
std::vector<PictureSheet> layoutOf(std::vector<Bytes>& sheets, bool threeBits = false, std::uint32_t first = 0x21);

// The tool's picture of these sheets.
Bytes writePicture(const std::vector<PictureSheet>& layout);

struct ReadOutcome {
    bool ok;
    std::string output;
    std::vector<Bytes> sheets;
};

// Reads `png` for sheets of these lengths, from sheet `first` on, with output
// captured, from memory or through a file. The quiet reading of the same
// bytes must print nothing and come to the same verdict and sheets, and so
// must the record, which when printed must print what the reading printed.
ReadOutcome readAsSheets(const Bytes& png, std::vector<std::uint32_t> lengths, bool threeBits = false,
                         std::uint32_t first = 0x21, const char* name = "GFX21.png", bool viaFile = false);

std::uint32_t bigEndian(const Bytes& bytes, std::size_t at);

// A picture as an image editor might save it.
struct Craft {
    int colourType;
    int bitDepth;
    bool interlaced = false;
    std::uint32_t width = 128;
    std::uint32_t height = 32;
    // Indexed: the PLTE entries; null for 2^depth entries of one colour that
    // is none of the tool's.
    const std::vector<PaletteColour>* palette = nullptr;
    int filters = 0;  // PNG_FILTER_* to use; 0 for libpng's choice
};

// The tool's 16 colours, in its order.
extern const std::vector<PaletteColour> kToolPalette;

// Encodes, with libpng, the picture whose samples `sample(x, y, channel)` gives.
Bytes craftPng(const Craft& craft, const std::function<std::uint32_t(std::uint32_t, std::uint32_t, int)>& sample);

// Sample `channel` of palette colour `index` as an RGB(A) picture at `bitDepth` holds it.
std::uint32_t paletteSample(std::uint32_t index, int channel, int bitDepth);

// The indexed picture of `sheet` (2048 bytes) whose pixel of colour c holds
// index indexOf[c], with `palette` as its PLTE.
Bytes indexedPicture(const Bytes& sheet, int bitDepth, const std::vector<PaletteColour>& palette,
                     const std::vector<std::uint32_t>& indexOf, bool interlaced = false);
