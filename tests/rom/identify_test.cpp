#include "rom/identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "rom/sheet_catalogue.h"
#include "support/rom_fixture.h"

namespace {

struct Outcome {
    bool accepted;
    const RomLayout* layout;
    std::string output;
};

// Runs identifyRom on `rom` as the driver would: size and header offset from
// the file's length, output captured.
Outcome identify(const SyntheticRom& rom)
{
    RomImage image;
    image.size = static_cast<std::uint32_t>(rom.bytes.size());
    image.headerOffset = copierHeaderOffset(image.size);
    image.bytes.reset(new std::uint8_t[image.size]);
    std::copy(rom.bytes.begin(), rom.bytes.end(), image.bytes.get());
    testing::internal::CaptureStdout();
    const bool accepted = identifyRom(image);
    const std::string output = testing::internal::GetCapturedStdout();
    return {accepted, accepted ? image.layout : nullptr, output};
}

const std::string kTooSmall = "This ROM is too small to be the Zelda ROM.\n";
const std::string kWrongTitle = "The ROM either has the wrong game title, or is in the wrong format.\n";
const std::string kWrongCountry =
    "This ROM is from the wrong country.  Only the US and Japanese ROMs are supported.\n";

TEST(IdentifyRom, AcceptsBothReleasesWithEitherDestinationCode)
{
    for (const bool header : {false, true}) {
        for (const int destination : {0, 1}) {
            Outcome us = identify(makeSyntheticRom({RomVersion::Us, 0x100000, header, destination}));
            EXPECT_TRUE(us.accepted);
            EXPECT_EQ(us.layout, &kUsLayout);
            EXPECT_EQ(us.output, "");
            Outcome japan = identify(makeSyntheticRom({RomVersion::Japan, 0x100000, header, destination}));
            EXPECT_TRUE(japan.accepted);
            EXPECT_EQ(japan.layout, &kJapanLayout);
        }
    }
    // Expanded images are identified like the originals.
    EXPECT_TRUE(identify(makeSyntheticRom({.imageSize = 0x300000, .copierHeader = true})).accepted);
}

TEST(IdentifyRom, SizeIsCheckedFirstAgainstOneMebibytePastTheHeader)
{
    EXPECT_EQ(identify(makeSyntheticRom({.imageSize = 0xFFFFF})).output, kTooSmall);
    // 0xFFE00 bytes: bit 9 is set, so 0x100200 would be needed.
    SyntheticRom odd = makeSyntheticRom();
    odd.bytes.resize(0xFFE00);
    EXPECT_EQ(identify(odd).output, kTooSmall);
    // Too short and wrongly titled: only the size is reported.
    SyntheticRom both = makeSyntheticRom({.imageSize = 0x80000});
    both.put(0x7FC0, {'X'});
    EXPECT_EQ(identify(both).output, kTooSmall);
}

TEST(IdentifyRom, TitleMustMatchAllTwentyOneBytes)
{
    const auto withTitle = [](const std::string& title) {
        SyntheticRom rom = makeSyntheticRom();
        rom.put(0x7FC0, Bytes(title.begin(), title.end()));
        return identify(rom);
    };
    EXPECT_EQ(withTitle(std::string("THE LEGEND OF ZELDA\0\0", 21)).output, kWrongTitle);
    EXPECT_EQ(withTitle("the legend of zelda  ").output, kWrongTitle);
    EXPECT_EQ(withTitle("THE LEGEND OF ZELDA !").output, kWrongTitle);
    EXPECT_EQ(withTitle("ZELDANODENSETSU     X").output, kWrongTitle);
    // The byte after the field is not part of the title.
    SyntheticRom extra = makeSyntheticRom();
    extra.put(0x7FC0 + 21, {'!'});
    EXPECT_TRUE(identify(extra).accepted);
    // A header shifts the title: a headered file read as plain has no title.
    SyntheticRom headered = makeSyntheticRom({.copierHeader = true});
    headered.bytes.resize(0x100400);  // bit 9 clear: taken as unheadered
    EXPECT_EQ(identify(headered).output, kWrongTitle);
}

TEST(IdentifyRom, DestinationCodeAboveOneIsTheWrongCountry)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const int destination : {2, 0xFF}) {
            EXPECT_EQ(identify(makeSyntheticRom({version, 0x100000, true, destination})).output, kWrongCountry);
        }
    }
}

}  // namespace

namespace {

// The facts of the two releases, written out as the game has them rather than
// read back from the constants the code uses.
TEST(RomLayouts, HoldTheGamesFacts)
{
    const struct {
        const RomLayout* layout;
        RomVersion version;
        std::string title;
        PcOffset pointerTableBase;
        PcOffset protectedBoundary;
        std::uint32_t sizeOfDD;
        std::uint32_t combinedSize;
    } cases[] = {
        {&kUsLayout, RomVersion::Us, "THE LEGEND OF ZELDA  ", 0x4F80, 0xC4000, 4096, 0x76800},
        {&kJapanLayout, RomVersion::Japan, "ZELDANODENSETSU      ", 0x4FC0, 0xC3C00, 14400, 0x79040},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.layout->version, c.version);
        EXPECT_EQ(std::string(c.layout->title, kRomTitleLength), c.title);
        EXPECT_EQ(c.layout->pointerTableBase, c.pointerTableBase);
        EXPECT_EQ(c.layout->protectedBoundary, c.protectedBoundary);
        EXPECT_EQ(sheetSize(0xDD, *c.layout), c.sizeOfDD);
        EXPECT_EQ(sheetSize(0xDE, *c.layout), 28672u);
        EXPECT_EQ(sheetSize(0x00, *c.layout), 2048u);
        EXPECT_EQ(combinedFileSize(*c.layout), c.combinedSize);
    }
    EXPECT_EQ(kTitleOffset, 0x7FC0u);
    EXPECT_EQ(kRomSizeCodeOffset, 0x7FD7u);
    EXPECT_EQ(kDestinationCodeOffset, 0x7FD9u);
    EXPECT_EQ(kCopierHeaderSize, 0x200u);
    EXPECT_EQ(kMinimumRomSize, 0x100000u);
    EXPECT_EQ(fixedSheetOffset(0xDD), 0x70000u);
    EXPECT_EQ(fixedSheetOffset(0xDE), 0x80000u);
}

}  // namespace
