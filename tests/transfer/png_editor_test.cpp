// Pictures as image editors save them, through the real binary: a re-save
// that keeps the pixels inserts the ROM the raw sheets insert, whatever the
// editor did to the palette (a reordered one is said with a note); a
// recoloured palette is read by its indices, with a note; a colour off the 16 is refused, every such pixel counted, and
// the ROM is left as it was. The editors are Debian's ImageMagick,
// GraphicsMagick and Python's Pillow, called by their full paths (a tool of
// the same name elsewhere may be something else); a test whose editor is not
// installed is skipped.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "rom/sheet_catalogue.h"
#include "sheetfile/png_sheet_file.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

// Whether `command` runs and succeeds here, its output discarded.
bool commandWorks(const std::string& command)
{
    return std::system((command + " > /dev/null 2>&1").c_str()) == 0;
}

bool haveImageMagick()
{
    return fs::exists("/usr/bin/convert") && commandWorks("/usr/bin/convert -version");
}

bool haveGraphicsMagick()
{
    return fs::exists("/usr/bin/gm") && commandWorks("/usr/bin/gm version");
}

bool havePillow()
{
    return fs::exists("/usr/bin/python3") && commandWorks("/usr/bin/python3 -c 'import PIL.Image'");
}

// The colour of pixel (x, y) of a sheet's planar tiles, 16 tiles to a row.
std::uint32_t pixelOf(const Bytes& sheet, std::uint32_t x, std::uint32_t y)
{
    const std::size_t tile = y / 8 * 16 + x / 8;
    const std::uint8_t* t = sheet.data() + tile * 32;
    const std::uint32_t r = y % 8;
    const std::uint32_t bit = 7 - x % 8;
    const auto plane = [&](std::size_t at) { return std::uint32_t{t[at]} >> bit & 1u; };
    return plane(2 * r) | plane(2 * r + 1) << 1 | plane(16 + 2 * r) << 2 | plane(17 + 2 * r) << 3;
}

void appendBytes(png_structp png, png_bytep data, png_size_t length)
{
    Bytes& out = *static_cast<Bytes*>(png_get_io_ptr(png));
    out.insert(out.end(), data, data + length);
}

// An 8-bit indexed picture of `rows` (one index a byte, 128 a row) with
// `palette`. Nothing with a destructor lives in this frame across the setjmp.
bool encodeIndexed(const std::vector<png_bytep>& rows, const std::vector<png_color>& palette, Bytes* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendBytes, nullptr);
    png_set_IHDR(png, info, 128, static_cast<png_uint_32>(rows.size()), 8, PNG_COLOR_TYPE_PALETTE,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The picture of a 2048-byte sheet in which a pixel of colour c holds index
// indexOf(c, x, y), with `palette`.
template <typename IndexOf>
Bytes handBuilt(const Bytes& sheet, const std::vector<png_color>& palette, const IndexOf& indexOf)
{
    std::vector<Bytes> rows(32, Bytes(128));
    std::vector<png_bytep> pointers;
    for (std::uint32_t y = 0; y < 32; ++y) {
        for (std::uint32_t x = 0; x < 128; ++x) {
            rows[y][x] = static_cast<std::uint8_t>(indexOf(pixelOf(sheet, x, y), x, y));
        }
        pointers.push_back(rows[y].data());
    }
    Bytes out;
    EXPECT_TRUE(encodeIndexed(pointers, palette, &out));
    return out;
}

// The note of a picture read by colour whose palette is in another order.
std::string otherOrderNote(const std::string& name)
{
    return "Note: the palette of " + name + " is in another order than sheetpak's, so its pixels are read by their "
           "colour.\n";
}

png_color toolColour(std::uint32_t index)
{
    return {kSheetPalette[index].red, kSheetPalette[index].green, kSheetPalette[index].blue};
}

// A sample ROM with its sheets extracted as pictures, per sheet and
// combined, and the ROM that inserting the raw sheets gives.
class PngEditors : public TransferTest {
protected:
    SyntheticRom original;
    Bytes viaRawSheets;

    void SetUp() override
    {
        original = sampleRom({});
        original.save(dir / "zelda.smc");
        ASSERT_EQ(run({"100", "zelda.smc", "all.bin"}).exitStatus, 0);
        ASSERT_EQ(run({"120", "zelda.smc", "all.png"}).exitStatus, 0);
        ASSERT_EQ(run({"120", "zelda.smc"}).exitStatus, 0);
        ASSERT_EQ(run({"101", "87000", "zelda.smc", "all.bin"}).exitStatus, 0);
        viaRawSheets = readFile(dir / "zelda.smc");
        original.save(dir / "zelda.smc");
    }

    // Runs `command` in the scratch folder.
    void inFolder(const std::string& command)
    {
        ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && " + command).c_str()), 0) << command;
    }

    // Inserts the pictures, per sheet or from `combined`: the ROM must be
    // the one the raw sheets give, and what the run says must be `says`.
    void insertsAsRawSheets(const char* combined = nullptr, const std::string& says = "Recompressing...Done!\n")
    {
        std::vector<std::string> arguments{"121", "87000", "zelda.smc"};
        if (combined != nullptr) {
            arguments.push_back(combined);
        }
        const RunResult result = run(arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_EQ(afterBanner(result.output).rfind(says, 0), 0u) << result.output;
        EXPECT_EQ(firstDifference(readFile(dir / "zelda.smc"), viaRawSheets), -1);
        original.save(dir / "zelda.smc");
    }
};

TEST_F(PngEditors, ImageMagickReSavesInsertPixelExactly)
{
    if (!haveImageMagick()) {
        GTEST_SKIP() << "ImageMagick is not installed as /usr/bin/convert (Debian's imagemagick)";
    }
    // It reorders the palette of the combined picture and of a 4-bit sheet,
    // and turns a sheet of greys into a grey picture.
    inFolder("/usr/bin/convert all.png all.png && /usr/bin/convert GFX71.png GFX71.png && "
             "/usr/bin/convert GFX21.png GFX21.png && /usr/bin/mogrify GFXDE.png");
    insertsAsRawSheets("all.png", "Recompressing..." + otherOrderNote("all.png") + "Done!\n");
    insertsAsRawSheets(nullptr,
                       "Recompressing..." + otherOrderNote("GFX71.png") + otherOrderNote("GFXDE.png") + "Done!\n");
    // A re-save that keeps every pixel holds no change: extraction replaces
    // it without being told to.
    EXPECT_EQ(afterBanner(run({"120", "zelda.smc"}).output), "Decompressing...Done!\n");
    EXPECT_EQ(afterBanner(run({"120", "zelda.smc", "all.png"}).output), "Decompressing...Done!\n");
}

TEST_F(PngEditors, GraphicsMagickReSavesInsertPixelExactly)
{
    if (!haveGraphicsMagick()) {
        GTEST_SKIP() << "GraphicsMagick is not installed as /usr/bin/gm (Debian's graphicsmagick)";
    }
    inFolder("/usr/bin/gm convert all.png all.png && /usr/bin/gm convert GFX71.png GFX71.png && "
             "/usr/bin/gm mogrify GFX21.png");
    insertsAsRawSheets("all.png");
    insertsAsRawSheets();
}

TEST_F(PngEditors, PillowQuantizedAndTrimmedPalettesInsertPixelExactly)
{
    if (!havePillow()) {
        GTEST_SKIP() << "Pillow is not installed for /usr/bin/python3 (Debian's python3-pil)";
    }
    // An adaptive palette of 16 computed from the colours, in its own order;
    // a sheet redrawn with three colours, then its unused colours removed.
    writeFile(dir / "edit.py", [] {
        const std::string script = "from PIL import Image\n"
                                   "Image.open('all.png').convert('RGB').quantize(16).save('all.png')\n"
                                   "Image.open('GFX71.png').convert('RGB').convert('P', palette=Image.ADAPTIVE, "
                                   "colors=16).save('GFX71.png')\n"
                                   "sheet = Image.open('GFX72.png').point(lambda i: (2, 9, 13)[i % 3])\n"
                                   "sheet.save('GFX72.png')\n"
                                   "sheet.remap_palette(sorted(set(sheet.getdata()), reverse=True))"
                                   ".save('trimmed.png')\n";
        return Bytes(script.begin(), script.end());
    }());
    inFolder("/usr/bin/python3 edit.py");
    ASSERT_EQ(readFile(dir / "trimmed.png")[25], PNG_COLOR_TYPE_PALETTE);
    // The three-colour sheet is an edit: its own ROM, the same from either picture.
    const RunResult drawn = run({"121", "87000", "zelda.smc"});
    ASSERT_EQ(drawn.exitStatus, 0) << drawn.output;
    const Bytes withDrawnSheet = readFile(dir / "zelda.smc");
    EXPECT_NE(withDrawnSheet, viaRawSheets);
    original.save(dir / "zelda.smc");
    fs::rename(dir / "trimmed.png", dir / "GFX72.png");
    // Both palettes are in an order of their own.
    const RunResult trimmed = run({"121", "87000", "zelda.smc"});
    EXPECT_EQ(afterBanner(trimmed.output).rfind(
                  "Recompressing..." + otherOrderNote("GFX71.png") + otherOrderNote("GFX72.png") + "Done!\n", 0),
              0u)
        << trimmed.output;
    EXPECT_EQ(readFile(dir / "zelda.smc"), withDrawnSheet);
    original.save(dir / "zelda.smc");
    insertsAsRawSheets("all.png", "Recompressing..." + otherOrderNote("all.png") + "Done!\n");
}

TEST_F(PngEditors, HandBuiltPalettesAreReadByColourOrByIndexAsTheRulesSay)
{
    const Bytes sheet71 = readFile(dir / "all.bin");
    const Bytes tiles71(sheet71.begin() + combinedFileOffset(0x71, kUsLayout),
                        sheet71.begin() + combinedFileOffset(0x71, kUsLayout) + 2048);
    const Bytes tiles21(sheet71.begin() + combinedFileOffset(0x21, kUsLayout),
                        sheet71.begin() + combinedFileOffset(0x21, kUsLayout) + 2048);

    // Reordered: entry k shows colour 15 - k.
    std::vector<png_color> reversed;
    for (std::uint32_t k = 0; k < 16; ++k) {
        reversed.push_back(toolColour(15 - k));
    }
    writeFile(dir / "GFX71.png", handBuilt(tiles71, reversed, [](std::uint32_t c, auto, auto) { return 15 - c; }));
    // Only the 8 colours a 3-bit sheet uses, odd ones first, and 8 bits a pixel.
    std::vector<png_color> used;
    std::vector<std::uint32_t> indexOf(8);
    for (const std::uint32_t colour : {1u, 3u, 5u, 7u, 0u, 2u, 4u, 6u}) {
        indexOf[colour] = static_cast<std::uint32_t>(used.size());
        used.push_back(toolColour(colour));
    }
    writeFile(dir / "GFX21.png", handBuilt(tiles21, used, [&](std::uint32_t c, auto, auto) { return indexOf[c]; }));
    insertsAsRawSheets(nullptr,
                       "Recompressing..." + otherOrderNote("GFX21.png") + otherOrderNote("GFX71.png") + "Done!\n");
    // Their pixels are the ROM's: extraction replaces them without being told to.
    const Bytes handMade = readFile(dir / "GFX71.png");
    EXPECT_EQ(afterBanner(run({"120", "zelda.smc"}).output), "Decompressing...Done!\n");
    EXPECT_NE(readFile(dir / "GFX71.png"), handMade);

    // Recoloured: every entry another colour, so the index counts, with a note.
    std::vector<png_color> recoloured;
    for (std::uint32_t k = 0; k < 16; ++k) {
        recoloured.push_back({static_cast<png_byte>(16 * k + 5), 0x33, static_cast<png_byte>(255 - 16 * k)});
    }
    writeFile(dir / "GFX71.png", handBuilt(tiles71, recoloured, [](std::uint32_t c, auto, auto) { return c; }));
    insertsAsRawSheets(nullptr, "Recompressing...Note: the palette of GFX71.png is not sheetpak's, so its pixels "
                                "are read by their index.\nDone!\n");

    // An entry of another colour in use, beside indices past 16: refused by
    // its colour, every such pixel counted; the ROM is left as it was.
    std::vector<png_color> withGrey;
    for (std::uint32_t k = 0; k < 16; ++k) {
        withGrey.push_back(toolColour(k));
    }
    withGrey.push_back({0x45, 0x45, 0x45});
    const auto greyLine = [](std::uint32_t c, std::uint32_t x, std::uint32_t y) {
        return x == y + 3 || (x == 100 && y == 31) ? 16u : c;
    };
    writeFile(dir / "GFX21.png", handBuilt(tiles21, withGrey, greyLine));
    const RunResult refused = run({"121", "87000", "zelda.smc"});
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_EQ(afterBanner(refused.output),
              "Recompressing...The picture GFX21.png, GFX 0x21: the pixel at x 3, y 0 has the colour #454545, "
              "which is none of the 16 colours of the palette.\n"
              "32 more pixels of GFX21.png are refused as well; the last is at x 100, y 31.\n"
              "Failed!\n");
    EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes);
}

}  // namespace
