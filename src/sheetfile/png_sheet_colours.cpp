#include "sheetfile/png_sheet_colours.h"

#include <algorithm>
#include <cstring>

#include "codec/tile_pixels.h"

const PaletteColour kSheetPalette[kPaletteSize] = {
    {0x00, 0x00, 0x00}, {0x24, 0x24, 0x24}, {0x49, 0x49, 0x49}, {0x6D, 0x6D, 0x6D},
    {0x92, 0x92, 0x92}, {0xB6, 0xB6, 0xB6}, {0xDB, 0xDB, 0xDB}, {0xFF, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x80, 0x00}, {0xFF, 0xFF, 0x00}, {0x00, 0xFF, 0x00},
    {0x00, 0xFF, 0xFF}, {0x00, 0x00, 0xFF}, {0x80, 0x00, 0xFF}, {0xFF, 0x00, 0xFF},
};

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

// Whether the indices marked in `indices` have distinct colours of the 16,
// and whether each is the index's own colour.
struct ColourCheck {
    bool distinct = true;  // every one a colour 0-15, no two the same
    bool inOrder = true;   // every one the colour of its own index
};

ColourCheck checkColours(const IndexColours& colours, const bool* indices, std::uint32_t count)
{
    ColourCheck check;
    bool taken[kPaletteSize] = {};
    for (std::uint32_t index = 0; index < count; ++index) {
        if (!indices[index]) {
            continue;
        }
        const std::uint8_t code = colours.code[index];
        if (code >= kPaletteSize || taken[code]) {
            check.distinct = false;
        } else {
            taken[code] = true;
        }
        check.inOrder = check.inOrder && code == index;
    }
    return check;
}

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
    // Every index a pixel can hold the colour of its own index (the tool's
    // palette, or the first entries of it): no need to see which are used.
    bool every[kMaxPaletteEntries];
    std::fill(every, every + kMaxPaletteEntries, true);
    const ColourCheck all = checkColours(colours, every, picture.indexLimit);
    if (all.distinct && all.inOrder) {
        colours.complete = true;
    } else {
        bool used[kMaxPaletteEntries] = {};
        markUsedIndices(picture, used);
        const ColourCheck inUse = checkColours(colours, used, kMaxPaletteEntries);
        bool allBelowSixteen = true;
        bool allColoured = true;
        for (std::uint32_t index = 0; index < kMaxPaletteEntries; ++index) {
            if (used[index]) {
                allBelowSixteen = allBelowSixteen && index < kPaletteSize;
                allColoured = allColoured && colours.code[index] < kPaletteSize;
            }
        }
        if (inUse.distinct) {
            colours.complete = true;
            colours.otherOrder = !inUse.inOrder;
        } else if (allBelowSixteen || allColoured) {
            // Read by index: a recoloured palette; or one whose used entries
            // are all of the 16, but two of them the same, which by colour
            // would merge two colours, so that an index of 16 or more is
            // refused as such.
            colours.byIndex = true;
            colours.complete = allBelowSixteen;
            for (std::uint32_t index = 0; index < kMaxPaletteEntries; ++index) {
                colours.code[index] = index < kPaletteSize ? static_cast<std::uint8_t>(index) : kNoEntry;
            }
        }
        // Otherwise an index of 16 or more and an entry none of the 16 are
        // used: by colour, so that such a pixel is refused with its colour.
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
