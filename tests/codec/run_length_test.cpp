#include <gtest/gtest.h>

#include <cstdint>

#include "codec/codec_limits.h"
#include "codec/run_length.h"
#include "codec_test_support.h"

namespace {

Bytes ff(std::size_t count)
{
    return Bytes(count, 0xFF);
}

TEST(RunLengthDecoderTest, SheetStreams)
{
    struct Case {
        const char* name;
        Bytes stream;
        Bytes expected;
    };
    const Case cases[] = {
        {"one literal byte", {0x00, 0x41, 0xFF, 0xFF}, {0x41}},
        {"leading FF FF is a run of 128", {0xFF, 0xFF, 0x00, 0x41, 0xFF, 0xFF}, ff(128) + Bytes{0x41}},
        {"run of 128 zeros", {0xFF, 0x00, 0xFF, 0xFF}, Bytes(128, 0x00)},
        {"FE FF is a run of 127 and decoding goes on", {0x00, 0x41, 0xFE, 0xFF, 0x01, 0x05, 0x06, 0xFF, 0xFF},
         Bytes{0x41} + ff(127) + Bytes{0x05, 0x06}},
        {"FF inside a literal is data", {0x02, 0xFF, 0xFF, 0x07, 0xFF, 0xFF}, {0xFF, 0xFF, 0x07}},
        {"FF FF after a run ends", {0x83, 0x09, 0xFF, 0xFF, 0x00, 0x01}, Bytes(4, 0x09)},
        {"longest literal", Bytes{0x7F} + repeated({1, 2, 3}, 128) + Bytes{0xFF, 0xFF}, repeated({1, 2, 3}, 128)},
    };
    for (const Case& c : cases) {
        const DecodeRun run = runDecoder(decodeRunLengthSheet, c.stream, 2);
        EXPECT_EQ(run.output(), c.expected) << c.name;
        EXPECT_FALSE(run.running) << c.name;
    }
}

TEST(RunLengthDecoderTest, SheetBounds)
{
    // 511 runs of 128 and one of 112 reach 0xFFF0.
    const Bytes upTo0xFFF0 = repeated({0xFF, 0x11}, 511 * 2) + Bytes{0xEF, 0x11};

    // A literal of 128 would pass 0x10000: nothing stored, its bytes unread.
    const Bytes literal = upTo0xFFF0 + Bytes{0x7F};
    DecodeRun run = runDecoder(decodeRunLengthSheet, literal + Bytes(128, 0x22) + Bytes{0xFF, 0xFF}, 2);
    EXPECT_EQ(run.length, 0xFFF0U);
    EXPECT_FALSE(run.running);
    EXPECT_EQ(run.streamPosition, static_cast<long>(literal.size()));
    EXPECT_EQ(run.buffer[0xFFF0], 0xEE);

    // A run of 17 would pass: its value is read, nothing is stored.
    const Bytes longRun = upTo0xFFF0 + Bytes{0x90, 0x33};
    run = runDecoder(decodeRunLengthSheet, longRun + Bytes{0xFF, 0xFF}, 2);
    EXPECT_EQ(run.length, 0xFFF0U);
    EXPECT_EQ(run.streamPosition, static_cast<long>(longRun.size()));
    EXPECT_EQ(run.buffer[0xFFF0], 0xEE);

    // Exactly 16 more fill the buffer; the next packet is refused.
    run = runDecoder(decodeRunLengthSheet, upTo0xFFF0 + Bytes{0x8F, 0x33, 0x80, 0x44, 0xFF, 0xFF}, 2);
    EXPECT_EQ(run.length, 0x10000U);
    EXPECT_EQ(run.buffer[0xFFFF], 0x33);
}

TEST(RunLengthDecoderTest, TruncatedStreamsRepeatTheLastPacket)
{
    // A run packet repeats until the 0x10000 bound.
    DecodeRun run = runDecoder(decodeRunLengthSheet, {0x82, 0x07}, 2);
    EXPECT_EQ(run.length, 0xFFFFU);
    EXPECT_FALSE(run.running);
    EXPECT_EQ(Bytes(run.buffer.begin(), run.buffer.begin() + 0xFFFF), Bytes(0xFFFF, 0x07));

    // A literal that cannot be read counts its bytes and leaves the buffer.
    run = runDecoder(decodeRunLengthSheet, {0x01, 0x41}, 2);
    EXPECT_EQ(run.length, 0x10000U);
    Bytes expected(kCodecBufferSize, 0xEE);
    expected[0] = 0x41;
    EXPECT_EQ(run.buffer, expected);

    // The stream FF FF alone: a run of 128 at the start; the failed reads that
    // follow leave FF FF in the fields, which is now the end marker.
    DecodeContext context;
    run = runDecoder(decodeRunLengthSheet, {0xFF, 0xFF}, context, 2);
    EXPECT_EQ(run.output(), ff(128));
    // The fields persist into the next decode: an empty stream again gives a
    // run of 128 first, then ends.
    run = runDecoder(decodeRunLengthSheet, {}, context, 2);
    EXPECT_EQ(run.output(), ff(128));
    // A value field left at another byte makes the header repeat as a run.
    run = runDecoder(decodeRunLengthSheet, {0xFF, 0x0C}, context, 2);
    EXPECT_EQ(run.length, 0x10000U);
    EXPECT_EQ(run.buffer[0xFFFF], 0x0C);

    // Type 3 repeats until the block size.
    run = runDecoder(decodeRunLengthBlock, {0x00, 0x41}, 3);
    EXPECT_EQ(run.length, 0x8000U);
    EXPECT_EQ(run.buffer[0], 0x41);
    EXPECT_EQ(run.buffer[1], 0xEE);
}

TEST(RunLengthDecoderTest, BlockStreams)
{
    // 256 runs of 128 zeros make the block; nothing after them is read.
    const Bytes block = repeated({0xFF, 0x00}, 512);
    DecodeRun run = runDecoder(decodeRunLengthBlock, block + Bytes{0x00, 0x55}, 3);
    EXPECT_EQ(run.output(), Bytes(0x8000, 0x00));
    EXPECT_FALSE(run.running);
    EXPECT_EQ(run.streamPosition, 512);

    // 0x7FFF bytes and then a run of 128: the last packet overshoots to 0x807F.
    run = runDecoder(decodeRunLengthBlock, repeated({0xFF, 0x01}, 510) + Bytes{0xFE, 0x01, 0xFF, 0x02}, 3);
    EXPECT_EQ(run.length, 0x807FU);
    EXPECT_EQ(run.buffer[0x7FFE], 0x01);
    EXPECT_EQ(run.buffer[0x7FFF], 0x02);
    EXPECT_EQ(run.buffer[0x807E], 0x02);

    // FF FF is always a run of 128 bytes of FF, also after other bytes.
    run = runDecoder(decodeRunLengthBlock, Bytes{0x00, 0x41, 0xFF, 0xFF} + repeated({0xFF, 0x00}, 600), 3);
    EXPECT_EQ(Bytes(run.buffer.begin(), run.buffer.begin() + 130), Bytes{0x41} + ff(128) + Bytes{0x00});
    EXPECT_EQ(run.length, 1U + 128U + 255U * 128U);
}

EncodeRun encodeSheet(const Bytes& input)
{
    return runEncoder(encodeRunLengthSheet, input, 2);
}

EncodeRun encodeBlock(const Bytes& input)
{
    return runEncoder(encodeRunLengthBlock, input, 3);
}

TEST(RunLengthEncoderTest, WorkedInputs)
{
    struct Case {
        const char* name;
        Bytes input;
        Bytes block;  // type 3; type 2 adds FF FF
    };
    const Case cases[] = {
        {"empty", {}, {}},
        {"one byte", {0x41}, {0x00, 0x41}},
        {"two equal bytes never make a run", {0x01, 0x01, 0x02}, {0x02, 0x01, 0x01, 0x02}},
        {"run of three", {0x01, 0x01, 0x01}, {0x82, 0x01}},
        {"300 equal bytes", Bytes(300, 0x07), {0xFF, 0x07, 0xFF, 0x07, 0xAB, 0x07}},
        {"a remainder of two joins the literal", Bytes(130, 0x07), {0xFF, 0x07, 0x01, 0x07, 0x07}},
        {"no runs in the last two bytes", {0x05, 0x06, 0x06}, {0x02, 0x05, 0x06, 0x06}},
        {"a run ends the pending literal", {1, 2, 3, 3, 3, 4}, {0x01, 1, 2, 0x82, 3, 0x00, 4}},
    };
    for (const Case& c : cases) {
        const EncodeRun block = encodeBlock(c.input);
        EXPECT_TRUE(block.ok) << c.name;
        EXPECT_EQ(block.stream, c.block) << c.name;
        const EncodeRun sheet = encodeSheet(c.input);
        EXPECT_TRUE(sheet.ok) << c.name;
        EXPECT_EQ(sheet.stream, (c.block + Bytes{0xFF, 0xFF})) << c.name;
    }
}

TEST(RunLengthEncoderTest, RunsOfFFInType2)
{
    // Only a leading run of 128 bytes of FF may be written whole.
    EXPECT_EQ(encodeSheet(ff(128) + Bytes{0x05}).stream, (Bytes{0xFF, 0xFF, 0x00, 0x05, 0xFF, 0xFF}));
    EXPECT_EQ(encodeSheet(Bytes{0x00} + ff(128) + Bytes{0x05}).stream,
              (Bytes{0x00, 0x00, 0xFE, 0xFF, 0x01, 0xFF, 0x05, 0xFF, 0xFF}));
    const Bytes long300 = Bytes{0x00} + ff(300);
    EXPECT_EQ(encodeSheet(long300).stream, (Bytes{0x00, 0x00, 0xFE, 0xFF, 0xFE, 0xFF, 0xAD, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(encodeBlock(long300).stream, (Bytes{0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xAB, 0xFF}));
    // A leading run of 300: 128, then the rest shortened to 127 and 45.
    EXPECT_EQ(encodeSheet(ff(300)).stream, (Bytes{0xFF, 0xFF, 0xFE, 0xFF, 0xAC, 0xFF, 0xFF, 0xFF}));
    // Runs of other values are written whole anywhere.
    EXPECT_EQ(encodeSheet(Bytes{0x00} + Bytes(128, 0xFE)).stream, (Bytes{0x00, 0x00, 0xFF, 0xFE, 0xFF, 0xFF}));
}

TEST(RunLengthEncoderTest, LiteralsSplitAt128)
{
    Bytes plain(129);
    for (std::size_t k = 0; k < plain.size(); ++k) {
        plain[k] = static_cast<std::uint8_t>(k);
    }
    EXPECT_EQ(encodeBlock(plain).stream,
              (Bytes{0x7F} + Bytes(plain.begin(), plain.begin() + 128) + Bytes{0x00, plain[128]}));

    // 0x8000 bytes without a run take one header per 128 bytes.
    const Bytes noRuns = repeated({1, 2}, 0x8000);
    const EncodeRun block = encodeBlock(noRuns);
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.stream.size(), 33024U);
    EXPECT_EQ(encodeSheet(noRuns).stream.size(), 33026U);
}

TEST(RunLengthEncoderTest, OutputBoundClearsOk)
{
    // 0xFF00 bytes without a run: 508 literal packets of 129 bytes fit, the
    // 509th gets its header but not its bytes, and the encode ends there
    // without tail or end marker.
    const Bytes noRuns = repeated({1, 2}, 0xFF00);
    const EncodeRun sheet = encodeSheet(noRuns);
    EXPECT_FALSE(sheet.ok);
    EXPECT_EQ(sheet.stream.size(), 508U * 129U + 1U);
    EXPECT_EQ(sheet.stream.back(), 0x7F);

    // 508 full packets and a last packet of 3 bytes take exactly 0x10000 in
    // type 3; type 2's end marker then finds the buffer full.
    const Bytes exact = repeated({1, 2}, 508 * 128 + 3);
    const EncodeRun block = encodeBlock(exact);
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.stream.size(), 0x10000U);
    const EncodeRun overMarker = encodeSheet(exact);
    EXPECT_FALSE(overMarker.ok);
    EXPECT_EQ(overMarker.stream, block.stream);
}

TEST(RunLengthRoundTripTest, EncodedStreamsDecodeToTheirInput)
{
    TestRandom random(21);
    for (std::uint32_t trial = 0; trial < 500; ++trial) {
        // Random bytes with runs of every length, of FF in particular, next to
        // literals of every length.
        Bytes input;
        const std::size_t target = trial < 250 ? 1 + random.below(300) : 1 + random.below(0x8000);
        while (input.size() < target) {
            const std::uint8_t value = random.below(3) == 0 ? 0xFF : random.byte();
            const std::size_t count = 1 + random.below(random.below(2) == 0 ? 4 : 300);
            if (random.below(2) == 0) {
                input.insert(input.end(), count, value);
            } else {
                for (std::size_t k = 0; k < count; ++k) {
                    input.push_back(random.byte());
                }
            }
        }
        input.resize(target);

        const EncodeRun sheet = encodeSheet(input);
        ASSERT_TRUE(sheet.ok);
        const DecodeRun decoded = runDecoder(decodeRunLengthSheet, sheet.stream, 2);
        ASSERT_EQ(decoded.output(), input) << "type 2, trial " << trial;
        ASSERT_EQ(decoded.streamPosition, static_cast<long>(sheet.stream.size()));

        // Type 3 reads back exactly only a block of 0x8000 bytes (checked for
        // every fourth input, the blocks are what takes the time here).
        if (trial % 4 != 0) {
            continue;
        }
        const Bytes blockInput = repeated(input, 0x8000);
        const EncodeRun block = encodeBlock(blockInput);
        ASSERT_TRUE(block.ok);
        const DecodeRun blockDecoded = runDecoder(decodeRunLengthBlock, block.stream, 3);
        ASSERT_EQ(blockDecoded.output(), blockInput) << "type 3, trial " << trial;
        ASSERT_EQ(blockDecoded.streamPosition, static_cast<long>(block.stream.size()));
    }
}

}  // namespace
