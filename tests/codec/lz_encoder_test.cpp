#include <gtest/gtest.h>

#include <cstdint>

#include "codec/lz_codec.h"
#include "codec_test_support.h"

namespace {

EncodeRun encodeLz(const Bytes& input, std::uint32_t codecType = 0)
{
    return runEncoder(encodeLzSheet, input, codecType);
}

TEST(LzEncoderTest, WorkedInputs)
{
    const Bytes plain1025 = withoutCommands(1025);
    const Bytes plain1026 = withoutCommands(1026);
    const Bytes plain602 = withoutCommands(602);
    const struct {
        const char* name;
        Bytes input;
        Bytes expected;
    } cases[] = {
        {"empty", {}, {0xFF}},
        {"one byte", {0x37}, {0x00, 0x37, 0xFF}},
        {"two bytes", {0x37, 0x38}, {0x01, 0x37, 0x38, 0xFF}},
        {"byte fill of three", {5, 5, 5}, {0x22, 0x05, 0xFF}},
        {"increasing fill of three", {5, 6, 7}, {0x62, 0x05, 0xFF}},
        {"word fill of four", {1, 2, 1, 2}, {0x43, 0x01, 0x02, 0xFF}},
        {"a b a is no word fill", {1, 2, 1}, {0x02, 1, 2, 1, 0xFF}},
        {"four literals, then a copy from position 0", {0x10, 0x30, 0x50, 0x70, 0x10, 0x30, 0x50, 0x70},
         {0x03, 0x10, 0x30, 0x50, 0x70, 0x83, 0x00, 0x00, 0xFF}},
        {"a copy of three is no copy", {9, 8, 7, 9, 8, 7}, {0x05, 9, 8, 7, 9, 8, 7, 0xFF}},
        {"fills are found in the last three bytes", {0x10, 0x20, 0x30, 4, 4, 4},
         {0x02, 0x10, 0x20, 0x30, 0x22, 0x04, 0xFF}},
        {"copy of 5 ties with byte fill of 4: the fill", {3, 3, 3, 3, 7, 1, 3, 3, 3, 3, 7},
         {0x23, 0x03, 0x01, 7, 1, 0x23, 0x03, 0x00, 0x07, 0xFF}},
        {"copy two longer than a byte fill wins", {3, 3, 3, 3, 7, 8, 1, 3, 3, 3, 3, 7, 8},
         {0x23, 0x03, 0x02, 7, 8, 1, 0x85, 0x00, 0x00, 0xFF}},
        {"copy one longer than a word fill wins", {1, 2, 1, 2, 9, 0x40, 1, 2, 1, 2, 9},
         {0x43, 1, 2, 0x01, 9, 0x40, 0x84, 0x00, 0x00, 0xFF}},
        {"copy as long as a word fill loses", {1, 2, 1, 2, 9, 0x40, 1, 2, 1, 2, 0x50},
         {0x43, 1, 2, 0x01, 9, 0x40, 0x43, 1, 2, 0x00, 0x50, 0xFF}},
        {"increasing fill of 3 beats a copy of 4", {1, 2, 3, 9, 0x40, 1, 2, 3, 9},
         {0x62, 1, 0x01, 9, 0x40, 0x62, 1, 0x00, 9, 0xFF}},
        {"copy two longer than an increasing fill wins", {1, 2, 3, 9, 8, 0x40, 1, 2, 3, 9, 8},
         {0x62, 1, 0x02, 9, 8, 0x40, 0x84, 0x00, 0x00, 0xFF}},
        {"equal copies keep the earlier source", {9, 8, 7, 6, 0x40, 9, 8, 7, 6, 0x50, 9, 8, 7, 6, 0x60},
         {0x04, 9, 8, 7, 6, 0x40, 0x83, 0x00, 0x00, 0x00, 0x50, 0x83, 0x00, 0x00, 0x00, 0x60, 0xFF}},
        {"longest copy wins", {9, 8, 7, 6, 0x40, 9, 8, 7, 6, 5, 0x50, 9, 8, 7, 6, 5},
         {0x04, 9, 8, 7, 6, 0x40, 0x83, 0x00, 0x00, 0x01, 5, 0x50, 0x84, 0x05, 0x00, 0xFF}},
        {"overlapping copy", {9, 8, 7, 6, 9, 8, 7, 6, 9, 8, 7, 6, 9}, {0x03, 9, 8, 7, 6, 0x88, 0x00, 0x00, 0xFF}},
        // Every step after the first also finds a full-length copy, which does
        // not beat a byte fill of the same length.
        {"4096 equal bytes", Bytes(4096, 0x5C), repeated({0xE7, 0xFF, 0x5C}, 12) + Bytes{0xFF}},
        {"1025 literals: 1024 flushed, 1 in the tail", plain1025,
         Bytes{0xE3, 0xFF} + slice(plain1025, 0, 1024) + Bytes{0x00, plain1025[1024], 0xFF}},
        {"1026 literals: 1024 flushed, 2 in the tail", plain1026,
         Bytes{0xE3, 0xFF} + slice(plain1026, 0, 1024) + Bytes{0x01, plain1026[1024], plain1026[1025], 0xFF}},
        {"32 literals, short header", slice(plain602, 0, 32), Bytes{0x1F} + slice(plain602, 0, 32) + Bytes{0xFF}},
        {"33 literals, extended header", slice(plain602, 0, 33),
         Bytes{0xE0, 0x20} + slice(plain602, 0, 33) + Bytes{0xFF}},
        {"word fill of 33", repeated({0xAB, 0xCD}, 33), {0xE8, 0x20, 0xAB, 0xCD, 0xFF}},
        {"increasing fill of 1000", counting(1000, 7), {0xEF, 0xE7, 0x07, 0xFF}},
        {"copy of 600 from position 2", plain602 + slice(plain602, 2, 602),
         Bytes{0xE2, 0x59} + plain602 + Bytes{0xF2, 0x57, 0x02, 0x00, 0xFF}},
    };
    for (const auto& c : cases) {
        const EncodeRun run = encodeLz(c.input);
        EXPECT_TRUE(run.ok) << c.name;
        EXPECT_EQ(run.stream, c.expected) << c.name;
    }
}

TEST(LzEncoderTest, Type1PacksBeforeEncoding)
{
    // Plane-3 bytes, whatever they hold, are dropped before encoding.
    const Bytes tile = counting(32, 0x41);
    Bytes packed = slice(tile, 0, 16);
    for (std::size_t r = 0; r < 8; ++r) {
        packed.push_back(tile[16 + 2 * r]);
    }
    const EncodeRun run = encodeLz(tile, 1);
    EXPECT_EQ(run.inputLength, 24U);
    EXPECT_EQ(slice(run.input, 0, 24), packed);
    EXPECT_EQ(run.stream, encodeLz(packed).stream);
    EXPECT_EQ(encodeLz({1, 2}, 1).stream, (Bytes{0x01, 1, 2, 0xFF}));
}

TEST(LzEncoderTest, OutputBoundClearsOk)
{
    // Literals take two header bytes per 1024: 0xFF7F bytes and the end marker
    // fill the buffer exactly.
    const Bytes oneMore = withoutCommands(0xFF80);
    const struct {
        const char* name;
        Bytes input;
        bool ok;
        std::size_t length;
        Bytes last;
    } cases[] = {
        {"exactly full", withoutCommands(0xFF7F), true, 0x10000, {0xFF}},
        {"no room for the end marker", oneMore, false, 0x10000, {oneMore.back()}},
        // The tail's 897 bytes would pass by one: its header goes out, none of
        // its bytes, and the end marker still finds room.
        {"tail one byte too long", withoutCommands(0xFF81), false, 63 * 1026 + 3, {0xE3, 0x80, 0xFF}},
        // In the main loop the rest of the step (the fill after the dropped
        // literals) is still written; then no tail and no end marker.
        {"in the main loop", withoutCommands(0xFFE8) + Bytes(20, 0xC4) + Bytes{1, 2}, false, 63 * 1026 + 4,
         {0xE3, 0xE7, 0x33, 0xC4}},
    };
    for (const auto& c : cases) {
        const EncodeRun run = encodeLz(c.input);
        EXPECT_EQ(run.ok, c.ok) << c.name;
        ASSERT_EQ(run.stream.size(), c.length) << c.name;
        EXPECT_EQ(Bytes(run.stream.end() - static_cast<long>(c.last.size()), run.stream.end()), c.last) << c.name;
    }

    // A flag that the caller left clear writes nothing and releases the index.
    Bytes input = {1, 2, 3, 4, 5};
    Bytes output(kCodecBufferSize, 0xEE);
    EncodeContext context;
    context.input = input.data();
    context.inputLength = 5;
    context.output = output.data();
    encodeLzSheet(context);
    EXPECT_FALSE(context.ok);
    EXPECT_EQ(context.outputLength, 0U);
    EXPECT_EQ(output[0], 0xEE);
    EXPECT_EQ(context.matchIndex.capacity, 0U);
}

}  // namespace
