// How an indexed picture's palette is read: by colour when the entries its
// pixels use are distinct colours of the 16, with a note when they stand in
// another order; by index, with a note, when the palette is recoloured or
// two used entries show one colour; refused by colour otherwise.

#include "sheetfile/png_sheet_file.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "png_test_support.h"
#include "support/test_random.h"

namespace {

TEST(PngSheetFile, IndexedPicturesAreReadByColourWhenEveryUsedEntryIsOneOfTheSixteen)
{
    TestRandom random(41);
    std::vector<std::uint32_t> all(16);
    for (std::uint32_t c = 0; c < 16; ++c) {
        all[c] = c;
    }
    const Bytes sheet = sheetOfColours(random, all);

    // The palette reordered, as image editors save it: entry k shows colour order[k].
    std::vector<std::uint32_t> order = all;
    for (std::uint32_t k = 15; k > 0; --k) {
        std::swap(order[k], order[random.below(k + 1)]);
    }
    std::vector<PaletteColour> reordered;
    std::vector<std::uint32_t> indexOf(16);
    for (std::uint32_t k = 0; k < 16; ++k) {
        reordered.push_back(kSheetPalette[order[k]]);
        indexOf[order[k]] = k;
    }
    // Each reordered palette is said once.
    const std::string otherOrder =
        "Note: the palette of GFX21.png is in another order than sheetpak's, so its pixels are read by their "
        "colour.\n";
    for (const int bitDepth : {4, 8}) {
        for (const bool interlaced : {false, true}) {
            const ReadOutcome read = readAsSheets(indexedPicture(sheet, bitDepth, reordered, indexOf, interlaced), {2048});
            EXPECT_TRUE(read.ok) << bitDepth << " " << interlaced << ": " << read.output;
            EXPECT_EQ(read.output, otherOrder);
            EXPECT_EQ(read.sheets[0], sheet) << bitDepth << " bits, interlaced " << interlaced;
        }
    }

    // 256 entries, the unused ones none of the 16 colours: read by colour too.
    std::vector<PaletteColour> padded = reordered;
    padded.resize(256, PaletteColour{0x45, 0x45, 0x45});
    const ReadOutcome wide = readAsSheets(indexedPicture(sheet, 8, padded, indexOf), {2048});
    EXPECT_EQ(wide.output, otherOrder);
    EXPECT_EQ(wide.sheets[0], sheet);

    // Only the colours used, in an order of their own, at 2 bits: 3 entries.
    const Bytes fewColours = sheetOfColours(random, {9, 0, 3});
    std::vector<std::uint32_t> fewIndex(16, 0);
    fewIndex[3] = 0;
    fewIndex[0] = 1;
    fewIndex[9] = 2;
    const std::vector<PaletteColour> used{kSheetPalette[3], kSheetPalette[0], kSheetPalette[9]};
    const ReadOutcome few = readAsSheets(indexedPicture(fewColours, 2, used, fewIndex), {2048});
    EXPECT_EQ(few.output, otherOrder);
    EXPECT_EQ(few.sheets[0], fewColours);

    // The tool's own picture through the same rule: the identity, no note.
    const ReadOutcome own = readAsSheets(indexedPicture(sheet, 4, kToolPalette, all), {2048});
    EXPECT_EQ(own.output, "");
    EXPECT_EQ(own.sheets[0], sheet);

    // The used entries at their own places, the unused ones swapped, none of
    // the 16, or (at 8 bits) past the tool's 16: no note either.
    const Bytes lowColours = sheetOfColours(random, {0, 2, 5, 7});
    std::vector<PaletteColour> unusedSwapped = kToolPalette;
    std::swap(unusedSwapped[8], unusedSwapped[15]);
    unusedSwapped[3] = {0x45, 0x45, 0x45};
    for (const int bitDepth : {4, 8}) {
        if (bitDepth == 8) {
            unusedSwapped.push_back(kSheetPalette[5]);
        }
        const ReadOutcome inPlace = readAsSheets(indexedPicture(lowColours, bitDepth, unusedSwapped, all), {2048});
        EXPECT_EQ(inPlace.output, "") << bitDepth;
        EXPECT_EQ(inPlace.sheets[0], lowColours) << bitDepth;
    }
}

TEST(PngSheetFile, TwoUsedEntriesOfOneColourAreNeverMergedButReadByIndex)
{
    TestRandom random(44);
    const Bytes sheet = sheetOfColours(random, {0, 3, 8, 12});
    std::vector<std::uint32_t> identity(16);
    for (std::uint32_t c = 0; c < 16; ++c) {
        identity[c] = c;
    }
    // Entry 3 shows entry 8's red, and pixels use both: by colour, colour 3
    // would become 8. Read by index, with the note, every pixel kept.
    std::vector<PaletteColour> twice = kToolPalette;
    twice[3] = kSheetPalette[8];
    for (const int bitDepth : {4, 8}) {
        const ReadOutcome read = readAsSheets(indexedPicture(sheet, bitDepth, twice, identity), {2048});
        EXPECT_TRUE(read.ok) << bitDepth << ": " << read.output;
        EXPECT_EQ(read.output,
                  "Note: the palette of GFX21.png is not sheetpak's, so its pixels are read by their index.\n");
        EXPECT_EQ(read.sheets[0], sheet) << bitDepth;
    }

    // Only three entries, at 2 bits, the first two both red: by index all the
    // same.
    const Bytes reds = sheetOfColours(random, {0, 1});
    const std::vector<PaletteColour> twoReds{kSheetPalette[8], kSheetPalette[8], kSheetPalette[2]};
    const ReadOutcome redRead = readAsSheets(indexedPicture(reds, 2, twoReds, identity), {2048});
    EXPECT_TRUE(redRead.ok) << redRead.output;
    EXPECT_EQ(redRead.output.rfind("Note: the palette of GFX21.png is not sheetpak's", 0), 0u) << redRead.output;
    EXPECT_EQ(redRead.sheets[0], reds);

    // A duplicate that no pixel uses merges nothing: by colour, no note.
    std::vector<PaletteColour> unusedTwice = kToolPalette;
    unusedTwice[5] = kSheetPalette[12];
    const ReadOutcome spare = readAsSheets(indexedPicture(sheet, 4, unusedTwice, identity), {2048});
    EXPECT_EQ(spare.output, "");
    EXPECT_EQ(spare.sheets[0], sheet);

    // Entry 16 shows colour 3, and pixels use both it and entry 3: no index
    // of 16 or more is a colour, so those pixels are refused by their index.
    std::vector<PaletteColour> extra = kToolPalette;
    extra.push_back(kSheetPalette[3]);
    const Bytes png = craftPng({PNG_COLOR_TYPE_PALETTE, 8, false, 128, 32, &extra},
                               [&](std::uint32_t x, std::uint32_t y, int) {
                                   const std::uint32_t colour = pixelOf(sheet, x, y);
                                   return colour == 3 && x % 2 == 0 ? 16u : colour;
                               });
    const ReadOutcome refused = readAsSheets(png, {2048});
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.output.rfind("Note: the palette of GFX21.png is not sheetpak's, so its pixels are read by "
                                   "their index.\nThe picture GFX21.png, GFX 0x21: the pixel at ",
                                   0),
              0u)
        << refused.output;
    EXPECT_NE(refused.output.find(" has colour 16; only colours 0 to 15 exist.\n"), std::string::npos)
        << refused.output;
}

TEST(PngSheetFile, ARecolouredPaletteIsReadByIndexWithANote)
{
    TestRandom random(42);
    const Bytes sheet = sheetOfColours(random, {0, 1, 5, 7, 12});
    std::vector<std::uint32_t> identity(16);
    for (std::uint32_t c = 0; c < 16; ++c) {
        identity[c] = c;
    }
    // Every entry recoloured; then only one used entry off the 16 colours.
    std::vector<PaletteColour> recoloured;
    for (std::uint32_t k = 0; k < 16; ++k) {
        recoloured.push_back({static_cast<std::uint8_t>(10 * k + 3), 0x40, 0x41});
    }
    std::vector<PaletteColour> oneOff = kToolPalette;
    oneOff[5] = {0x45, 0x45, 0x45};
    for (const auto* palette : {&recoloured, &oneOff}) {
        for (const int bitDepth : {4, 8}) {
            const ReadOutcome read = readAsSheets(indexedPicture(sheet, bitDepth, *palette, identity), {2048});
            EXPECT_TRUE(read.ok) << read.output;
            EXPECT_EQ(read.output,
                      "Note: the palette of GFX21.png is not sheetpak's, so its pixels are read by their index.\n");
            EXPECT_EQ(read.sheets[0], sheet);
        }
    }
    // The note comes once, before the refusal of a colour the sheet cannot keep.
    const Bytes highColour = sheetOfColours(random, {1, 12});
    const ReadOutcome refused = readAsSheets(indexedPicture(highColour, 4, recoloured, identity), {2048}, true);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.output.rfind("Note: the palette of GFX21.png is not sheetpak's", 0), 0u) << refused.output;
    EXPECT_NE(refused.output.find("has colour 12; the game keeps 3 bits per pixel"), std::string::npos);
}

TEST(PngSheetFile, AnEntryOffThePaletteInUseWithIndicesPastSixteenIsRefusedByItsColour)
{
    // Entries 0-15 the tool's, entry 20 a grey of an antialiased line.
    std::vector<PaletteColour> palette = kToolPalette;
    palette.resize(21, PaletteColour{0x10, 0x20, 0x30});
    palette[20] = {0x45, 0x45, 0x45};
    const auto picture = [&](const std::vector<std::pair<std::uint32_t, std::uint32_t>>& greys) {
        return craftPng({PNG_COLOR_TYPE_PALETTE, 8, false, 128, 32, &palette},
                        [&](std::uint32_t x, std::uint32_t y, int) {
                            return std::find(greys.begin(), greys.end(), std::make_pair(x, y)) != greys.end() ? 20u
                                                                                                               : 1u;
                        });
    };
    const ReadOutcome one = readAsSheets(picture({{17, 5}}), {2048});
    EXPECT_FALSE(one.ok);
    EXPECT_EQ(one.output, "The picture GFX21.png, GFX 0x21: the pixel at x 17, y 5 has the colour #454545, which is "
                          "none of the 16 colours of the palette.\n");
    const ReadOutcome three = readAsSheets(picture({{17, 5}, {3, 30}, {100, 9}}), {2048});
    EXPECT_FALSE(three.ok);
    EXPECT_EQ(three.output, "The picture GFX21.png, GFX 0x21: the pixel at x 17, y 5 has the colour #454545, which is "
                            "none of the 16 colours of the palette.\n"
                            "2 more pixels of GFX21.png are refused as well; the last is at x 3, y 30.\n");
}

}  // namespace
