#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec_test_support.h"

namespace {

// Distinct, position-dependent bytes, none of them zero, so a moved, dropped
// or zeroed byte shows.
Bytes numbered(std::size_t length)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = static_cast<std::uint8_t>(k % 251 + 1);
    }
    return out;
}

// Widens through the decode-buffer entry; returns the new bytes.
Bytes expanded(const Bytes& bytes3)
{
    Bytes buffer(kCodecBufferSize, 0xEE);
    std::copy(bytes3.begin(), bytes3.end(), buffer.begin());
    const std::uint32_t length = expandTiles3To4(buffer.data(), static_cast<std::uint32_t>(bytes3.size()));
    buffer.resize(length);
    return buffer;
}

Bytes packed(Bytes bytes4)
{
    const std::uint32_t length = packTiles4To3(bytes4.data(), static_cast<std::uint32_t>(bytes4.size()));
    bytes4.resize(length);
    return bytes4;
}

// The tile layouts written out by hand: a 3bpp tile of planes 0/1 rows then
// plane-2 rows, against the 4bpp tile that interleaves plane 2 with plane 3.
TEST(BitplaneTest, WholeTileMapsPlanesByRow)
{
    Bytes tile3(24);
    Bytes tile4(32, 0);
    for (std::size_t r = 0; r < 8; ++r) {
        tile3[2 * r] = static_cast<std::uint8_t>(0x10 + r);      // plane 0
        tile3[2 * r + 1] = static_cast<std::uint8_t>(0x20 + r);  // plane 1
        tile3[16 + r] = static_cast<std::uint8_t>(0x30 + r);     // plane 2
        tile4[2 * r] = static_cast<std::uint8_t>(0x10 + r);
        tile4[2 * r + 1] = static_cast<std::uint8_t>(0x20 + r);
        tile4[16 + 2 * r] = static_cast<std::uint8_t>(0x30 + r);
    }
    EXPECT_EQ(expanded(tile3), tile4);
    EXPECT_EQ(packed(tile4), tile3);
}

TEST(BitplaneTest, ExpandLeavesLengthsUpTo16Untouched)
{
    for (std::uint32_t length = 0; length <= 16; ++length) {
        Bytes buffer(kCodecBufferSize, 0x5A);
        const Bytes input = numbered(length);
        std::copy(input.begin(), input.end(), buffer.begin());
        const Bytes before = buffer;
        EXPECT_EQ(expandTiles3To4(buffer.data(), length), length);
        EXPECT_EQ(buffer, before) << "length " << length;
    }
}

TEST(BitplaneTest, ExpandPartialTileLengths)
{
    struct Case {
        std::uint32_t length3;
        std::uint32_t length4;
    };
    const Case cases[] = {{17, 18}, {23, 30}, {24, 32}, {25, 33}, {40, 48}, {41, 50}, {1536, 2048}};
    for (const Case& c : cases) {
        EXPECT_EQ(expanded(numbered(c.length3)).size(), c.length4) << "length " << c.length3;
    }

    const Bytes input17 = numbered(17);
    const Bytes out17 = expanded(input17);
    EXPECT_EQ(Bytes(out17.begin(), out17.begin() + 17), input17);
    EXPECT_EQ(out17[17], 0);

    // One whole tile, then input byte 24 as the first byte of tile 1.
    const Bytes input25 = numbered(25);
    const Bytes out25 = expanded(input25);
    EXPECT_EQ(Bytes(out25.begin(), out25.begin() + 32), expanded(Bytes(input25.begin(), input25.begin() + 24)));
    EXPECT_EQ(out25[32], input25[24]);

    // One tile and 16 bytes: the last 16 bytes are copied straight.
    const Bytes input40 = numbered(40);
    const Bytes out40 = expanded(input40);
    EXPECT_EQ(Bytes(out40.begin() + 32, out40.end()), Bytes(input40.begin() + 24, input40.end()));
}

TEST(BitplaneTest, ExpandCapsAtTheDecodeBuffer)
{
    const Bytes input = numbered(kCodecBufferSize);
    const Bytes firstTiles(input.begin(), input.begin() + 0xC000);
    const Bytes reference = expanded(firstTiles);
    ASSERT_EQ(reference.size(), kCodecBufferSize);
    for (std::uint32_t length : {0xC001U, 0xC017U, 0xC018U, 0xFFFFU, 0x10000U}) {
        EXPECT_EQ(expanded(Bytes(input.begin(), input.begin() + length)), reference) << "length " << length;
    }
}

TEST(BitplaneTest, RawSheetExpansionMatchesInPlaceExpansion)
{
    TestRandom random(3);
    const Bytes sheet3 = random.bytes(1536);
    Bytes sheet(2048, 0xEE);
    std::copy(sheet3.begin(), sheet3.end(), sheet.begin());
    EXPECT_EQ(expandRawSheet3To4(sheet.data()), 2048U);
    EXPECT_EQ(sheet, expanded(sheet3));
}

TEST(BitplaneTest, PackLengths)
{
    struct Case {
        std::uint32_t length4;
        std::uint32_t length3;
    };
    const Case cases[] = {{0, 0},     {5, 5},       {16, 16},     {17, 17},     {18, 17},
                          {19, 18},   {32, 24},     {33, 25},     {2047, 1536}, {2048, 1536},
                          {2049, 1537}, {0x8000, 0x6000}};
    for (const Case& c : cases) {
        EXPECT_EQ(packed(numbered(c.length4)).size(), c.length3) << "length " << c.length4;
    }
    // Up to 16 bytes nothing moves.
    EXPECT_EQ(packed(numbered(16)), numbered(16));
}

TEST(BitplaneTest, PackDropsPlane3WhateverItHolds)
{
    TestRandom random(5);
    Bytes clean = random.bytes(2048);
    for (std::size_t p = 0; p < clean.size(); ++p) {
        if ((p & 16) != 0 && (p & 1) != 0) {
            clean[p] = 0;
        }
    }
    Bytes noisy = clean;
    for (std::size_t p = 17; p < noisy.size(); p += 2) {
        if ((p & 16) != 0) {
            noisy[p] = static_cast<std::uint8_t>(0x80 | p);
        }
    }
    EXPECT_EQ(packed(noisy), packed(clean));
    // And expansion puts zeros back where plane 3 was.
    EXPECT_EQ(expanded(packed(noisy)), clean);
}

TEST(BitplaneTest, PackAfterExpandRestoresEveryLength)
{
    // The same buffer serves every length; numbered input bytes so that any
    // misplaced byte shows.
    const Bytes input = numbered(0xC000);
    Bytes buffer(kCodecBufferSize);
    for (std::uint32_t length = 0; length <= 0xC000; ++length) {
        // Only the prefix is restored between lengths: the bytes past `length`
        // are not read.
        std::memcpy(buffer.data(), input.data(), length);
        const std::uint32_t wide = expandTiles3To4(buffer.data(), length);
        const std::uint32_t narrow = packTiles4To3(buffer.data(), wide);
        ASSERT_EQ(narrow, length);
        ASSERT_EQ(std::memcmp(buffer.data(), input.data(), length), 0) << "length " << length;
    }
}

TEST(BitplaneTest, RawSheetPackReadsAll2048Positions)
{
    TestRandom random(9);
    Bytes sheet = random.bytes(2048);
    const Bytes expected = packed(sheet);
    ASSERT_EQ(expected.size(), 1536U);
    EXPECT_EQ(packRawSheet4To3(sheet.data()), 1536U);
    EXPECT_EQ(Bytes(sheet.begin(), sheet.begin() + 1536), expected);

    // A sheet whose file supplied fewer bytes still packs the last tile from
    // whatever the buffer holds past them.
    Bytes shortSheet = random.bytes(2048);
    shortSheet[2047 - 1] = 0x77;  // plane 2 of the last row of the last tile
    EXPECT_EQ(packRawSheet4To3(shortSheet.data()), 1536U);
    EXPECT_EQ(shortSheet[1535], 0x77);
}

}  // namespace
