#include "sheetfile/png_sheet_file.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "codec/tile_pixels.h"
#include "sheetfile/png_picture_messages.h"
#include "sheetfile/sheetfile_messages.h"

const PaletteColour kSheetPalette[kPaletteSize] = {
    {0x00, 0x00, 0x00}, {0x24, 0x24, 0x24}, {0x49, 0x49, 0x49}, {0x6D, 0x6D, 0x6D},
    {0x92, 0x92, 0x92}, {0xB6, 0xB6, 0xB6}, {0xDB, 0xDB, 0xDB}, {0xFF, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x80, 0x00}, {0xFF, 0xFF, 0x00}, {0x00, 0xFF, 0x00},
    {0x00, 0xFF, 0xFF}, {0x00, 0x00, 0xFF}, {0x80, 0x00, 0xFF}, {0xFF, 0x00, 0xFF},
};

namespace {

// A pixel's colour code: the tool's colour 0-15, or one of these marks for a
// pixel refused whatever its sheet.
constexpr std::uint8_t kTransparent = 0x20;  // alpha below full
constexpr std::uint8_t kOffPalette = 0x40;   // a colour none of the 16
constexpr std::uint8_t kNoEntry = 0x80;      // an index past the picture's palette
constexpr std::uint8_t kRefusedMarks = kTransparent | kOffPalette | kNoEntry;
constexpr std::uint8_t kHighColours = 0x08;  // colours 8-15

// The "GFX 0x21" or "GFX 0x00 to 0xDE" of a message about a whole picture.
struct SheetsLabel {
    char text[32];
};

SheetsLabel sheetsLabel(const PictureSheet* sheets, std::uint32_t count)
{
    SheetsLabel label{};
    if (count == 1) {
        std::snprintf(label.text, sizeof label.text, kFmtPictureOneSheet, static_cast<unsigned>(sheets[0].sheet));
    } else {
        std::snprintf(label.text, sizeof label.text, kFmtPictureSheets, static_cast<unsigned>(sheets[0].sheet),
                      static_cast<unsigned>(sheets[count - 1].sheet));
    }
    return label;
}

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

// How the indices of an indexed picture become the tool's colours.
struct IndexColours {
    std::uint8_t code[kMaxPaletteEntries] = {};  // per index: a colour 0-15 or a mark
    bool byIndex = false;   // the palette is not the tool's, but every index used is below 16
    bool complete = false;  // every index that a pixel uses has a colour
    bool identity = false;  // and it is the index itself, for every index a pixel can hold
};

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

// The refused pixels of one picture so far.
struct Refusals {
    const char* name = nullptr;  // null: print nothing
    std::uint32_t count = 0;
    std::uint32_t lastX = 0;
    std::uint32_t lastY = 0;
};

// Counts a refused pixel. True when it is the first and its message is to be
// printed: the place is printed then, and the caller ends the line.
bool startsRefusal(Refusals& refusals, std::uint32_t sheet, std::uint32_t x, std::uint32_t y)
{
    refusals.lastX = x;
    refusals.lastY = y;
    if (refusals.count++ > 0 || refusals.name == nullptr) {
        return false;
    }
    std::printf(kFmtPixelPlace, refusals.name, static_cast<unsigned>(sheet), static_cast<unsigned>(x),
                static_cast<unsigned>(y));
    return true;
}

// The colour codes of pixel row `y`, 128 of them, into `codes`.
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

// Ends the message of pixel x of row `y`, whose code is a mark.
void printMarkedPixel(const DecodedPicture& picture, std::uint32_t x, std::uint32_t y, std::uint8_t code)
{
    const std::uint8_t* row = picture.pixels + std::size_t{y} * picture.rowBytes;
    switch (picture.layout) {
    case PixelLayout::PackedIndices:
    case PixelLayout::Indices: {
        const std::uint32_t index =
            picture.layout == PixelLayout::Indices ? row[x] : (x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0Fu);
        if (code == kNoEntry) {
            std::printf(index >= kPaletteSize ? kFmtPixelIndexTooHigh : kFmtPixelNoPaletteEntry,
                        static_cast<unsigned>(index));
        } else {
            const PaletteColour& entry = picture.palette[index];
            std::printf(kFmtPixelOffPalette, entry.red, entry.green, entry.blue);
        }
        return;
    }
    case PixelLayout::Rgba8: {
        const std::uint8_t* pixel = row + 4 * x;
        if (code == kTransparent) {
            std::printf(kFmtPixelTransparent, pixel[3] == 0 ? kMsgTransparent : kMsgPartlyTransparent,
                        static_cast<unsigned>(pixel[3]), 255u);
        } else {
            std::printf(kFmtPixelOffPalette, pixel[0], pixel[1], pixel[2]);
        }
        return;
    }
    case PixelLayout::Rgba16: {
        const std::uint8_t* pixel = row + 8 * x;
        const unsigned alpha = static_cast<unsigned>(pixel[6] << 8 | pixel[7]);
        if (code == kTransparent) {
            std::printf(kFmtPixelTransparent, alpha == 0 ? kMsgTransparent : kMsgPartlyTransparent, alpha, 0xFFFFu);
        } else {
            std::printf(kFmtPixelOffPalette16, pixel[0], pixel[1], pixel[2], pixel[3], pixel[4], pixel[5]);
        }
        return;
    }
    }
}

// Where a pixel row lies: its sheet, and how many of its 16 tile places hold
// one of the sheet's tiles.
struct RowPlace {
    const PictureSheet* sheet;
    std::uint32_t y;           // in the whole picture
    std::uint32_t tileColumns;  // 1 to 16
};

// Whether every code of the row is allowed in its place, at once: an OR of the
// whole row, and of the tile places past the last tile.
bool rowIsClean(const std::uint8_t* codes, const RowPlace& place)
{
    std::uint8_t any = 0;
    for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
        any = static_cast<std::uint8_t>(any | codes[x]);
    }
    const std::uint8_t refused = place.sheet->threeBitsPerPixel ? kRefusedMarks | kHighColours : kRefusedMarks;
    if ((any & refused) != 0) {
        return false;
    }
    std::uint8_t past = 0;
    for (std::uint32_t x = place.tileColumns * kTileSide; x < kPictureWidth; ++x) {
        past = static_cast<std::uint8_t>(past | codes[x]);
    }
    return past == 0;
}

// Checks each code of a row that is not clean, in order, counting every
// refused pixel (a pixel counts once, for the first rule it breaks).
void checkRowPixels(const DecodedPicture& picture, const std::uint8_t* codes, const RowPlace& place,
                    Refusals& refusals)
{
    const std::uint32_t sheet = place.sheet->sheet;
    for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
        const std::uint8_t code = codes[x];
        if ((code & kRefusedMarks) != 0) {
            if (startsRefusal(refusals, sheet, x, place.y)) {
                printMarkedPixel(picture, x, place.y, code);
            }
        } else if (x >= place.tileColumns * kTileSide && code != 0) {
            if (startsRefusal(refusals, sheet, x, place.y)) {
                std::printf(kFmtPixelPastLastTile, static_cast<unsigned>(code));
            }
        } else if (place.sheet->threeBitsPerPixel && code >= 8) {
            if (startsRefusal(refusals, sheet, x, place.y)) {
                std::printf(kFmtPixelThreeBits, static_cast<unsigned>(code));
            }
        }
    }
}

// Whether a band of packed rows (8 rows of 64 bytes) passes every check at
// once: no colour 8-15 in a 3-bit sheet, only colour 0 past the last tile.
bool packedBandIsClean(const std::uint8_t* band, const PictureSheet& sheet, std::uint32_t tileColumns)
{
    const std::uint32_t used = tileColumns * kTileSide / 2;
    std::uint64_t any = 0;
    std::uint64_t past = 0;
    for (std::uint32_t row = 0; row < kTileSide; ++row) {
        const std::uint8_t* line = band + row * kPackedRowBytes;
        for (std::uint32_t at = 0; at < used; at += 8) {
            std::uint64_t word;
            std::memcpy(&word, line + at, sizeof word);
            any |= word;
        }
        for (std::uint32_t at = used; at < kPackedRowBytes; ++at) {
            past |= line[at];
        }
    }
    return past == 0 && (!sheet.threeBitsPerPixel || (any & 0x8888888888888888ULL) == 0);
}

// Turns the picture's pixels into the sheets' tiles, band by band (8 rows,
// one tile row), checking every pixel. Prints the first refusal and counts
// the rest; stops at the first when quiet. True when no pixel was refused.
bool sheetsFromPixels(DecodedPicture& picture, IndexColours colours, const PictureSheet* sheets,
                      std::uint32_t count, Refusals& refusals)
{
    const bool packed = picture.layout == PixelLayout::PackedIndices && colours.complete;
    if (packed && !colours.identity) {
        // Every index used has a colour: put the colours in place of the indices.
        std::uint8_t byteColours[256];
        for (std::uint32_t value = 0; value < 256; ++value) {
            byteColours[value] = static_cast<std::uint8_t>((colours.code[value >> 4] & 0x0F) << 4 |
                                                           (colours.code[value & 0x0F] & 0x0F));
        }
        const std::size_t size = std::size_t{picture.height} * picture.rowBytes;
        for (std::size_t at = 0; at < size; ++at) {
            picture.pixels[at] = byteColours[picture.pixels[at]];
        }
        for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
            colours.code[index] = static_cast<std::uint8_t>(index);
        }
    }
    std::uint8_t band[kTileSide * kPictureWidth];
    std::uint32_t y = 0;
    for (std::uint32_t n = 0; n < count; ++n) {
        const PictureSheet& sheet = sheets[n];
        const std::uint32_t tiles = sheet.length / kTileBytes;
        for (std::uint32_t first = 0; first < tiles; first += kTilesPerPictureRow, y += kTileSide) {
            if (refusals.count > 0 && refusals.name == nullptr) {
                return false;
            }
            const std::uint32_t tileColumns = tiles - first < kTilesPerPictureRow ? tiles - first : kTilesPerPictureRow;
            std::uint8_t* target = sheet.bytes + std::size_t{first} * kTileBytes;
            const std::uint32_t bandLength = tileColumns * kTileBytes;
            const std::uint8_t* packedBand = picture.pixels + std::size_t{y} * picture.rowBytes;
            if (packed && packedBandIsClean(packedBand, sheet, tileColumns)) {
                if (refusals.count == 0) {
                    packedPixelsToTiles(packedBand, bandLength, target);
                }
                continue;
            }
            for (std::uint32_t row = 0; row < kTileSide; ++row) {
                std::uint8_t* codes = band + row * kPictureWidth;
                const RowPlace place{&sheet, y + row, tileColumns};
                rowCodes(picture, colours, place.y, codes);
                if (!rowIsClean(codes, place)) {
                    checkRowPixels(picture, codes, place, refusals);
                }
            }
            if (refusals.count == 0) {
                pixelsToTiles(band, bandLength, target);
            }
        }
    }
    return refusals.count == 0;
}

void printReadFault(const PictureReadResult& result, const char* name, const SheetsLabel& label,
                    std::uint32_t height)
{
    switch (result.fault) {
    case PictureFault::None:
        return;
    case PictureFault::CannotRead:
        std::printf(kFmtPictureUnreadable, name, label.text);
        return;
    case PictureFault::NotPng:
        std::printf(kFmtPictureNotPng, name, label.text);
        return;
    case PictureFault::EndsInHeader:
        std::printf(kFmtPictureEndsInHeader, name, label.text);
        return;
    case PictureFault::OtherSize:
        std::printf(kFmtPictureOtherSize, name, label.text, static_cast<unsigned>(result.width),
                    static_cast<unsigned>(result.height), static_cast<unsigned>(kPictureWidth),
                    static_cast<unsigned>(height));
        return;
    case PictureFault::EndsEarly:
        std::printf(kFmtPictureEndsEarly, name, label.text);
        return;
    case PictureFault::Damaged:
        std::printf(kFmtPictureDamaged, name, label.text, result.reason);
        return;
    case PictureFault::OutOfMemory:
        std::printf(kFmtPictureOutOfMemory, name, label.text);
        return;
    }
}

// Reads and checks the picture; prints only when `name` is not null.
bool readSheets(const PictureSource& source, const char* name, PictureSheet* sheets, std::uint32_t count)
{
    assert(count > 0);
    const std::uint32_t height = sheetPictureHeight(sheets, count);
    DecodedPicture picture;
    const PictureReadResult result = readPicture(source, kPictureWidth, height, picture);
    if (result.fault != PictureFault::None) {
        if (name != nullptr) {
            printReadFault(result, name, sheetsLabel(sheets, count), height);
        }
        return false;
    }
    IndexColours colours;
    const bool indexed =
        picture.layout == PixelLayout::PackedIndices || picture.layout == PixelLayout::Indices;
    if (indexed) {
        colours = indexColoursOf(picture);
        if (colours.byIndex && name != nullptr) {
            std::printf(kFmtPictureReadByIndex, name);
        }
    }
    Refusals refusals;
    refusals.name = name;
    if (sheetsFromPixels(picture, colours, sheets, count, refusals)) {
        return true;
    }
    if (refusals.count > 1 && name != nullptr) {
        std::printf(kFmtMorePixelsRefused, static_cast<unsigned>(refusals.count - 1), name,
                    static_cast<unsigned>(refusals.lastX), static_cast<unsigned>(refusals.lastY));
    }
    return false;
}

}  // namespace

std::uint32_t sheetPictureHeight(const PictureSheet* sheets, std::uint32_t count)
{
    std::uint32_t height = 0;
    for (std::uint32_t n = 0; n < count; ++n) {
        height += tilePixelRows(sheets[n].length);
    }
    return height;
}

bool encodeSheetPicture(const char* name, const PictureSheet* sheets, std::uint32_t count, EncodedPicture& picture)
{
    assert(count > 0);
    const std::uint32_t height = sheetPictureHeight(sheets, count);
    char reason[kPictureReasonSize];
    std::snprintf(reason, sizeof reason, "%s", kReasonOutOfMemory);
    auto* packed = static_cast<std::uint8_t*>(std::calloc(height, kPackedRowBytes));
    bool written = false;
    if (packed != nullptr) {
        std::uint32_t y = 0;
        for (std::uint32_t n = 0; n < count; ++n) {
            tilesToPackedPixels(sheets[n].bytes, sheets[n].length, packed + std::size_t{y} * kPackedRowBytes);
            y += tilePixelRows(sheets[n].length);
        }
        written = encodePackedPicture(packed, kPictureWidth, height, kSheetPalette, kPaletteSize, picture, reason);
        std::free(packed);
    }
    if (!written) {
        std::printf(kFmtPictureNotWritten, name, sheetsLabel(sheets, count).text, reason);
    }
    return written;
}

bool readSheetPicture(std::FILE* file, const char* name, PictureSheet* sheets, std::uint32_t count)
{
    PictureSource source;
    source.file = file;
    return readSheets(source, name, sheets, count);
}

bool readSheetPicture(const PictureSource& source, const char* name, PictureSheet* sheets, std::uint32_t count)
{
    return readSheets(source, name, sheets, count);
}

bool readSheetPictureQuietly(const PictureSource& source, PictureSheet* sheets, std::uint32_t count)
{
    return readSheets(source, nullptr, sheets, count);
}
