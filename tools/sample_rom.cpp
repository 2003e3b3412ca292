#include "sample_rom.h"

#include <algorithm>
#include <cstring>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "random_source.h"
#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"

namespace {

// One 8x8 tile of colour indices, drawn in one of a few styles that graphics
// sheets show: empty tiles, solid blocks, gradients, outlines, stripes, noise.
void drawTile(Xorshift32& random, std::uint8_t pixels[8][8], std::uint32_t colours)
{
    const std::uint32_t style = random.below(8);
    const auto colour = [&]() { return static_cast<std::uint8_t>(random.below(colours)); };
    const std::uint8_t a = colour();
    const std::uint8_t b = colour();
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 8; ++x) {
            std::uint8_t value = 0;
            switch (style) {
            case 0:
            case 1:
                value = 0;
                break;
            case 2:
                value = a;
                break;
            case 3:
                value = static_cast<std::uint8_t>((y * colours) / 8);
                break;
            case 4:
                value = (x == 0 || y == 0 || x == 7 || y == 7) ? a : b;
                break;
            case 5:
                value = (y % 2 == 0) ? a : b;
                break;
            case 6:
                value = (x + y < 8) ? a : 0;
                break;
            default:
                value = random.below(4) == 0 ? colour() : a;
                break;
            }
            pixels[y][x] = value;
        }
    }
}

// 4bpp planar tile: rows of planes 0 and 1, then rows of planes 2 and 3.
void storeTile(const std::uint8_t pixels[8][8], std::uint8_t* tile)
{
    for (std::uint32_t y = 0; y < 8; ++y) {
        std::uint8_t planes[4] = {};
        for (std::uint32_t x = 0; x < 8; ++x) {
            for (std::uint32_t plane = 0; plane < 4; ++plane) {
                planes[plane] = static_cast<std::uint8_t>(planes[plane] | ((pixels[y][x] >> plane) & 1) << (7 - x));
            }
        }
        tile[2 * y] = planes[0];
        tile[2 * y + 1] = planes[1];
        tile[16 + 2 * y] = planes[2];
        tile[17 + 2 * y] = planes[3];
    }
}

}  // namespace

std::vector<std::uint8_t> sampleSheet(std::uint32_t sheet, const RomLayout& layout, std::uint32_t seed)
{
    Xorshift32 random{seed * 0x9E3779B9u + sheet * 0x85EBCA6Bu + 1};
    if (sheetStorage(sheet) == SheetStorage::FixedOffset) {
        std::vector<std::uint8_t> bytes(sheetSize(sheet, layout));
        for (std::uint8_t& byte : bytes) {
            byte = random.byte();
        }
        return bytes;
    }
    // Sheets the game keeps as 3bpp tiles use eight colours, so plane 3 stays zero.
    const bool threeBits = sheetStorage(sheet) == SheetStorage::Raw3bpp || sheetCodecType(sheet) == LzSheet3bpp;
    std::vector<std::uint8_t> bytes(kRaw4bppSheetSize);
    std::uint8_t pixels[8][8];
    for (std::uint32_t tile = 0; tile < 64; ++tile) {
        // Repeat an earlier tile now and then, as sheets do.
        if (tile > 0 && random.below(5) == 0) {
            const std::uint32_t earlier = random.below(tile);
            std::copy_n(bytes.begin() + earlier * 32, 32, bytes.begin() + tile * 32);
            continue;
        }
        drawTile(random, pixels, threeBits ? 8 : 16);
        storeTile(pixels, bytes.data() + tile * 32);
    }
    return bytes;
}

std::uint32_t buildSampleRom(const SampleRomOptions& options, std::vector<std::uint8_t>& image)
{
    const RomLayout& layout = options.version == RomVersion::Us ? kUsLayout : kJapanLayout;
    const std::uint32_t header = options.copierHeader ? kCopierHeaderSize : 0;
    image.assign(header + options.imageSize, 0);
    std::copy_n(layout.title, kRomTitleLength, image.begin() + header + kTitleOffset);
    image[header + kDestinationCodeOffset] = options.version == RomVersion::Us ? 1 : 0;
    image[header + kRomSizeCodeOffset] = 10;

    for (const std::uint32_t sheet : {0xDDu, 0xDEu}) {
        const std::vector<std::uint8_t> bytes = sampleSheet(sheet, layout, options.seed);
        std::copy(bytes.begin(), bytes.end(), image.begin() + header + fixedSheetOffset(sheet));
    }

    // Raw sheets first, from 0x87000, then every compressed sheet after them.
    PcOffset position = 0x87000;
    std::vector<std::uint8_t> encoded(kCodecBufferSize);
    for (std::uint32_t sheet = 0x73; sheet <= 0x7E; ++sheet) {
        std::vector<std::uint8_t> bytes = sampleSheet(sheet, layout, options.seed);
        // 4bpp to 3bpp by hand, apart from the library's conversion, so that
        // extraction is checked against a second implementation: rows of
        // planes 0 and 1, then the plane 2 rows.
        for (std::uint32_t tile = 0; tile < 64; ++tile) {
            std::uint8_t* out = image.data() + header + position + tile * 24;
            std::copy_n(bytes.begin() + tile * 32, 16, out);
            for (std::uint32_t row = 0; row < 8; ++row) {
                out[16 + row] = bytes[tile * 32 + 16 + 2 * row];
            }
        }
        writeSheetPointer(image.data(), header, layout, sheet, position);
        position += kRaw3bppSheetSize;
    }
    for (std::uint32_t sheet = 0; sheet < 0xDD; ++sheet) {
        if (sheetStorage(sheet) != SheetStorage::Compressed) {
            continue;
        }
        std::vector<std::uint8_t> bytes = sampleSheet(sheet, layout, options.seed);
        EncodeContext context;
        startEncode(context, bytes.data(), static_cast<std::uint32_t>(bytes.size()), sheetCodecType(sheet),
                    encoded.data());
        encodeLzSheet(context);
        if (!context.ok || position + context.outputLength > layout.protectedBoundary) {
            return 0;
        }
        std::copy_n(encoded.begin(), context.outputLength, image.begin() + header + position);
        writeSheetPointer(image.data(), header, layout, sheet, position);
        position += context.outputLength;
    }
    // As insertion leaves them: the fixed sheets' entries copy 0x71 and 0x72's.
    const PointerTables tables = pointerTables(layout);
    for (const PcOffset table : {tables.bank, tables.high, tables.low}) {
        image[header + table + 0xDD] = image[header + table + 0x71];
        image[header + table + 0xDE] = image[header + table + 0x72];
    }
    return header + position;
}
