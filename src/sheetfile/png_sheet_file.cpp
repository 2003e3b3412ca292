#include "sheetfile/png_sheet_file.h"

#include <png.h>
#include <zlib.h>

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "codec/tile_pixels.h"

// libpng reports errors through onPngError, which records the text and jumps
// back to the setjmp in the one function per direction that talks to libpng
// (writeWithLibpng, readWithLibpng). Those functions keep nothing in locals
// that the jump could leave stale: everything that outlives it is in a
// PngCall owned by their caller, which frees it on every path. No C++ object
// with a destructor lives in a frame that a jump crosses.

const PaletteColour kSheetPalette[kPaletteSize] = {
    {0x00, 0x00, 0x00}, {0x24, 0x24, 0x24}, {0x49, 0x49, 0x49}, {0x6D, 0x6D, 0x6D},
    {0x92, 0x92, 0x92}, {0xB6, 0xB6, 0xB6}, {0xDB, 0xDB, 0xDB}, {0xFF, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x80, 0x00}, {0xFF, 0xFF, 0x00}, {0x00, 0xFF, 0x00},
    {0x00, 0xFF, 0xFF}, {0x00, 0x00, 0xFF}, {0x80, 0x00, 0xFF}, {0xFF, 0x00, 0xFF},
};

namespace {

// Written pictures are stored without compression (deflate level 0): the
// tool's own pictures are read back and written again often, and measured on
// the sample ROM, level 1 (with run-length matches) made an extraction to one
// combined picture 3.6 times as long as one to the raw combined file, level 0
// 1.9 times; reading them back costs less too. The files are larger (all
// sheets of a ROM: 494 KB against 187 KB at level 1); an image editor
// compresses a picture again when it saves it.
constexpr int kWriteCompressionLevel = 0;
constexpr int kWriteCompressionStrategy = Z_DEFAULT_STRATEGY;

// The signature, then the IHDR chunk's length, type, width and height.
constexpr std::uint32_t kSignatureSize = 8;
constexpr std::uint32_t kHeaderPrefixSize = 24;

// What the callbacks and the libpng-facing functions share.
struct PngCall {
    std::FILE* file = nullptr;
    EncodedPicture* memory = nullptr;  // writing into memory instead of `file`
    png_structp png = nullptr;
    png_infop info = nullptr;
    // Reading: the first bytes of the file, read before libpng starts and
    // handed to it again from kSignatureSize on.
    std::uint8_t prefix[kHeaderPrefixSize] = {};
    std::uint32_t prefixLength = 0;
    std::uint32_t prefixServed = 0;
    bool fileEndedEarly = false;  // the file ran out while libpng read
    bool fileReadFailed = false;
    bool outOfMemory = false;
    // Reading: the decoded picture, rows back to back, and their pointers.
    std::uint8_t* image = nullptr;
    png_bytep* rows = nullptr;
    std::uint32_t rowBytes = 0;
    bool sixteenBits = false;
    bool indexed = false;
    char message[128] = {};  // the text of libpng's error
};

// The "GFX 0x21" or "GFX 0x00 to 0xDE" of a message about a whole picture.
struct SheetsLabel {
    char text[32];
};

SheetsLabel sheetsLabel(const PictureSheet* sheets, std::uint32_t count)
{
    SheetsLabel label{};
    if (count == 1) {
        std::snprintf(label.text, sizeof label.text, "GFX 0x%02X", static_cast<unsigned>(sheets[0].sheet));
    } else {
        std::snprintf(label.text, sizeof label.text, "GFX 0x%02X to 0x%02X", static_cast<unsigned>(sheets[0].sheet),
                      static_cast<unsigned>(sheets[count - 1].sheet));
    }
    return label;
}

PngCall& callOf(png_structp png)
{
    return *static_cast<PngCall*>(png_get_error_ptr(png));
}

void onPngError(png_structp png, png_const_charp text)
{
    PngCall& call = callOf(png);
    std::snprintf(call.message, sizeof call.message, "%s", text != nullptr ? text : "");
    png_longjmp(png, 1);
}

// Warnings are about things libpng repairs or skips (a bad ancillary chunk);
// the picture's pixels decide.
void onPngWarning(png_structp, png_const_charp) {}

void writeBytes(png_structp png, png_bytep data, png_size_t length)
{
    PngCall& call = *static_cast<PngCall*>(png_get_io_ptr(png));
    if (call.memory != nullptr) {
        EncodedPicture& picture = *call.memory;
        if (length > picture.capacity - picture.length) {
            std::size_t capacity = picture.capacity < 0x10000 ? 0x10000 : picture.capacity;
            while (length > capacity - picture.length) {
                capacity *= 2;
            }
            void* grown = std::realloc(picture.bytes, capacity);
            if (grown == nullptr) {
                png_error(png, "not enough memory");
            }
            picture.bytes = static_cast<std::uint8_t*>(grown);
            picture.capacity = capacity;
        }
        std::memcpy(picture.bytes + picture.length, data, length);
        picture.length += length;
        return;
    }
    if (std::fwrite(data, 1, length, call.file) != length) {
        png_error(png, "the file system refused the data");
    }
}

void flushBytes(png_structp png)
{
    PngCall& call = *static_cast<PngCall*>(png_get_io_ptr(png));
    if (call.memory == nullptr && std::fflush(call.file) != 0) {
        png_error(png, "the file system refused the data");
    }
}

// Serves the prefix bytes not yet served, then the file.
void readBytes(png_structp png, png_bytep data, png_size_t length)
{
    PngCall& call = *static_cast<PngCall*>(png_get_io_ptr(png));
    std::size_t done = 0;
    while (done < length && call.prefixServed < call.prefixLength) {
        data[done++] = call.prefix[call.prefixServed++];
    }
    if (done < length && std::fread(data + done, 1, length - done, call.file) != length - done) {
        call.fileReadFailed = std::ferror(call.file) != 0;
        call.fileEndedEarly = !call.fileReadFailed;
        png_error(png, "the file ends early");
    }
}

// Whole tile rows: 8 pixel rows of 4-bit indices, two pixels to a byte with
// the left one in the high half.
bool writeWithLibpng(PngCall& call, const PictureSheet* sheets, std::uint32_t count)
{
    png_structp png = call.png;
    png_infop info = call.info;
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, &call, writeBytes, flushBytes);
    png_set_IHDR(png, info, kPictureWidth, sheetPictureHeight(sheets, count), 4, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[kPaletteSize];
    for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
        palette[index] = png_color{kSheetPalette[index].red, kSheetPalette[index].green, kSheetPalette[index].blue};
    }
    png_set_PLTE(png, info, palette, kPaletteSize);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, kWriteCompressionLevel);
    png_set_compression_strategy(png, kWriteCompressionStrategy);
    png_write_info(png, info);

    constexpr std::uint32_t bandBytes = kTilesPerPictureRow * kTileBytes;
    std::uint8_t band[kTileSide * kPictureWidth];
    std::uint8_t row[kPictureWidth / 2];
    for (std::uint32_t n = 0; n < count; ++n) {
        const PictureSheet& sheet = sheets[n];
        for (std::uint32_t start = 0; start < sheet.length; start += bandBytes) {
            const std::uint32_t left = sheet.length - start;
            tilesToPixels(sheet.bytes + start, left < bandBytes ? left : bandBytes, band);
            for (std::uint32_t y = 0; y < kTileSide; ++y) {
                const std::uint8_t* line = band + y * kPictureWidth;
                for (std::uint32_t x = 0; x < kPictureWidth / 2; ++x) {
                    row[x] = static_cast<std::uint8_t>(line[2 * x] << 4 | line[2 * x + 1]);
                }
                png_write_row(png, row);
            }
        }
    }
    png_write_end(png, info);
    png_write_flush(png);
    return true;
}

// The picture's IHDR as the file states it, read before libpng sees the file.
// Prints and returns false for a file that is not a PNG, is cut off within
// its first bytes, or has another size than `height`.
bool checkHeader(PngCall& call, const char* name, const SheetsLabel& label, std::uint32_t height)
{
    call.prefixLength = static_cast<std::uint32_t>(std::fread(call.prefix, 1, kHeaderPrefixSize, call.file));
    if (call.prefixLength < kHeaderPrefixSize && std::ferror(call.file) != 0) {
        std::printf("The picture %s, %s: the file could not be read.\n", name, label.text);
        return false;
    }
    const std::uint32_t signatureBytes = call.prefixLength < kSignatureSize ? call.prefixLength : kSignatureSize;
    if (call.prefixLength == 0 || png_sig_cmp(call.prefix, 0, signatureBytes) != 0) {
        std::printf("The picture %s, %s: the file is not a PNG picture.\n", name, label.text);
        return false;
    }
    if (call.prefixLength < kHeaderPrefixSize) {
        std::printf("The picture %s, %s: the file ends early, within its header.\n", name, label.text);
        return false;
    }
    if (std::memcmp(call.prefix + 12, "IHDR", 4) != 0) {
        std::printf("The picture %s, %s: the PNG data is damaged: it does not start with an IHDR chunk.\n", name,
                    label.text);
        return false;
    }
    const auto bigEndian = [&call](std::uint32_t at) {
        return std::uint32_t{call.prefix[at]} << 24 | std::uint32_t{call.prefix[at + 1]} << 16 |
               std::uint32_t{call.prefix[at + 2]} << 8 | std::uint32_t{call.prefix[at + 3]};
    };
    const std::uint32_t width = bigEndian(16);
    const std::uint32_t foundHeight = bigEndian(20);
    if (width != kPictureWidth || foundHeight != height) {
        std::printf("The picture %s, %s: it is %u x %u pixels, but it must be %u x %u.\n", name, label.text,
                    static_cast<unsigned>(width), static_cast<unsigned>(foundHeight),
                    static_cast<unsigned>(kPictureWidth), static_cast<unsigned>(height));
        return false;
    }
    call.prefixServed = kSignatureSize;
    return true;
}

// Decodes the whole picture into call.image: one byte per pixel (the index)
// for indexed pictures, else RGBA at the file's sample size. The size has been
// checked against `height` already, and libpng is held to it.
bool readWithLibpng(PngCall& call, std::uint32_t height)
{
    png_structp png = call.png;
    png_infop info = call.info;
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, &call, readBytes);
    png_set_sig_bytes(png, kSignatureSize);
    png_set_user_limits(png, kPictureWidth, height);
    png_read_info(png, info);
    if (png_get_image_width(png, info) != kPictureWidth || png_get_image_height(png, info) != height) {
        png_error(png, "the picture's size changed");
    }
    const png_byte colourType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    call.indexed = colourType == PNG_COLOR_TYPE_PALETTE;
    call.sixteenBits = bitDepth == 16;
    if (call.indexed) {
        png_set_packing(png);  // the file's palette and transparency are not used
    } else {
        const bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
        const bool hasTransparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        if (hasTransparentColour) {
            png_set_tRNS_to_alpha(png);
        }
        if (bitDepth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_gray_to_rgb(png);
        }
        if (!hasAlpha && !hasTransparentColour) {
            png_set_filler(png, call.sixteenBits ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
        }
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const std::uint32_t pixelBytes = call.indexed ? 1 : (call.sixteenBits ? 8 : 4);
    call.rowBytes = kPictureWidth * pixelBytes;
    if (png_get_rowbytes(png, info) != call.rowBytes) {
        png_error(png, "unexpected row layout");
    }
    call.image = static_cast<std::uint8_t*>(std::malloc(std::size_t{call.rowBytes} * height));
    call.rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (call.image == nullptr || call.rows == nullptr) {
        call.outOfMemory = true;
        png_error(png, "not enough memory");
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        call.rows[y] = call.image + std::size_t{y} * call.rowBytes;
    }
    png_read_image(png, call.rows);
    png_read_end(png, nullptr);
    return true;
}

// The palette index of the RGBA pixel at `pixel`, or -1 when its colour is
// none of the palette's. Sixteen-bit samples match the 8-bit sample c exactly
// when they equal c * 257 (the same byte twice).
int paletteIndexOf(const std::uint8_t* pixel, bool sixteenBits)
{
    std::uint8_t rgb[3];
    for (std::uint32_t channel = 0; channel < 3; ++channel) {
        if (sixteenBits) {
            if (pixel[2 * channel] != pixel[2 * channel + 1]) {
                return -1;
            }
            rgb[channel] = pixel[2 * channel];
        } else {
            rgb[channel] = pixel[channel];
        }
    }
    for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
        const PaletteColour& colour = kSheetPalette[index];
        if (colour.red == rgb[0] && colour.green == rgb[1] && colour.blue == rgb[2]) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

// Whether a row of an indexed picture (one byte per pixel) passes every check
// at once: all indices below 16, below 8 in a 3-bit sheet, and the row lies
// within the sheet's tiles. A row that does not is checked pixel by pixel.
bool indexedRowIsClean(const std::uint8_t* row, const PictureSheet& sheet, std::uint32_t sheetRow)
{
    const std::uint32_t tilesBelow = (sheetRow / kTileSide + 1) * kTilesPerPictureRow;
    if (tilesBelow > sheet.length / kTileBytes) {
        return false;
    }
    std::uint64_t any = 0;
    for (std::uint32_t x = 0; x < kPictureWidth; x += 8) {
        std::uint64_t word;
        std::memcpy(&word, row + x, sizeof word);
        any |= word;
    }
    const std::uint64_t refused = sheet.threeBitsPerPixel ? 0xF8F8F8F8F8F8F8F8ULL : 0xF0F0F0F0F0F0F0F0ULL;
    return (any & refused) == 0;
}

// The start of a refusal that names a pixel; its printer ends the line.
void printPixelPlace(const char* name, std::uint32_t sheet, std::uint32_t x, std::uint32_t y)
{
    std::printf("The picture %s, GFX 0x%02X: the pixel at x %u, y %u ", name, static_cast<unsigned>(sheet),
                static_cast<unsigned>(x), static_cast<unsigned>(y));
}

// Turns every pixel of call.image into its colour index in place (one byte
// per pixel, rows of 128 bytes from the start of the image) and checks each
// against the sheet it lies in. Prints the first refused pixel in reading
// order and returns false.
bool indexPixels(PngCall& call, const char* name, const PictureSheet* sheets, std::uint32_t count)
{
    const std::uint32_t pixelBytes = call.rowBytes / kPictureWidth;  // as readWithLibpng laid the rows out
    const std::uint32_t opaque = call.sixteenBits ? 0xFFFF : 0xFF;
    std::uint32_t y = 0;
    for (std::uint32_t n = 0; n < count; ++n) {
        const PictureSheet& sheet = sheets[n];
        const std::uint32_t tiles = sheet.length / kTileBytes;
        const std::uint32_t end = y + tilePixelRows(sheet.length);
        for (std::uint32_t sheetRow = 0; y < end; ++y, ++sheetRow) {
            const std::uint8_t* source = call.image + std::size_t{y} * call.rowBytes;
            std::uint8_t* indices = call.image + std::size_t{y} * kPictureWidth;
            if (call.indexed && indexedRowIsClean(source, sheet, sheetRow)) {
                continue;  // its indices are in place already
            }
            for (std::uint32_t x = 0; x < kPictureWidth; ++x) {
                const std::uint8_t* pixel = source + x * pixelBytes;
                std::uint32_t colour = pixel[0];
                if (!call.indexed) {
                    const std::uint32_t alpha = call.sixteenBits ? std::uint32_t{pixel[6]} << 8 | pixel[7] : pixel[3];
                    if (alpha != opaque) {
                        printPixelPlace(name, sheet.sheet, x, y);
                        std::printf("is %s (alpha %u of %u); every pixel must be opaque.\n",
                                    alpha == 0 ? "transparent" : "partly transparent", static_cast<unsigned>(alpha),
                                    static_cast<unsigned>(opaque));
                        return false;
                    }
                    const int index = paletteIndexOf(pixel, call.sixteenBits);
                    if (index < 0) {
                        printPixelPlace(name, sheet.sheet, x, y);
                        if (call.sixteenBits) {
                            std::printf("has the colour #%02X%02X%02X%02X%02X%02X, which is none of the 16 colours "
                                        "of the palette.\n",
                                        pixel[0], pixel[1], pixel[2], pixel[3], pixel[4], pixel[5]);
                        } else {
                            std::printf("has the colour #%02X%02X%02X, which is none of the 16 colours of the "
                                        "palette.\n",
                                        pixel[0], pixel[1], pixel[2]);
                        }
                        return false;
                    }
                    colour = static_cast<std::uint32_t>(index);
                } else if (colour >= kPaletteSize) {
                    printPixelPlace(name, sheet.sheet, x, y);
                    std::printf("has colour %u; only colours 0 to 15 exist.\n", static_cast<unsigned>(colour));
                    return false;
                }
                const std::uint32_t tile = sheetRow / kTileSide * kTilesPerPictureRow + x / kTileSide;
                if (tile >= tiles && colour != 0) {
                    printPixelPlace(name, sheet.sheet, x, y);
                    std::printf("has colour %u, but it lies past the sheet's last tile, so it must be colour 0.\n",
                                static_cast<unsigned>(colour));
                    return false;
                }
                if (sheet.threeBitsPerPixel && colour >= 8) {
                    printPixelPlace(name, sheet.sheet, x, y);
                    std::printf("has colour %u; the game keeps 3 bits per pixel there, so only colours 0 to 7.\n",
                                static_cast<unsigned>(colour));
                    return false;
                }
                // Pixel p's index goes to byte p, at or before its own first byte.
                indices[x] = static_cast<std::uint8_t>(colour);
            }
        }
    }
    return true;
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

namespace {

// Writes the picture through `call`, to its file or into its memory. False
// after printing one line.
bool writePicture(PngCall& call, const char* name, const PictureSheet* sheets, std::uint32_t count)
{
    assert(count > 0);
    call.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &call, onPngError, onPngWarning);
    if (call.png != nullptr) {
        call.info = png_create_info_struct(call.png);
    }
    if (call.info == nullptr) {
        std::snprintf(call.message, sizeof call.message, "not enough memory");
    }
    const bool written = call.info != nullptr && writeWithLibpng(call, sheets, count);
    if (!written) {
        std::printf("Couldn't write the picture %s, %s: %s.\n", name, sheetsLabel(sheets, count).text, call.message);
    }
    png_destroy_write_struct(&call.png, &call.info);
    return written;
}

}  // namespace

bool writeSheetPicture(std::FILE* file, const char* name, const PictureSheet* sheets, std::uint32_t count)
{
    PngCall call;
    call.file = file;
    return writePicture(call, name, sheets, count);
}

EncodedPicture::~EncodedPicture()
{
    std::free(bytes);
}

bool encodeSheetPicture(const char* name, const PictureSheet* sheets, std::uint32_t count, EncodedPicture& picture)
{
    PngCall call;
    call.memory = &picture;
    picture.length = 0;
    return writePicture(call, name, sheets, count);
}

bool readSheetPicture(std::FILE* file, const char* name, PictureSheet* sheets, std::uint32_t count)
{
    assert(count > 0);
    const SheetsLabel label = sheetsLabel(sheets, count);
    const std::uint32_t height = sheetPictureHeight(sheets, count);
    PngCall call;
    call.file = file;
    if (!checkHeader(call, name, label, height)) {
        return false;
    }
    call.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &call, onPngError, onPngWarning);
    if (call.png != nullptr) {
        call.info = png_create_info_struct(call.png);
    }
    bool read = false;
    call.outOfMemory = call.info == nullptr;
    if (call.outOfMemory || !readWithLibpng(call, height)) {
        if (call.outOfMemory) {
            std::printf("The picture %s, %s: there is not enough memory to read it.\n", name, label.text);
        } else if (call.fileReadFailed) {
            std::printf("The picture %s, %s: the file could not be read.\n", name, label.text);
        } else if (call.fileEndedEarly) {
            std::printf("The picture %s, %s: the file ends early; it was cut off or not saved completely.\n", name,
                        label.text);
        } else {
            std::printf("The picture %s, %s: the PNG data is damaged: %s.\n", name, label.text, call.message);
        }
    } else if (indexPixels(call, name, sheets, count)) {
        std::uint32_t y = 0;
        for (std::uint32_t n = 0; n < count; ++n) {
            pixelsToTiles(call.image + std::size_t{y} * kPictureWidth, sheets[n].length, sheets[n].bytes);
            y += tilePixelRows(sheets[n].length);
        }
        read = true;
    }
    png_destroy_read_struct(&call.png, &call.info, nullptr);
    std::free(call.rows);
    std::free(call.image);
    return read;
}
