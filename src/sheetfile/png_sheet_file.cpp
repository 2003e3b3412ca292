#include "sheetfile/png_sheet_file.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "codec/tile_pixels.h"
#include "platform/output.h"
#include "sheetfile/png_picture_messages.h"
#include "sheetfile/png_sheet_colours.h"
#include "sheetfile/sheetfile_messages.h"

namespace {

// The "GFX 0x21" or "GFX 0x00 to 0xDE" of a message about a whole picture.
struct SheetsLabel {
    char text[32];
};

SheetsLabel sheetsLabel(std::uint32_t first, std::uint32_t last, std::uint32_t count)
{
    SheetsLabel label{};
    if (count == 1) {
        std::snprintf(label.text, sizeof label.text, kFmtPictureOneSheet, static_cast<unsigned>(first));
    } else {
        std::snprintf(label.text, sizeof label.text, kFmtPictureSheets, static_cast<unsigned>(first),
                      static_cast<unsigned>(last));
    }
    return label;
}

void printReadFault(const SheetPictureRecord& record, const char* name)
{
    const PictureReadResult& fault = record.fault;
    const SheetsLabel label = sheetsLabel(record.firstSheet, record.lastSheet, record.sheetCount);
    switch (fault.fault) {
    case PictureFault::None:
        return;
    case PictureFault::CannotRead:
        printError(kFmtPictureUnreadable, name, label.text);
        return;
    case PictureFault::NotPng:
        printError(kFmtPictureNotPng, name, label.text);
        return;
    case PictureFault::EndsInHeader:
        printError(kFmtPictureEndsInHeader, name, label.text);
        return;
    case PictureFault::OtherSize:
        printError(kFmtPictureOtherSize, name, label.text, static_cast<unsigned>(fault.width),
                    static_cast<unsigned>(fault.height), static_cast<unsigned>(kPictureWidth),
                    static_cast<unsigned>(record.height));
        return;
    case PictureFault::EndsEarly:
        printError(kFmtPictureEndsEarly, name, label.text);
        return;
    case PictureFault::Damaged:
        printError(kFmtPictureDamaged, name, label.text, fault.reason);
        return;
    case PictureFault::OutOfMemory:
        printError(kFmtPictureOutOfMemory, name, label.text);
        return;
    }
}

// The line of a refused pixel: its place, then why.
void printRefusedPixel(const RefusedPixel& pixel, const char* name)
{
    printError(kFmtPixelPlace, name, static_cast<unsigned>(pixel.sheet), static_cast<unsigned>(pixel.x),
                static_cast<unsigned>(pixel.y));
    const std::uint8_t* c = pixel.colour;
    const unsigned value = static_cast<unsigned>(pixel.value);
    switch (pixel.why) {
    case PixelRefusal::None:
        return;
    case PixelRefusal::Transparent:
        printError(kFmtPixelTransparent, value == 0 ? kMsgTransparent : kMsgPartlyTransparent, value,
                    static_cast<unsigned>(pixel.alphaMax));
        return;
    case PixelRefusal::OffPalette:
        printError(kFmtPixelOffPalette, c[0], c[1], c[2]);
        return;
    case PixelRefusal::OffPalette16:
        printError(kFmtPixelOffPalette16, c[0], c[1], c[2], c[3], c[4], c[5]);
        return;
    case PixelRefusal::IndexTooHigh:
        printError(kFmtPixelIndexTooHigh, value);
        return;
    case PixelRefusal::NoPaletteEntry:
        printError(kFmtPixelNoPaletteEntry, value);
        return;
    case PixelRefusal::PastLastTile:
        printError(kFmtPixelPastLastTile, value);
        return;
    case PixelRefusal::ThreeBits:
        printError(kFmtPixelThreeBits, value);
        return;
    }
}

// Counts a refused pixel at x, y of `sheet`, placing the last one. True when
// it is the first, whose reason and values the caller then records.
bool countsFirstRefusal(SheetPictureRecord& record, std::uint32_t sheet, std::uint32_t x, std::uint32_t y)
{
    if (record.firstRefused.why == PixelRefusal::None) {
        record.firstRefused.sheet = sheet;
        record.firstRefused.x = x;
        record.firstRefused.y = y;
        return true;
    }
    ++record.moreRefused;
    record.lastRefusedX = x;
    record.lastRefusedY = y;
    return false;
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

// Checks each code of a row that is not clean, in order, recording every
// refused pixel (a pixel counts once, for the first rule it breaks).
void checkRowPixels(const DecodedPicture& picture, const std::uint8_t* codes, const RowPlace& place,
                    SheetPictureRecord& record)
{
    const std::uint32_t sheet = place.sheet->sheet;
    RefusedPixel& first = record.firstRefused;
    for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
        const std::uint8_t code = codes[x];
        if ((code & kRefusedMarks) != 0) {
            if (countsFirstRefusal(record, sheet, x, place.y)) {
                describeMarkedPixel(picture, x, place.y, code, first);
            }
        } else if (x >= place.tileColumns * kTileSide && code != 0) {
            if (countsFirstRefusal(record, sheet, x, place.y)) {
                first.why = PixelRefusal::PastLastTile;
                first.value = code;
            }
        } else if (place.sheet->threeBitsPerPixel && code >= 8) {
            if (countsFirstRefusal(record, sheet, x, place.y)) {
                first.why = PixelRefusal::ThreeBits;
                first.value = code;
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
// one tile row), checking every pixel and recording the refused ones in
// `record`. True when no pixel was refused.
bool sheetsFromPixels(DecodedPicture& picture, IndexColours colours, const PictureSheet* sheets,
                      std::uint32_t count, SheetPictureRecord& record)
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
            const std::uint32_t tileColumns = tiles - first < kTilesPerPictureRow ? tiles - first : kTilesPerPictureRow;
            std::uint8_t* target = sheet.bytes + std::size_t{first} * kTileBytes;
            const std::uint32_t bandLength = tileColumns * kTileBytes;
            const std::uint8_t* packedBand = picture.pixels + std::size_t{y} * picture.rowBytes;
            if (packed && packedBandIsClean(packedBand, sheet, tileColumns)) {
                if (record.firstRefused.why == PixelRefusal::None) {
                    packedPixelsToTiles(packedBand, bandLength, target);
                }
                continue;
            }
            for (std::uint32_t row = 0; row < kTileSide; ++row) {
                std::uint8_t* codes = band + row * kPictureWidth;
                const RowPlace place{&sheet, y + row, tileColumns};
                rowCodes(picture, colours, place.y, codes);
                if (!rowIsClean(codes, place)) {
                    checkRowPixels(picture, codes, place, record);
                }
            }
            if (record.firstRefused.why == PixelRefusal::None) {
                pixelsToTiles(band, bandLength, target);
            }
        }
    }
    return record.firstRefused.why == PixelRefusal::None;
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
        printError(kFmtPictureNotWritten, name, sheetsLabel(sheets[0].sheet, sheets[count - 1].sheet, count).text, reason);
    }
    return written;
}

SheetPictureRecord readSheetPictureRecord(const PictureSource& source, PictureSheet* sheets, std::uint32_t count)
{
    assert(count > 0);
    SheetPictureRecord record;
    record.firstSheet = sheets[0].sheet;
    record.lastSheet = sheets[count - 1].sheet;
    record.sheetCount = count;
    record.height = sheetPictureHeight(sheets, count);
    DecodedPicture picture;
    record.fault = readPicture(source, kPictureWidth, record.height, picture);
    if (record.fault.fault != PictureFault::None) {
        return record;
    }
    IndexColours colours;
    if (picture.layout == PixelLayout::PackedIndices || picture.layout == PixelLayout::Indices) {
        colours = indexColoursOf(picture);
        record.readByIndex = colours.byIndex;
        record.readByColourInOtherOrder = colours.otherOrder;
    }
    record.read = sheetsFromPixels(picture, colours, sheets, count, record);
    return record;
}

void printSheetPictureRecord(const SheetPictureRecord& record, const char* name)
{
    if (record.fault.fault != PictureFault::None) {
        printReadFault(record, name);
        return;
    }
    if (record.readByIndex) {
        printWarning(kFmtPictureReadByIndex, name);
    }
    if (record.readByColourInOtherOrder) {
        printWarning(kFmtPictureReadInOtherOrder, name);
    }
    if (record.firstRefused.why != PixelRefusal::None) {
        printRefusedPixel(record.firstRefused, name);
    }
    if (record.moreRefused > 0) {
        printError(kFmtMorePixelsRefused, static_cast<unsigned>(record.moreRefused), name,
                    static_cast<unsigned>(record.lastRefusedX), static_cast<unsigned>(record.lastRefusedY));
    }
}

bool readSheetPicture(std::FILE* file, const char* name, PictureSheet* sheets, std::uint32_t count)
{
    PictureSource source;
    source.file = file;
    return readSheetPicture(source, name, sheets, count);
}

bool readSheetPicture(const PictureSource& source, const char* name, PictureSheet* sheets, std::uint32_t count)
{
    const SheetPictureRecord record = readSheetPictureRecord(source, sheets, count);
    printSheetPictureRecord(record, name);
    return record.read;
}

bool readSheetPictureQuietly(const PictureSource& source, PictureSheet* sheets, std::uint32_t count)
{
    return readSheetPictureRecord(source, sheets, count).read;
}
