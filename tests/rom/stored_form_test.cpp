// Which sheet files store the same bytes: the comparison that decides whether
// a sheet file holds changes.

#include "rom/stored_form.h"

#include <gtest/gtest.h>

#include "rom/sheet_catalogue.h"
#include "support/test_random.h"

namespace {

bool same(std::uint32_t sheet, const Bytes& a, const Bytes& b, const RomLayout& layout = kUsLayout)
{
    return storesTheSame(layout, sheet, a.data(), static_cast<std::uint32_t>(a.size()), b.data(),
                         static_cast<std::uint32_t>(b.size()));
}

// `sheet` with every plane-3 byte (odd bytes of the upper half of each tile) set.
Bytes withColoursAbove7(Bytes sheet)
{
    for (std::size_t at = 17; at < sheet.size(); at += 2) {
        if ((at & 16) != 0) {
            sheet[at] = 0xFF;
        }
    }
    return sheet;
}

TEST(StoredForm, SheetsKeptWithThreeBitsPerPixelCompareWithoutPlaneThree)
{
    TestRandom random(9);
    for (const std::uint32_t sheet : {0x00u, 0x70u, 0x7Fu, 0xD9u, 0x73u, 0x7Eu}) {
        const Bytes drawn = random.bytes(2048);
        EXPECT_TRUE(same(sheet, drawn, withColoursAbove7(drawn))) << sheet;
        Bytes edited = drawn;
        edited[100] ^= 1;  // plane 0 or 1 of tile 3
        EXPECT_FALSE(same(sheet, drawn, edited)) << sheet;
    }
    // A type-1 sheet's trailing plane-3 byte packs away: 17 and 18 bytes store alike.
    const Bytes tail = random.bytes(18);
    EXPECT_TRUE(same(0x10, Bytes(tail.begin(), tail.begin() + 17), tail));
    EXPECT_FALSE(same(0x10, Bytes(tail.begin(), tail.begin() + 16), tail));
    // A raw sheet packs its first 2048 bytes, zeros past a short file.
    Bytes shortRaw = random.bytes(600);
    Bytes padded = shortRaw;
    padded.resize(2048, 0);
    EXPECT_TRUE(same(0x75, shortRaw, padded));
    padded.resize(3000, 0x77);
    EXPECT_TRUE(same(0x75, shortRaw, padded));
    padded[1000] = 1;
    EXPECT_FALSE(same(0x75, shortRaw, padded));
}

TEST(StoredForm, FixedSheetsCompareTheirCatalogueSizeAndOthersEveryByte)
{
    TestRandom random(10);
    for (const RomLayout* layout : {&kUsLayout, &kJapanLayout}) {
        const std::uint32_t size = sheetSize(0xDD, *layout);
        const Bytes sheet = random.bytes(size);
        Bytes longer = sheet;
        longer.resize(size + 100, 0x42);
        EXPECT_TRUE(same(0xDD, sheet, longer, *layout));
        Bytes zeroTail = sheet;
        std::fill(zeroTail.end() - 50, zeroTail.end(), 0);
        EXPECT_TRUE(same(0xDD, Bytes(zeroTail.begin(), zeroTail.end() - 50), zeroTail, *layout));
        EXPECT_FALSE(same(0xDD, Bytes(sheet.begin(), sheet.end() - 50), sheet, *layout));
    }
    // Type-0 sheets are stored as they stand: any byte, any length counts.
    const Bytes plain = random.bytes(2048);
    EXPECT_TRUE(same(0x71, plain, plain));
    EXPECT_FALSE(same(0x71, plain, withColoursAbove7(plain)));
    Bytes padded = plain;
    padded.push_back(0);
    EXPECT_FALSE(same(0xDA, plain, padded));
}

}  // namespace
