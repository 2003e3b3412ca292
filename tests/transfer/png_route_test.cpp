// Sheets as pictures through the real binary: the PNG routes give exactly the
// ROM and the sheets the raw routes give, and a picture the game cannot keep
// is refused with the ROM untouched.

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "rom/sheet_catalogue.h"
#include "support/test_random.h"
#include "sheetfile/png_sheet_file.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

struct Picture {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Bytes indices;  // one byte a pixel, row by row
};

// Reads an indexed picture's indices with libpng directly.
bool decodeIndices(const fs::path& path, Picture& picture)
{
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep>* rows = new std::vector<png_bytep>;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        delete rows;
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_packing(png);
    picture.width = png_get_image_width(png, info);
    picture.height = png_get_image_height(png, info);
    picture.indices.assign(std::size_t{picture.width} * picture.height, 0);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        rows->push_back(picture.indices.data() + std::size_t{y} * picture.width);
    }
    png_read_image(png, rows->data());
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    delete rows;
    return true;
}

// Planar tile bytes from the pixels of `rows` tile rows of a picture, tile t
// at column t mod 16 and row t div 16, written out independently of the tool.
Bytes planesOf(const Picture& picture, std::uint32_t firstRow, std::uint32_t length)
{
    Bytes tiles(length, 0);
    for (std::uint32_t k = 0; k < length; ++k) {
        const std::uint32_t tile = k / 32;
        const std::uint32_t within = k % 32;
        const std::uint32_t plane = (within >= 16 ? 2 : 0) + within % 2;
        const std::uint32_t y = firstRow + tile / 16 * 8 + within % 16 / 2;
        for (std::uint32_t bit = 0; bit < 8; ++bit) {
            const std::uint32_t x = tile % 16 * 8 + bit;
            const std::uint8_t index = picture.indices[std::size_t{y} * picture.width + x];
            tiles[k] = static_cast<std::uint8_t>(tiles[k] | ((index >> plane) & 1) << (7 - bit));
        }
    }
    return tiles;
}

// The picture of these sheets as extraction writes it.
Bytes encodedPicture(const std::vector<PictureSheet>& sheets)
{
    EncodedPicture picture;
    EXPECT_TRUE(encodeSheetPicture("made.png", sheets.data(), static_cast<std::uint32_t>(sheets.size()), picture));
    return Bytes(picture.bytes, picture.bytes + picture.length);
}

class PngRoutes : public TransferTest {};

TEST_F(PngRoutes, GiveExactlyWhatTheRawRoutesGive)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const bool header : {false, true}) {
            const SyntheticRom original = sampleRom({.version = version, .copierHeader = header, .seed = 5});
            original.save(dir / "zelda.smc");
            // Each release's files replace the last one's: 0x800 says so.
            ASSERT_EQ(run({"900", "zelda.smc", "all.bin"}).exitStatus, 0);
            ASSERT_EQ(run({"920", "zelda.smc", "all.png"}).exitStatus, 0);
            ASSERT_EQ(run({"920", "zelda.smc"}).exitStatus, 0);
            EXPECT_FALSE(fs::exists(dir / "GFX00.bin"));
            const Bytes combined = readFile(dir / "all.bin");

            // The combined picture: 128 pixels wide, each sheet from a new tile row.
            Picture picture;
            ASSERT_TRUE(decodeIndices(dir / "all.png", picture));
            EXPECT_EQ(picture.width, 128u);
            EXPECT_EQ(picture.height, version == RomVersion::Us ? 7584u : 7752u);
            std::uint32_t row = 0;
            for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
                const std::uint32_t length = sheetSize(sheet, *original.layout);
                const Bytes slot(combined.begin() + combinedFileOffset(sheet, *original.layout),
                                 combined.begin() + combinedFileOffset(sheet, *original.layout) + length);
                ASSERT_EQ(planesOf(picture, row, length), slot) << "sheet " << sheet;
                Picture alone;
                char name[16];
                std::snprintf(name, sizeof name, "GFX%02X.png", static_cast<unsigned>(sheet));
                ASSERT_TRUE(decodeIndices(dir / name, alone)) << name;
                ASSERT_EQ(planesOf(alone, 0, length), slot) << name;
                row += (length / 32 + 15) / 16 * 8;
            }

            // Inserting from either picture route rebuilds the ROM of the raw route.
            ASSERT_EQ(run({"101", "87000", "zelda.smc", "all.bin"}).exitStatus, 0);
            const Bytes viaBin = readFile(dir / "zelda.smc");
            original.save(dir / "zelda.smc");
            ASSERT_EQ(run({"121", "87000", "zelda.smc", "all.png"}).exitStatus, 0);
            EXPECT_EQ(firstDifference(readFile(dir / "zelda.smc"), viaBin), -1);
            original.save(dir / "zelda.smc");
            ASSERT_EQ(run({"121", "87000", "zelda.smc"}).exitStatus, 0);
            EXPECT_EQ(firstDifference(readFile(dir / "zelda.smc"), viaBin), -1);
        }
    }
}

TEST_F(PngRoutes, AnEditedPictureRoundTripsAndABadOneChangesNothing)
{
    const SyntheticRom original = sampleRom({});
    original.save(dir / "zelda.smc");
    // An edit: sheet 0x71 (kept with 4 bits per pixel) redrawn at random.
    Bytes edited = combinedSampleFile(kUsLayout, 1);
    const Bytes drawn = TestRandom(31).bytes(2048);
    std::copy(drawn.begin(), drawn.end(), edited.begin() + combinedFileOffset(0x71, kUsLayout));
    std::vector<PictureSheet> sheets;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        sheets.push_back({sheet, edited.data() + combinedFileOffset(sheet, kUsLayout), sheetSize(sheet, kUsLayout),
                          sheetKeeps3BitsPerPixel(sheet)});
    }
    writeFile(dir / "edited.png", encodedPicture(sheets));
    ASSERT_EQ(run({"121", "87000", "zelda.smc", "edited.png"}).exitStatus, 0);
    ASSERT_EQ(run({"100", "zelda.smc", "again.bin"}).exitStatus, 0);
    EXPECT_EQ(firstDifference(readFile(dir / "again.bin"), edited), -1);

    // Colour 9 in a sheet the game keeps with 3 bits per pixel: refused, one
    // line naming the file, nothing written.
    original.save(dir / "zelda.smc");
    ASSERT_EQ(run({"120", "zelda.smc"}).exitStatus, 0);
    Bytes sheet05 = sampleSheet(0x05, kUsLayout, 1);
    sheet05[17] = 0x80;  // plane 3 of the top-left pixel: colour 8 or more
    std::vector<PictureSheet> one = {{0x05, sheet05.data(), 2048, false}};
    writeFile(dir / "GFX05.png", encodedPicture(one));
    const RunResult refused = run({"121", "87000", "zelda.smc"});
    EXPECT_EQ(refused.exitStatus, 1);
    const std::string text = afterBanner(refused.output);
    EXPECT_EQ(text.rfind("Recompressing...", 0), 0u);
    EXPECT_NE(text.find("GFX05.png"), std::string::npos) << text;
    EXPECT_NE(text.find("GFX 0x05"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes);

    // A raw sheet file is no picture.
    writeFile(dir / "fake.png", readFile(dir / "again.bin"));
    const RunResult notPng = run({"121", "87000", "zelda.smc", "fake.png"});
    EXPECT_EQ(notPng.exitStatus, 1);
    EXPECT_NE(notPng.output.find("fake.png"), std::string::npos);
    EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes);

    // The ROM named like a per-sheet picture is refused before anything runs.
    original.save(dir / "GFX10.png");
    EXPECT_EQ(afterBanner(run({"120", "GFX10.png"}).output), "File names are identical...bad idea!\n");
}

}  // namespace
