#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "codec/bitplane.h"
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

// Widens through the decode buffer (pre-filled with 0xEE); returns the new bytes.
Bytes expanded(const Bytes& bytes3)
{
    Bytes buffer(kCodecBufferSize, 0xEE);
    std::copy(bytes3.begin(), bytes3.end(), buffer.begin());
    buffer.resize(expandTiles3To4(buffer.data(), static_cast<std::uint32_t>(bytes3.size())));
    return buffer;
}

Bytes packed(Bytes bytes4)
{
    bytes4.resize(packTiles4To3(bytes4.data(), static_cast<std::uint32_t>(bytes4.size())));
    return bytes4;
}

TEST(BitplaneTest, WholeTileMapsPlanesByRow)
{
    Bytes tile3(24);
    Bytes tile4(32, 0);
    for (std::size_t r = 0; r < 8; ++r) {
        tile3[2 * r] = tile4[2 * r] = static_cast<std::uint8_t>(0x10 + r);          // plane 0
        tile3[2 * r + 1] = tile4[2 * r + 1] = static_cast<std::uint8_t>(0x20 + r);  // plane 1
        tile3[16 + r] = tile4[16 + 2 * r] = static_cast<std::uint8_t>(0x30 + r);    // plane 2
    }
    EXPECT_EQ(expanded(tile3), tile4);
    EXPECT_EQ(packed(tile4), tile3);
}

TEST(BitplaneTest, ExpandLengths)
{
    for (std::uint32_t length = 0; length <= 16; ++length) {
        Bytes buffer = numbered(kCodecBufferSize);
        EXPECT_EQ(expandTiles3To4(buffer.data(), length), length);
        EXPECT_EQ(buffer, numbered(kCodecBufferSize)) << "length " << length << " changes nothing";
    }
    const struct {
        std::uint32_t length3;
        std::uint32_t length4;
    } cases[] = {{17, 18}, {23, 30}, {24, 32}, {25, 33}, {40, 48}, {41, 50}, {1536, 2048}};
    for (const auto& c : cases) {
        EXPECT_EQ(expanded(numbered(c.length3)).size(), c.length4) << "length " << c.length3;
    }

    const Bytes in = numbered(40);
    EXPECT_EQ(expanded(slice(in, 0, 17)), slice(in, 0, 17) + Bytes{0});
    // Tile 0 in full, then input byte 24 as the first byte of tile 1; with 40
    // bytes the last 16 are copied straight.
    EXPECT_EQ(expanded(slice(in, 0, 25)), expanded(slice(in, 0, 24)) + Bytes{in[24]});
    EXPECT_EQ(expanded(in), expanded(slice(in, 0, 24)) + slice(in, 24, 40));
}

TEST(BitplaneTest, ExpandCapsAtTheDecodeBuffer)
{
    const Bytes input = numbered(kCodecBufferSize);
    const Bytes reference = expanded(slice(input, 0, 0xC000));
    ASSERT_EQ(reference.size(), kCodecBufferSize);
    for (std::uint32_t length : {0xC001U, 0xC017U, 0xC018U, 0xFFFFU, 0x10000U}) {
        EXPECT_EQ(expanded(slice(input, 0, length)), reference) << "length " << length;
    }
}

TEST(BitplaneTest, RawSheetExpansionMatchesInPlaceExpansion)
{
    const Bytes sheet3 = TestRandom(3).bytes(1536);
    Bytes sheet = sheet3 + Bytes(512, 0xEE);
    EXPECT_EQ(expandRawSheet3To4(sheet.data()), 2048U);
    EXPECT_EQ(sheet, expanded(sheet3));
}

TEST(BitplaneTest, PackLengths)
{
    const struct {
        std::uint32_t length4;
        std::uint32_t length3;
    } cases[] = {{0, 0},     {5, 5},       {16, 16},     {17, 17},     {18, 17},     {19, 18},
                 {32, 24},   {33, 25},     {2047, 1536}, {2048, 1536}, {2049, 1537}, {0x8000, 0x6000}};
    for (const auto& c : cases) {
        EXPECT_EQ(packed(numbered(c.length4)).size(), c.length3) << "length " << c.length4;
    }
    EXPECT_EQ(packed(numbered(16)), numbered(16));
}

TEST(BitplaneTest, PackDropsPlane3WhateverItHolds)
{
    Bytes clean = TestRandom(5).bytes(2048);
    Bytes noisy = clean;
    for (std::size_t p = 17; p < clean.size(); p += 2) {
        if ((p & 16) != 0) {
            clean[p] = 0;
            noisy[p] = static_cast<std::uint8_t>(0x80 | p);
        }
    }
    EXPECT_EQ(packed(noisy), packed(clean));
    EXPECT_EQ(expanded(packed(noisy)), clean);
}

// Every length up to 0xC000, the most the decode buffer can widen.
TEST(BitplaneTest, PackAfterExpandRestoresTheInput)
{
    const Bytes input = numbered(0xC000);
    Bytes buffer(kCodecBufferSize);
    for (std::uint32_t length = 0; length <= 0xC000; ++length) {
        std::memcpy(buffer.data(), input.data(), length);
        const std::uint32_t wide = expandTiles3To4(buffer.data(), length);
        ASSERT_EQ(packTiles4To3(buffer.data(), wide), length);
        ASSERT_EQ(std::memcmp(buffer.data(), input.data(), length), 0) << "length " << length;
    }
}

// The packing as written out byte by byte: every byte at or past 16 but the
// odd ones of each tile's upper half, in order.
Bytes referencePacked(const Bytes& bytes4, std::size_t length)
{
    Bytes out(bytes4.begin(), bytes4.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(length, 16)));
    for (std::size_t at = 16; at < length; ++at) {
        if ((at & 16) == 0 || at % 2 == 0) {
            out.push_back(bytes4[at]);
        }
    }
    return out;
}

// Every length up to a whole sheet buffer, on bytes whose plane 3 is noise:
// a packed prefix is the prefix of the packed whole.
TEST(BitplaneTest, PackingMatchesTheByteByByteRuleAtEveryLength)
{
    const Bytes input = TestRandom(31).bytes(0x8000);
    const Bytes whole = referencePacked(input, input.size());
    Bytes buffer(0x8000);
    for (std::uint32_t length = 0; length <= 0x8000; ++length) {
        std::memcpy(buffer.data(), input.data(), length);
        const std::uint32_t packedLength = packTiles4To3(buffer.data(), length);
        ASSERT_EQ(packedLength, referencePacked(input, length).size()) << "length " << length;
        ASSERT_EQ(std::memcmp(buffer.data(), whole.data(), packedLength), 0) << "length " << length;
    }
}

TEST(BitplaneTest, DroppedColoursAreFoundWhereverTheyLie)
{
    Bytes sheet(0x8000, 0x5A);
    for (std::size_t at = 17; at < sheet.size(); at += 2) {
        if ((at & 16) != 0) {
            sheet[at] = 0;
        }
    }
    EXPECT_FALSE(packingDropsColour(sheet.data(), 0x8000));
    for (const std::uint32_t place : {17u, 19u, 21u, 23u, 25u, 27u, 29u, 31u, 49u, 2047u, 0x7FF1u, 0x7FFFu}) {
        Bytes coloured = sheet;
        coloured[place] = 0x08;
        for (std::uint32_t length = place - 1; length <= std::min(place + 40, 0x8000u); ++length) {
            ASSERT_EQ(packingDropsColour(coloured.data(), length), length > place) << place << " " << length;
        }
    }
}

TEST(BitplaneTest, RawSheetPackReadsAll2048Positions)
{
    Bytes sheet = TestRandom(9).bytes(2048);
    const Bytes expected = packed(sheet);
    EXPECT_EQ(packRawSheet4To3(sheet.data()), 1536U);
    EXPECT_EQ(slice(sheet, 0, 1536), expected);
    // Plane 2 of the last row of the last tile comes from position 2046.
    sheet = TestRandom(10).bytes(2048);
    sheet[2046] = 0x77;
    EXPECT_EQ(packRawSheet4To3(sheet.data()), 1536U);
    EXPECT_EQ(sheet[1535], 0x77);
}

}  // namespace
