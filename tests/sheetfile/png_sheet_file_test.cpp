// Sheets as PNG pictures: written as the tool's own 4-bit pictures, to the
// bytes libpng writes; read back from the forms image editors save; every
// refusal one line naming the file, the sheet and a pixel's place, its
// record holding what the line says. png_palette_rule_test.cpp tests how an
// indexed picture's palette is read.

#include "sheetfile/png_sheet_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "png_test_support.h"
#include "rom/sheet_catalogue.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

namespace {

TEST(PngSheetFile, RoundTripsSheetsOfEveryCatalogueSizeAloneAndStacked)
{
    TestRandom random(7);
    for (const std::vector<std::uint32_t>& lengths : std::vector<std::vector<std::uint32_t>>{
             {2048}, {4096}, {14400}, {28672}, {2048, 14400, 2048, 28672, 4096}}) {
        std::vector<Bytes> sheets;
        for (std::uint32_t length : lengths) {
            sheets.push_back(randomSheet(random, length));
        }
        const bool viaFile = lengths.size() > 1;
        const ReadOutcome read = readAsSheets(writePicture(layoutOf(sheets)), lengths, false, 0x21, "GFX21.png", viaFile);
        EXPECT_TRUE(read.ok) << read.output;
        EXPECT_EQ(read.output, "");
        EXPECT_EQ(read.sheets, sheets);
    }
    // Sheets kept with 3 bits per pixel come back too when plane 3 is clear.
    std::vector<Bytes> threeBit{randomSheet(random, 2048, 3)};
    const ReadOutcome read = readAsSheets(writePicture(layoutOf(threeBit, true)), {2048}, true);
    EXPECT_TRUE(read.ok) << read.output;
    EXPECT_EQ(read.sheets, threeBit);
}

TEST(PngSheetFile, WritesFourBitIndexedPicturesOfWholeTileRows)
{
    TestRandom random(8);
    const auto dimensions = [](std::vector<std::uint32_t> lengths) {
        std::vector<Bytes> sheets;
        for (std::uint32_t length : lengths) {
            sheets.emplace_back(length, 0x5A);
        }
        const Bytes png = writePicture(layoutOf(sheets));
        EXPECT_EQ(png[24], 4);  // bit depth
        EXPECT_EQ(png[25], PNG_COLOR_TYPE_PALETTE);
        EXPECT_EQ(png[28], PNG_INTERLACE_NONE);
        return std::to_string(bigEndian(png, 16)) + "x" + std::to_string(bigEndian(png, 20));
    };
    EXPECT_EQ(dimensions({2048}), "128x32");
    EXPECT_EQ(dimensions({4096}), "128x64");
    EXPECT_EQ(dimensions({14400}), "128x232");
    EXPECT_EQ(dimensions({28672}), "128x448");
    for (const RomLayout* release : {&kUsLayout, &kJapanLayout}) {
        std::vector<std::uint32_t> lengths;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            lengths.push_back(sheetSize(sheet, *release));
        }
        EXPECT_EQ(dimensions(lengths), release == &kUsLayout ? "128x7584" : "128x7752");
    }

    // Decoded by libpng itself, the indices are the pixels of the planar tiles,
    // and the palette is the tool's.
    std::vector<Bytes> sheets{randomSheet(random, 14400)};
    Bytes png = writePicture(layoutOf(sheets));
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
    image.format = PNG_FORMAT_RGB_COLORMAP;
    Bytes indices(PNG_IMAGE_SIZE(image));
    Bytes colours(PNG_IMAGE_COLORMAP_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, indices.data(), 0, colours.data()));
    ASSERT_EQ(image.colormap_entries, kPaletteSize);
    for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
        EXPECT_EQ(colours[3 * index], kSheetPalette[index].red);
        EXPECT_EQ(colours[3 * index + 2], kSheetPalette[index].blue);
    }
    for (std::uint32_t y = 0; y < 232; ++y) {
        for (std::uint32_t x = 0; x < 128; ++x) {
            ASSERT_EQ(indices[y * 128 + x], pixelOf(sheets[0], x, y)) << "x " << x << ", y " << y;
        }
    }
}

void appendTo(png_structp png, png_bytep data, png_size_t length)
{
    Bytes& out = *static_cast<Bytes*>(png_get_io_ptr(png));
    out.insert(out.end(), data, data + length);
}

// The picture libpng writes of these packed 4-bit rows, uncompressed and
// unfiltered, fed a row at a time. Nothing with a destructor lives in this
// frame across the setjmp.
bool writtenByLibpng(const std::vector<png_bytep>& rows, Bytes* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendTo, nullptr);
    png_set_IHDR(png, info, 128, static_cast<png_uint_32>(rows.size()), 4, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color palette[kPaletteSize];
    for (std::uint32_t k = 0; k < kPaletteSize; ++k) {
        palette[k] = {kSheetPalette[k].red, kSheetPalette[k].green, kSheetPalette[k].blue};
    }
    png_set_PLTE(png, info, palette, kPaletteSize);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 0);
    png_write_info(png, info);
    for (png_bytep row : rows) {
        png_write_row(png, row);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Pictures are put together without libpng, but to the very bytes libpng
// writes of them, so that a picture written either way is left as it is.
TEST(PngSheetFile, PicturesAreTheBytesLibpngWritesUncompressed)
{
    TestRandom random(77);
    // One sheet of each catalogue size, and both combined pictures.
    for (const std::uint32_t height : {32u, 64u, 232u, 448u, 7584u, 7752u}) {
        const Bytes packed = random.bytes(std::size_t{height} * 64);
        std::vector<png_bytep> rows;
        for (std::uint32_t y = 0; y < height; ++y) {
            rows.push_back(const_cast<png_bytep>(packed.data() + std::size_t{y} * 64));
        }
        Bytes expected;
        ASSERT_TRUE(writtenByLibpng(rows, &expected));
        EncodedPicture picture;
        char reason[kPictureReasonSize];
        ASSERT_TRUE(encodePackedPicture(packed.data(), 128, height, kSheetPalette, kPaletteSize, picture, reason));
        EXPECT_EQ(Bytes(picture.bytes, picture.bytes + picture.length), expected) << height << " rows";
    }
}

TEST(PngSheetFile, PaletteIsAGreyRampThenEightPlainlyDifferentHues)
{
    EXPECT_EQ(kSheetPalette[0].red + kSheetPalette[0].green + kSheetPalette[0].blue, 0);
    EXPECT_EQ(kSheetPalette[7].red + kSheetPalette[7].green + kSheetPalette[7].blue, 3 * 255);
    for (std::uint32_t index = 0; index < kPaletteSize; ++index) {
        const PaletteColour& c = kSheetPalette[index];
        const bool grey = c.red == c.green && c.green == c.blue;
        EXPECT_EQ(grey, index < 8) << index;
        if (index > 0 && index < 8) {
            EXPECT_GT(c.red, kSheetPalette[index - 1].red) << index;
        }
        for (std::uint32_t other = 0; other < index; ++other) {
            const PaletteColour& o = kSheetPalette[other];
            EXPECT_FALSE(o.red == c.red && o.green == c.green && o.blue == c.blue) << index << " " << other;
        }
    }
}

TEST(PngSheetFile, ReadsPicturesAsImageEditorsSaveThem)
{
    TestRandom random(9);
    struct Case {
        const char* what;
        Craft craft;
        std::uint32_t planes;  // the sheet uses colours below 2^planes
    };
    const Case cases[] = {
        {"8-bit indexed", {PNG_COLOR_TYPE_PALETTE, 8}, 4},
        {"4-bit indexed, interlaced", {PNG_COLOR_TYPE_PALETTE, 4, true}, 4},
        {"2-bit indexed", {PNG_COLOR_TYPE_PALETTE, 2}, 2},
        {"1-bit indexed", {PNG_COLOR_TYPE_PALETTE, 1}, 1},
        {"RGB", {PNG_COLOR_TYPE_RGB, 8}, 4},
        {"RGB, interlaced", {PNG_COLOR_TYPE_RGB, 8, true}, 4},
        {"RGBA", {PNG_COLOR_TYPE_RGB_ALPHA, 8}, 4},
        {"16-bit RGBA", {PNG_COLOR_TYPE_RGB_ALPHA, 16}, 4},
        {"16-bit grey", {PNG_COLOR_TYPE_GRAY, 16}, 3},
        {"grey+alpha", {PNG_COLOR_TYPE_GRAY_ALPHA, 8}, 3},
        {"1-bit grey", {PNG_COLOR_TYPE_GRAY, 1}, 3},
    };
    for (const Case& c : cases) {
        Bytes sheet = randomSheet(random, 2048, c.planes);
        if (c.craft.colourType == PNG_COLOR_TYPE_GRAY && c.craft.bitDepth == 1) {
            // Black and white only, colours 0 and 7: planes 1 and 2 repeat plane 0.
            for (std::size_t tile = 0; tile < sheet.size(); tile += 32) {
                for (std::size_t r = 0; r < 8; ++r) {
                    sheet[tile + 2 * r + 1] = sheet[tile + 16 + 2 * r] = sheet[tile + 2 * r];
                }
            }
        }
        const Bytes png = craftPng(c.craft, [&](std::uint32_t x, std::uint32_t y, int channel) {
            const std::uint32_t index = pixelOf(sheet, x, y);
            if (c.craft.colourType == PNG_COLOR_TYPE_PALETTE) {
                return index;
            }
            if (c.craft.colourType & PNG_COLOR_MASK_COLOR) {
                return paletteSample(index, channel, c.craft.bitDepth);
            }
            if (channel == 1) {  // alpha
                return (1u << c.craft.bitDepth) - 1;
            }
            return c.craft.bitDepth == 1 ? index / 7 : paletteSample(index, 0, c.craft.bitDepth);
        });
        const ReadOutcome read = readAsSheets(png, {2048}, c.planes < 4);
        EXPECT_TRUE(read.ok) << c.what << ": " << read.output;
        EXPECT_EQ(read.sheets[0], sheet) << c.what;
    }
}

TEST(PngSheetFile, EveryRowFilterOfFourBitPicturesIsUndone)
{
    TestRandom random(43);
    const Bytes sheet = randomSheet(random, 4096);
    for (const int filters : {PNG_FILTER_NONE, PNG_FILTER_SUB, PNG_FILTER_UP, PNG_FILTER_AVG, PNG_FILTER_PAETH,
                              PNG_ALL_FILTERS}) {
        const Bytes png = craftPng({PNG_COLOR_TYPE_PALETTE, 4, false, 128, 64, &kToolPalette, filters},
                             [&](std::uint32_t x, std::uint32_t y, int) { return pixelOf(sheet, x, y); });
        const ReadOutcome read = readAsSheets(png, {4096});
        EXPECT_TRUE(read.ok) << filters << ": " << read.output;
        EXPECT_EQ(read.sheets[0], sheet) << filters;
    }
}

TEST(PngSheetFile, RefusesWithOneLineNamingFileSheetAndPixel)
{
    TestRandom random(10);
    std::vector<Bytes> sheets{randomSheet(random, 2048, 3)};
    const Bytes good = writePicture(layoutOf(sheets));
    // Colour 0 everywhere but at x 17, y 5.
    const auto oddPixel = [](Craft craft, std::uint32_t value, std::uint32_t alpha = 255) {
        craft.palette = &kToolPalette;
        return craftPng(craft, [=](std::uint32_t x, std::uint32_t y, int channel) {
            const bool odd = x == 17 && y == 5;
            return channel == 3 ? (odd ? alpha : 255u) : (odd ? value : 0u);
        });
    };
    Bytes notPng(2048, 0x42);
    Bytes damaged = good;
    damaged[damaged.size() - 20] ^= 0x55;  // inside the image data
    Bytes huge = good;
    huge[16] = huge[20] = 0;
    huge[17] = huge[21] = 0x01;
    huge[18] = huge[22] = 0x86;
    huge[19] = huge[23] = 0xA0;  // 100000 x 100000
    struct Case {
        const char* what;
        Bytes png;
        bool threeBits;
        std::string says;
    };
    const Case cases[] = {
        {"index 16, past the palette", oddPixel({PNG_COLOR_TYPE_PALETTE, 8}, 16), false,
         "pixel at x 17, y 5 has colour 16; only colours 0 to 15 exist"},
        {"not a palette colour", oddPixel({PNG_COLOR_TYPE_RGB, 8}, 3), false, "pixel at x 17, y 5 has the colour #030303"},
        {"16-bit sample not c*257", oddPixel({PNG_COLOR_TYPE_RGB, 16}, 0x0001), false, "#000100010001"},
        {"semi-transparent", oddPixel({PNG_COLOR_TYPE_RGB_ALPHA, 8}, 0, 128), false, "x 17, y 5 is partly transparent"},
        {"transparent", oddPixel({PNG_COLOR_TYPE_RGB_ALPHA, 8}, 0, 0), false, "x 17, y 5 is transparent"},
        {"colour 12 in a 3bpp sheet", oddPixel({PNG_COLOR_TYPE_PALETTE, 4}, 12), true,
         "x 17, y 5 has colour 12; the game keeps 3 bits per pixel"},
        {"wrong width", oddPixel({PNG_COLOR_TYPE_PALETTE, 4, false, 130, 32}, 0), false, "130 x 32 pixels, but it must be 128 x 32"},
        {"wrong height", oddPixel({PNG_COLOR_TYPE_PALETTE, 4, false, 128, 40}, 0), false, "128 x 40 pixels, but it must be 128 x 32"},
        {"huge header", huge, false, "100000 x 100000 pixels"},
        {"truncated", Bytes(good.begin(), good.begin() + long(good.size() / 2)), false, "the file ends early"},
        {"truncated header", Bytes(good.begin(), good.begin() + 5), false, "the file ends early"},
        {"not a PNG", notPng, false, "not a PNG picture"},
        {"empty", Bytes(), false, "not a PNG picture"},
        {"damaged", damaged, false, "the PNG data is damaged"},
    };
    for (const Case& c : cases) {
        const ReadOutcome read = readAsSheets(c.png, {2048}, c.threeBits);
        EXPECT_FALSE(read.ok) << c.what;
        EXPECT_EQ(read.output.rfind("The picture GFX21.png, GFX 0x21: ", 0), 0u) << c.what << ": " << read.output;
        EXPECT_NE(read.output.find(c.says), std::string::npos) << c.what << ": " << read.output;
        EXPECT_EQ(read.output.find('\n'), read.output.size() - 1) << c.what << ": " << read.output;
        EXPECT_EQ(read.output.substr(read.output.size() - 2), ".\n") << c.what;
    }
}

TEST(PngSheetFile, TheRecordHoldsTheFirstRefusedPixelTheCountAndTheLastPlace)
{
    std::vector<Bytes> sheets{Bytes(2048), Bytes(2048)};
    std::vector<PictureSheet> layout = layoutOf(sheets, true, 0x40);
    const auto recordOf = [&](const Bytes& png) {
        PictureSource source;
        source.bytes = png.data();
        source.length = png.size();
        return readSheetPictureRecord(source, layout.data(), 2);
    };
    // 16-bit RGBA: a partly transparent pixel in 0x40, then two of a colour
    // none of the 16 in 0x41, then one of colour 9 where 3 bits are kept.
    const Bytes rgba = craftPng({PNG_COLOR_TYPE_RGB_ALPHA, 16, false, 128, 64},
                                [](std::uint32_t x, std::uint32_t y, int channel) -> std::uint32_t {
                                    if (x == 5 && y == 7) {
                                        return channel == 3 ? 0x8000u : 0u;
                                    }
                                    if ((x == 6 || x == 120) && y == 40) {
                                        return channel == 3 ? 0xFFFFu : 0x1234u;
                                    }
                                    return paletteSample(x == 3 && y == 60 ? 9 : 0, channel, 16);
                                });
    const SheetPictureRecord refused = recordOf(rgba);
    EXPECT_FALSE(refused.read);
    EXPECT_EQ(refused.fault.fault, PictureFault::None);
    EXPECT_EQ(refused.firstSheet, 0x40u);
    EXPECT_EQ(refused.lastSheet, 0x41u);
    EXPECT_EQ(refused.height, 64u);
    EXPECT_EQ(refused.firstRefused.why, PixelRefusal::Transparent);
    EXPECT_EQ(refused.firstRefused.sheet, 0x40u);
    EXPECT_EQ(refused.firstRefused.x, 5u);
    EXPECT_EQ(refused.firstRefused.y, 7u);
    EXPECT_EQ(refused.firstRefused.value, 0x8000u);
    EXPECT_EQ(refused.firstRefused.alphaMax, 0xFFFFu);
    EXPECT_EQ(refused.moreRefused, 3u);
    EXPECT_EQ(refused.lastRefusedX, 3u);
    EXPECT_EQ(refused.lastRefusedY, 60u);
    testing::internal::CaptureStdout();
    printSheetPictureRecord(refused, "Two.png");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "The picture Two.png, GFX 0x40: the pixel at x 5, y 7 is partly transparent (alpha 32768 of 65535); "
              "every pixel must be opaque.\n"
              "3 more pixels of Two.png are refused as well; the last is at x 3, y 60.\n");

    // The first refused pixel in the second sheet, of a colour off the 16.
    const Bytes offPalette = craftPng({PNG_COLOR_TYPE_RGB, 16, false, 128, 64},
                                      [](std::uint32_t x, std::uint32_t y, int channel) -> std::uint32_t {
                                          return x == 6 && y == 40 ? 0x1234u + std::uint32_t(channel)
                                                                   : paletteSample(0, channel, 16);
                                      });
    const SheetPictureRecord one = recordOf(offPalette);
    EXPECT_EQ(one.firstRefused.why, PixelRefusal::OffPalette16);
    EXPECT_EQ(one.firstRefused.sheet, 0x41u);
    EXPECT_EQ(Bytes(one.firstRefused.colour, one.firstRefused.colour + 6),
              (Bytes{0x12, 0x34, 0x12, 0x35, 0x12, 0x36}));
    EXPECT_EQ(one.moreRefused, 0u);
}

TEST(PngSheetFile, AFileThatCannotBeReadKeepsTheSystemsErrorNumber)
{
    // A folder opens as a file here, but reading it fails (EISDIR).
    TempDir dir;
    std::FILE* folder = std::fopen(dir.path().string().c_str(), "rb");
    if (folder == nullptr) {
        GTEST_SKIP() << "a folder does not open as a file here";
    }
    Bytes sheet(2048);
    PictureSheet layout{0x21, sheet.data(), 2048, false};
    PictureSource source;
    source.file = folder;
    const SheetPictureRecord record = readSheetPictureRecord(source, &layout, 1);
    std::fclose(folder);
    EXPECT_FALSE(record.read);
    EXPECT_EQ(record.fault.fault, PictureFault::CannotRead);
    EXPECT_EQ(record.fault.systemError, EISDIR);
    testing::internal::CaptureStdout();
    printSheetPictureRecord(record, "GFX21.png");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "The picture GFX21.png, GFX 0x21: the file could not be read.\n");
}

TEST(PngSheetFile, StackedPicturesNameTheSheetOfAPixelAndItsPlaceInTheWholePicture)
{
    // 0x21 (2048), 0x22 (14400, its last tile row 2 tiles wide), 0x23 (2048).
    std::vector<Bytes> sheets{Bytes(2048), Bytes(14400), Bytes(2048)};
    const std::vector<std::uint32_t> lengths{2048, 14400, 2048};
    ASSERT_EQ(sheetPictureHeight(layoutOf(sheets).data(), 3), 32u + 232u + 32u);
    const auto withPixel = [](std::uint32_t atX, std::uint32_t atY, std::uint32_t colour) {
        return craftPng({PNG_COLOR_TYPE_PALETTE, 4, false, 128, 296, &kToolPalette},
                        [=](std::uint32_t x, std::uint32_t y, int) { return x == atX && y == atY ? colour : 0u; });
    };
    const auto refusal = [&](std::uint32_t x, std::uint32_t y, std::uint32_t colour, bool threeBits) {
        return readAsSheets(withPixel(x, y, colour), lengths, threeBits, 0x21, "All.png").output;
    };
    // The last tile row of 0x22 starts at y 32 + 224; only tiles 0 and 1 exist.
    EXPECT_EQ(refusal(16, 256, 3, false),
              "The picture All.png, GFX 0x22: the pixel at x 16, y 256 has colour 3, but it lies past the sheet's "
              "last tile, so it must be colour 0.\n");
    EXPECT_EQ(refusal(15, 263, 3, false), "");  // inside tile 1
    EXPECT_EQ(refusal(0, 290, 9, true),
              "The picture All.png, GFX 0x23: the pixel at x 0, y 290 has colour 9; the game keeps 3 bits per pixel "
              "there, so only colours 0 to 7.\n");
    // Every refused pixel counts, whatever the rule and the sheet; the last is
    // placed in the whole picture.
    const Bytes several = craftPng({PNG_COLOR_TYPE_PALETTE, 4, false, 128, 296, &kToolPalette},
                                   [](std::uint32_t x, std::uint32_t y, int) {
                                       if (y == 3 && x < 4) {
                                           return 9u;  // colours 8-15 in 3-bit sheets
                                       }
                                       return (x == 127 && y == 256) || (x == 20 && y == 290) ? 10u : 0u;
                                   });
    EXPECT_EQ(readAsSheets(several, lengths, true, 0x21, "All.png").output,
              "The picture All.png, GFX 0x21: the pixel at x 0, y 3 has colour 9; the game keeps 3 bits per pixel "
              "there, so only colours 0 to 7.\n"
              "5 more pixels of All.png are refused as well; the last is at x 20, y 290.\n");
    EXPECT_EQ(readAsSheets(Bytes(3, 0), lengths, false, 0x21, "All.png").output,
              "The picture All.png, GFX 0x21 to 0x23: the file is not a PNG picture.\n");
}

}  // namespace
