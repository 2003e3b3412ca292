#include <gtest/gtest.h>

#include <cstdint>
#include <unordered_set>

#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec_test_support.h"

namespace {

EncodeRun encodeLz(const Bytes& input, std::uint32_t codecType = 0)
{
    return runEncoder(encodeLzSheet, input, codecType);
}

// Bytes where no copy, fill or increasing run of the minimum lengths exists:
// no two neighbours are equal or counting up, no byte equals the one two
// places back, and no four-byte group appears twice.
Bytes withoutCommands(std::size_t length)
{
    Bytes out;
    std::unordered_set<std::uint32_t> groups;
    TestRandom random(length);
    while (out.size() < length) {
        const std::size_t k = out.size();
        const auto candidate = random.byte();
        if (k >= 1 && (candidate == out[k - 1] || candidate == static_cast<std::uint8_t>(out[k - 1] + 1))) {
            continue;
        }
        if (k >= 2 && candidate == out[k - 2]) {
            continue;
        }
        if (k >= 3) {
            const std::uint32_t group = static_cast<std::uint32_t>(out[k - 3]) << 24 |
                                        static_cast<std::uint32_t>(out[k - 2]) << 16 |
                                        static_cast<std::uint32_t>(out[k - 1]) << 8 | candidate;
            if (!groups.insert(group).second) {
                continue;
            }
        }
        out.push_back(candidate);
    }
    return out;
}

TEST(LzEncoderTest, WorkedInputs)
{
    struct Case {
        const char* name;
        Bytes input;
        Bytes expected;
    };
    const Case cases[] = {
        {"empty", {}, {0xFF}},
        {"one byte", {0x37}, {0x00, 0x37, 0xFF}},
        {"two bytes", {0x37, 0x38}, {0x01, 0x37, 0x38, 0xFF}},
        {"byte fill of three", {5, 5, 5}, {0x22, 0x05, 0xFF}},
        {"increasing fill of three", {5, 6, 7}, {0x62, 0x05, 0xFF}},
        {"word fill of four", {1, 2, 1, 2}, {0x43, 0x01, 0x02, 0xFF}},
        {"three bytes without a command", {1, 2, 1}, {0x02, 1, 2, 1, 0xFF}},
        {"two equal bytes are literals", {5, 5}, {0x01, 5, 5, 0xFF}},
        {"four literals, then a copy from position 0",
         {0x10, 0x30, 0x50, 0x70, 0x10, 0x30, 0x50, 0x70},
         {0x03, 0x10, 0x30, 0x50, 0x70, 0x83, 0x00, 0x00, 0xFF}},
        {"a copy of three is no copy", {9, 8, 7, 9, 8, 7}, {0x05, 9, 8, 7, 9, 8, 7, 0xFF}},
        {"fills are found in the last three bytes", {0x10, 0x20, 0x30, 4, 4, 4},
         {0x02, 0x10, 0x20, 0x30, 0x22, 0x04, 0xFF}},
        // A copy of 5 against a byte fill of 4: the fill wins, as a copy must be
        // 2 bytes longer; the leftover byte is a literal.
        {"copy of l ties with byte fill of l - 1", {3, 3, 3, 3, 7, 1, 3, 3, 3, 3, 7},
         {0x23, 0x03, 0x01, 7, 1, 0x23, 0x03, 0x00, 0x07, 0xFF}},
        // A copy 2 bytes longer than the byte fill wins.
        {"copy two longer than a byte fill wins", {3, 3, 3, 3, 7, 8, 1, 3, 3, 3, 3, 7, 8},
         {0x23, 0x03, 0x02, 7, 8, 1, 0x85, 0x00, 0x00, 0xFF}},
        // A copy must beat a word fill by only one byte.
        {"copy one longer than a word fill wins", {1, 2, 1, 2, 9, 0x40, 1, 2, 1, 2, 9},
         {0x43, 1, 2, 0x01, 9, 0x40, 0x84, 0x00, 0x00, 0xFF}},
        {"copy as long as a word fill loses", {1, 2, 1, 2, 9, 0x40, 1, 2, 1, 2, 0x50},
         {0x43, 1, 2, 0x01, 9, 0x40, 0x43, 1, 2, 0x00, 0x50, 0xFF}},
        // A copy of 4 against an increasing fill of 3 is not enough.
        {"increasing fill beats a copy one longer", {1, 2, 3, 9, 0x40, 1, 2, 3, 9},
         {0x62, 1, 0x01, 9, 0x40, 0x62, 1, 0x00, 9, 0xFF}},
        // Equal lengths keep the earlier source.
        {"equal copies keep the earlier source", {9, 8, 7, 6, 0x40, 9, 8, 7, 6, 0x50, 9, 8, 7, 6, 0x60},
         {0x04, 9, 8, 7, 6, 0x40, 0x83, 0x00, 0x00, 0x00, 0x50, 0x83, 0x00, 0x00, 0x00, 0x60, 0xFF}},
        // A copy of the full remaining length ends the walk at the first candidate.
        {"full-length copy ends the walk", {9, 8, 7, 6, 0x40, 9, 8, 7, 6, 0x50, 9, 8, 7, 6},
         {0x04, 9, 8, 7, 6, 0x40, 0x83, 0x00, 0x00, 0x00, 0x50, 0x83, 0x00, 0x00, 0xFF}},
        // A longer copy further along the chain is taken over a shorter earlier one.
        {"longest copy wins", {9, 8, 7, 6, 0x40, 9, 8, 7, 6, 5, 0x50, 9, 8, 7, 6, 5},
         {0x04, 9, 8, 7, 6, 0x40, 0x83, 0x00, 0x00, 0x01, 5, 0x50, 0x84, 0x05, 0x00, 0xFF}},
        // A copy may overlap the position being encoded.
        {"overlapping copy", {9, 8, 7, 6, 9, 8, 7, 6, 9, 8, 7, 6, 9},
         {0x03, 9, 8, 7, 6, 0x88, 0x00, 0x00, 0xFF}},
    };
    for (const Case& c : cases) {
        const EncodeRun run = encodeLz(c.input);
        EXPECT_TRUE(run.ok) << c.name;
        EXPECT_EQ(run.stream, c.expected) << c.name;
    }
}

TEST(LzEncoderTest, LongRunsSplitAt1024)
{
    // Every step after the first also finds a full-length copy, but a copy of
    // 1024 does not beat a byte fill of 1024.
    const Bytes fill = encodeLz(Bytes(4096, 0x5C)).stream;
    EXPECT_EQ(fill, repeated({0xE7, 0xFF, 0x5C}, 12) + Bytes{0xFF});

    // 1025 bytes without any command: the byte that makes the run 1024 long
    // flushes it, and the last byte goes out in the tail.
    const Bytes plain1025 = withoutCommands(1025);
    const Bytes expected1025 = Bytes{0xE3, 0xFF} + Bytes(plain1025.begin(), plain1025.begin() + 1024) +
                               Bytes{0x00, plain1025[1024], 0xFF};
    EXPECT_EQ(encodeLz(plain1025).stream, expected1025);

    // With 1026 bytes the main loop reaches the 1024th byte and flushes; the
    // last two bytes make the tail.
    const Bytes plain1026 = withoutCommands(1026);
    const Bytes stream1026 = encodeLz(plain1026).stream;
    EXPECT_EQ(stream1026, (Bytes{0xE3, 0xFF} + Bytes(plain1026.begin(), plain1026.begin() + 1024) +
                           Bytes{0x01, plain1026[1024], plain1026[1025], 0xFF}));

    // Literal run lengths cross the short/extended header boundary at 32/33.
    const Bytes plain33 = withoutCommands(33);
    EXPECT_EQ(encodeLz(plain33).stream, (Bytes{0xE0, 0x20} + plain33 + Bytes{0xFF}));
    const Bytes plain32 = withoutCommands(32);
    EXPECT_EQ(encodeLz(plain32).stream, (Bytes{0x1F} + plain32 + Bytes{0xFF}));
}

TEST(LzEncoderTest, ExtendedHeadersCarryTheLengthHighBits)
{
    // Fills of 33 and 1000 bytes, and a copy of 600 bytes from position 2.
    const Bytes words = repeated({0xAB, 0xCD}, 33);
    EXPECT_EQ(encodeLz(words).stream, (Bytes{0xE8, 0x20, 0xAB, 0xCD, 0xFF}));
    Bytes increasing(1000);
    for (std::size_t k = 0; k < increasing.size(); ++k) {
        increasing[k] = static_cast<std::uint8_t>(k + 7);
    }
    EXPECT_EQ(encodeLz(increasing).stream, (Bytes{0xEF, 0xE7, 0x07, 0xFF}));

    const Bytes head = withoutCommands(602);
    const Bytes input = head + Bytes(head.begin() + 2, head.begin() + 602);
    const EncodeRun run = encodeLz(input);
    ASSERT_GE(run.stream.size(), 6U);
    EXPECT_EQ(Bytes(run.stream.end() - 5, run.stream.end()), (Bytes{0xF2, 0x57, 0x02, 0x00, 0xFF}));
}

TEST(LzEncoderTest, Type1PacksBeforeEncoding)
{
    // One 4bpp tile: plane-3 bytes (whatever they hold) are dropped first, so
    // the 24 packed bytes are encoded and the input length is replaced.
    Bytes tile(32);
    for (std::size_t k = 0; k < tile.size(); ++k) {
        tile[k] = static_cast<std::uint8_t>(0x11 * (k % 7) + 3 * k);
    }
    Bytes packed(tile.begin(), tile.begin() + 16);
    for (std::size_t r = 0; r < 8; ++r) {
        packed.push_back(tile[16 + 2 * r]);
    }
    const EncodeRun run = encodeLz(tile, 1);
    EXPECT_EQ(run.inputLength, 24U);
    EXPECT_EQ(Bytes(run.input.begin(), run.input.begin() + 24), packed);
    EXPECT_EQ(run.stream, encodeLz(packed, 0).stream);

    // Up to 16 bytes nothing is packed.
    EXPECT_EQ(encodeLz({1, 2}, 1).stream, (Bytes{0x01, 1, 2, 0xFF}));
}

TEST(LzEncoderTest, OutputBoundClearsOk)
{
    // Literal-only input takes two header bytes per 1024 and the end marker:
    // 0xFF7F bytes fill the buffer exactly.
    const EncodeRun fits = encodeLz(withoutCommands(0xFF7F));
    EXPECT_TRUE(fits.ok);
    EXPECT_EQ(fits.stream.size(), 0x10000U);
    EXPECT_EQ(fits.stream.back(), 0xFF);

    // One byte more and the end marker finds the buffer full.
    const Bytes oneMore = withoutCommands(0xFF80);
    const EncodeRun full = encodeLz(oneMore);
    EXPECT_FALSE(full.ok);
    EXPECT_EQ(full.stream.size(), 0x10000U);
    EXPECT_EQ(full.stream.back(), oneMore.back());

    // Further still, the tail's run of 1008 bytes does not fit: its header is
    // written but none of its bytes, and the end marker still finds room.
    const EncodeRun over = encodeLz(withoutCommands(0xFFF0));
    EXPECT_FALSE(over.ok);
    EXPECT_EQ(over.stream.size(), 63U * 1026U + 3U);
    EXPECT_EQ(Bytes(over.stream.end() - 3, over.stream.end()), (Bytes{0xE3, 0xEF, 0xFF}));

    // In the main loop, a pending run that does not fit is dropped, the rest
    // of the step (the command after it) is still written, and the encode ends
    // without tail or end marker.
    const Bytes overflowInLoop = withoutCommands(0xFFE8) + Bytes(20, 0xC4) + Bytes{1, 2};
    const EncodeRun stopped = encodeLz(overflowInLoop);
    EXPECT_FALSE(stopped.ok);
    EXPECT_EQ(stopped.stream.size(), 63U * 1026U + 4U);
    EXPECT_EQ(Bytes(stopped.stream.end() - 4, stopped.stream.end()), (Bytes{0xE3, 0xE7, 0x33, 0xC4}));

    // A flag that the caller left clear writes nothing.
    Bytes output(kCodecBufferSize, 0xEE);
    Bytes input = {1, 2, 3, 4, 5};
    EncodeContext context;
    context.input = input.data();
    context.inputLength = 5;
    context.output = output.data();
    context.ok = false;
    encodeLzSheet(context);
    EXPECT_FALSE(context.ok);
    EXPECT_EQ(context.outputLength, 0U);
    EXPECT_EQ(output[0], 0xEE);
    EXPECT_EQ(context.matchIndex.head, nullptr) << "the index is released";
}

TEST(LzEncoderTest, MatchIndexChainsEveryBytePairInOrder)
{
    Bytes input = {7, 7, 7, 1, 7, 7, 2};
    EncodeContext context;
    context.input = input.data();
    context.inputLength = static_cast<std::uint32_t>(input.size());
    ASSERT_TRUE(buildMatchIndex(context));
    std::vector<std::uint32_t> chain;
    for (const MatchNode* node = context.matchIndex.head[7 + 256 * 7]; node != nullptr; node = node->next) {
        chain.push_back(node->position);
    }
    EXPECT_EQ(chain, (std::vector<std::uint32_t>{0, 1, 4}));
    EXPECT_EQ(context.matchIndex.tail[7 + 256 * 7]->position, 4U);
    // The key has the first byte in the low half.
    ASSERT_NE(context.matchIndex.head[1 + 256 * 7], nullptr);
    EXPECT_EQ(context.matchIndex.head[1 + 256 * 7]->position, 3U);
    EXPECT_EQ(context.matchIndex.head[7 + 256 * 1]->position, 2U);
    EXPECT_EQ(context.matchIndex.head[7 + 256 * 2]->position, 5U);
    EXPECT_EQ(context.matchIndex.head[2 + 256 * 7], nullptr);
    releaseMatchIndex(context);
    EXPECT_EQ(context.matchIndex.nodes, nullptr);

    // One byte: no nodes, and that is no failure.
    context.inputLength = 1;
    ASSERT_TRUE(buildMatchIndex(context));
    EXPECT_EQ(context.matchIndex.nodes, nullptr);
    releaseMatchIndex(context);
}

}  // namespace
