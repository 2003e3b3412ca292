#include "sheetfile/png_sheet_colours.h"

#include <cstring>

#include "codec/tile_pixels.h"

namespace {

// The tool's colour that is exactly `colour`, or kOffPalette.
std::uint8_t toolColourOf(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
        const PaletteColour& entry = kSheetPalette[index];
        if (entry.red == red && entry.green == green && entry.blue == blue) {
            return static_cast<std::uint8_t>(index);
        }
    }
    return kOffPalette;
}

// Which of the indices a pixel can hold some pixel uses.
void markUsedIndices(const DecodedPicture& picture, bool (&used)[kMaxPaletteEntries])
{
    bool bytes[256] = {};
    const std::size_t size = std::size_t{picture.height} * picture.rowBytes;
    for (std::size_t at = 0; at < size; ++at) {
        bytes[picture.pixels[at]] = true;
    }
    for (std::uint32_t value = 0; value < 256; ++value) {
        if (!bytes[value]) {
            continue;
        }
        if (picture.layout == PixelLayout::PackedIndices) {
            used[value >> 4] = used[value & 0x0F] = true;
        } else {
            used[value] = true;
        }
    }
    if (picture.layout == PixelLayout::PackedIndices && picture.width % 2 != 0) {
        used[0] = true;  // the unused low half of each row's last byte may have marked an index
    }
}

}  // namespace

IndexColours indexColoursOf(const DecodedPicture& picture)
{
    IndexColours colours;
    std::memset(colours.code, kNoEntry, sizeof colours.code);
    std::uint32_t known = 0;
    static_assert(sizeof kSheetPalette == 3 * kPaletteSize, "colours of 3 bytes each");
    if (picture.paletteSize >= kPaletteSize && std::memcmp(picture.palette, kSheetPalette, sizeof kSheetPalette) == 0) {
        for (; known < kPaletteSize; ++known) {
            colours.code[known] = static_cast<std::uint8_t>(known);  // the tool's own palette
        }
    }
    for (; known < picture.paletteSize; ++known) {
        const PaletteColour& entry = picture.palette[known];
        colours.code[known] = toolColourOf(entry.red, entry.green, entry.blue);
    }
    colours.complete = true;
    for (std::uint32_t index = 0; index < picture.indexLimit; ++index) {
        colours.complete = colours.complete && colours.code[index] < kPaletteSize;
    }
    if (!colours.complete) {
        bool used[kMaxPaletteEntries] = {};
        markUsedIndices(picture, used);
        bool allBelowSixteen = true;
        colours.complete = true;
        for (std::uint32_t index = 0; index < kMaxPaletteEntries; ++index) {
            if (used[index]) {
                colours.complete = colours.complete && colours.code[index] < kPaletteSize;
                allBelowSixteen = allBelowSixteen && index < kPaletteSize;
            }
        }
        if (!colours.complete && allBelowSixteen) {
            colours.byIndex = colours.complete = true;
            for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
                colours.code[index] = static_cast<std::uint8_t>(index);
            }
        }
    }
    colours.identity = picture.indexLimit <= kPaletteSize;
    for (std::uint32_t index = 0; index < picture.indexLimit && colours.identity; ++index) {
        colours.identity = colours.code[index] == index;
    }
    return colours;
}

void rowCodes(const DecodedPicture& picture, const IndexColours& colours, std::uint32_t y, std::uint8_t* codes)
{
    const std::uint8_t* row = picture.pixels + std::size_t{y} * picture.rowBytes;
    switch (picture.layout) {
    case PixelLayout::PackedIndices:
        for (std::uint32_t x = 0; x < kPictureWidth; x += 2) {
            codes[x] = colours.code[row[x / 2] >> 4];
            codes[x + 1] = colours.code[row[x / 2] & 0x0F];
        }
        return;
    case PixelLayout::Indices:
        for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
            codes[x] = colours.code[row[x]];
        }
        return;
    case PixelLayout::Rgba8:
        for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
            const std::uint8_t* pixel = row + 4 * x;
            codes[x] = pixel[3] != 0xFF ? kTransparent : toolColourOf(pixel[0], pixel[1], pixel[2]);
        }
        return;
    case PixelLayout::Rgba16:
        for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
            // A 16-bit sample matches the 8-bit sample c exactly when it is c * 257.
            const std::uint8_t* pixel = row + 8 * x;
            const bool eightBit = pixel[0] == pixel[1] && pixel[2] == pixel[3] && pixel[4] == pixel[5];
            codes[x] = pixel[6] != 0xFF || pixel[7] != 0xFF ? kTransparent
                       : eightBit                           ? toolColourOf(pixel[0], pixel[2], pixel[4])
                                                            : kOffPalette;
        }
        return;
    }
}

void describeMarkedPixel(const DecodedPicture& picture, std::uint32_t x, std::uint32_t y, std::uint8_t code,
                         RefusedPixel& pixel)
{
    const std::uint8_t* row = picture.pixels + std::size_t{y} * picture.rowBytes;
    switch (picture.layout) {
    case PixelLayout::PackedIndices:
    case PixelLayout::Indices: {
        const std::uint32_t index =
            picture.layout == PixelLayout::Indices ? row[x] : (x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0Fu);
        if (code == kNoEntry) {
            pixel.why = index >= kPaletteSize ? PixelRefusal::IndexTooHigh : PixelRefusal::NoPaletteEntry;
            pixel.value = index;
        } else {
            const PaletteColour& entry = picture.palette[index];
            pixel.why = PixelRefusal::OffPalette;
            pixel.colour[0] = entry.red;
            pixel.colour[1] = entry.green;
            pixel.colour[2] = entry.blue;
        }
        return;
    }
    case PixelLayout::Rgba8: {
        const std::uint8_t* sample = row + 4 * x;
        if (code == kTransparent) {
            pixel.why = PixelRefusal::Transparent;
            pixel.value = sample[3];
            pixel.alphaMax = 0xFF;
        } else {
            pixel.why = PixelRefusal::OffPalette;
            std::memcpy(pixel.colour, sample, 3);
        }
        return;
    }
    case PixelLayout::Rgba16: {
        const std::uint8_t* sample = row + 8 * x;
        if (code == kTransparent) {
            pixel.why = PixelRefusal::Transparent;
            pixel.value = std::uint32_t{sample[6]} << 8 | sample[7];
            pixel.alphaMax = 0xFFFF;
        } else {
            pixel.why = PixelRefusal::OffPalette16;
            std::memcpy(pixel.colour, sample, 6);
        }
        return;
    }
    }
}
