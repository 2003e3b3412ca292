#include <gtest/gtest.h>

#include <cstdio>

#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"
#include "support/rom_fixture.h"

namespace {

TEST(SheetCatalogue, CodecTypesStorageAndSizes)
{
    std::uint32_t usTotal = 0;
    std::uint32_t japanTotal = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const bool plain = (sheet >= 0x71 && sheet <= 0x7E) || sheet >= 0xDA;
        EXPECT_EQ(sheetCodecType(sheet), plain ? 0 : 1) << sheet;
        const SheetStorage storage = sheet >= 0xDD                  ? SheetStorage::FixedOffset
                                     : (sheet >= 0x73 && sheet <= 0x7E) ? SheetStorage::Raw3bpp
                                                                        : SheetStorage::Compressed;
        EXPECT_EQ(sheetStorage(sheet), storage) << sheet;
        EXPECT_EQ(combinedFileOffset(sheet, kUsLayout), usTotal) << sheet;
        EXPECT_EQ(combinedFileOffset(sheet, kJapanLayout), japanTotal) << sheet;
        if (sheet < 0xDD) {
            EXPECT_EQ(sheetSize(sheet, kUsLayout), 2048u);
            EXPECT_EQ(sheetSize(sheet, kJapanLayout), 2048u);
        }
        usTotal += sheetSize(sheet, kUsLayout);
        japanTotal += sheetSize(sheet, kJapanLayout);
    }
    EXPECT_EQ(sheetSize(0xDD, kUsLayout), 4096u);
    EXPECT_EQ(sheetSize(0xDD, kJapanLayout), 14400u);
    EXPECT_EQ(sheetSize(0xDE, kUsLayout), 28672u);
    EXPECT_EQ(sheetSize(0xDE, kJapanLayout), 28672u);
    EXPECT_EQ(combinedFileOffset(0xDD, kUsLayout), 0x6E800u);
    EXPECT_EQ(combinedFileOffset(0xDD, kJapanLayout), 0x6E800u);
    EXPECT_EQ(combinedFileOffset(0xDE, kUsLayout), 0x6F800u);
    EXPECT_EQ(combinedFileOffset(0xDE, kJapanLayout), 0x72040u);
    EXPECT_EQ(usTotal, 0x76800u);
    EXPECT_EQ(japanTotal, 0x79040u);
    EXPECT_EQ(combinedFileSize(kUsLayout), 0x76800u);
    EXPECT_EQ(combinedFileSize(kJapanLayout), 0x79040u);
    EXPECT_EQ(fixedSheetOffset(0xDD), 0x70000u);
    EXPECT_EQ(fixedSheetOffset(0xDE), 0x80000u);
}

TEST(LoRomMapping, WorkedPairs)
{
    const std::pair<PcOffset, SnesAddress> pairs[] = {
        {0x000000, 0x008000}, {0x087000, 0x10F000}, {0x100000, 0x208000},
        {0x37FFFF, 0x6FFFFF}, {0x380000, 0xF08000}, {0x3FFFFF, 0xFFFFFF},
    };
    for (const auto& [offset, address] : pairs) {
        EXPECT_EQ(toSnesAddress(offset), address) << std::hex << offset;
        EXPECT_EQ(toPcOffset(address), offset) << std::hex << address;
    }
    // Bank bit 0x80 and bit 15 of the in-bank offset are ignored.
    EXPECT_EQ(toPcOffset(0x90F000), 0x87000u);
    EXPECT_EQ(toPcOffset(0x107000), 0x87000u);
}

TEST(LoRomMapping, EveryOffsetBelowFourMebibytesRoundTrips)
{
    for (PcOffset offset = 0; offset < kLoRomAddressableLimit; ++offset) {
        const SnesAddress address = toSnesAddress(offset);
        ASSERT_EQ(toPcOffset(address), offset);
        ASSERT_GE((address >> 8) & 0xFF, 0x80u);
        ASSERT_EQ((address >> 16) >= 0x80, offset >= 0x380000) << std::hex << offset;
    }
}

TEST(SheetPointers, ReadAndWriteThroughEachReleasesTables)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const bool header : {false, true}) {
            SyntheticRom synthetic = makeSyntheticRom({.version = version, .copierHeader = header});
            synthetic.setPointer(0x10, 0x87000);
            // Stored with bank bit 0x80 set: still read as the same offset.
            synthetic.put(synthetic.layout->pointerTableBase + 0x11, {0x90});
            synthetic.put(synthetic.layout->pointerTableBase + 223 + 0x11, {0xF0});

            Bytes image = synthetic.bytes;
            const auto read = [&](std::uint32_t sheet) {
                return readSheetPointer(image.data(), synthetic.headerOffset, *synthetic.layout, sheet);
            };
            EXPECT_EQ(read(0x10), 0x87000u);
            EXPECT_EQ(read(0x11), 0x87000u);
            writeSheetPointer(image.data(), synthetic.headerOffset, *synthetic.layout, 0xDE, 0x37FFFF);
            writeSheetPointer(image.data(), synthetic.headerOffset, *synthetic.layout, 0x00, 0x380000);
            EXPECT_EQ(read(0xDE), 0x37FFFFu);
            EXPECT_EQ(read(0x00), 0x380000u);

            const SyntheticRom written{image, synthetic.headerOffset, synthetic.layout};
            EXPECT_EQ(written.pointerBytes(0xDE), (Bytes{0x6F, 0xFF, 0xFF}));
            EXPECT_EQ(written.pointerBytes(0x00), (Bytes{0xF0, 0x80, 0x00}));
            // Nothing else changed.
            SyntheticRom expected = synthetic;
            expected.setPointer(0xDE, 0x37FFFF);
            expected.setPointer(0x00, 0x380000);
            EXPECT_EQ(firstDifference(written.bytes, expected.bytes), -1);
        }
    }
    const PointerTables japan = pointerTables(kJapanLayout);
    EXPECT_EQ(japan.high, 0x509Fu);
    EXPECT_EQ(japan.low, 0x517Eu);
    EXPECT_EQ(pointerTables(kUsLayout).low, 0x513Eu);
}

}  // namespace
