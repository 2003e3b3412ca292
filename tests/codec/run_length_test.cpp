#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "codec/run_length.h"
#include "codec_test_support.h"

namespace {

const Bytes ff128(128, 0xFF);

TEST(RunLengthDecoderTest, SheetStreams)
{
    const struct {
        const char* name;
        Bytes stream;
        Bytes expected;
    } cases[] = {
        {"one literal byte", {0x00, 0x41, 0xFF, 0xFF}, {0x41}},
        {"leading FF FF is a run of 128", {0xFF, 0xFF, 0x00, 0x41, 0xFF, 0xFF}, ff128 + Bytes{0x41}},
        {"run of 128 zeros", {0xFF, 0x00, 0xFF, 0xFF}, Bytes(128, 0x00)},
        {"FE FF is a run of 127 and decoding goes on", {0x00, 0x41, 0xFE, 0xFF, 0x01, 0x05, 0x06, 0xFF, 0xFF},
         Bytes{0x41} + Bytes(127, 0xFF) + Bytes{0x05, 0x06}},
        {"FF inside a literal is data", {0x02, 0xFF, 0xFF, 0x07, 0xFF, 0xFF}, {0xFF, 0xFF, 0x07}},
        {"longest literal", Bytes{0x7F} + counting(128, 1) + Bytes{0xFF, 0xFF}, counting(128, 1)},
    };
    for (const auto& c : cases) {
        const DecodeRun run = runDecoder(decodeRunLengthSheet, c.stream + Bytes{0x00, 0x99}, 2);
        EXPECT_EQ(run.output(), c.expected) << c.name;
        EXPECT_FALSE(run.running) << c.name;
        EXPECT_EQ(run.streamPosition, static_cast<long>(c.stream.size())) << c.name;
    }
}

TEST(RunLengthDecoderTest, SheetBounds)
{
    // 511 runs of 128 and one of 112 reach 0xFFF0. A packet that would pass
    // 0x10000 stores nothing; a literal's bytes stay unread, a run's value is read.
    const Bytes upTo0xFFF0 = repeated({0xFF, 0x11}, 511 * 2) + Bytes{0xEF, 0x11};
    const struct {
        const char* name;
        Bytes read;
        Bytes unread;
        std::uint32_t length;
    } cases[] = {
        {"literal of 17", {0x10}, Bytes(17, 0x22) + Bytes{0xFF, 0xFF}, 0xFFF0},
        {"run of 17", {0x90, 0x33}, {0xFF, 0xFF}, 0xFFF0},
        {"run of 16 fills the buffer, the next packet is refused", {0x8F, 0x33, 0x80, 0x44}, {0xFF, 0xFF}, 0x10000},
    };
    for (const auto& c : cases) {
        const DecodeRun run = runDecoder(decodeRunLengthSheet, upTo0xFFF0 + c.read + c.unread, 2);
        EXPECT_EQ(run.length, c.length) << c.name;
        EXPECT_FALSE(run.running) << c.name;
        EXPECT_EQ(run.streamPosition, static_cast<long>(upTo0xFFF0.size() + c.read.size())) << c.name;
        EXPECT_EQ(run.buffer[0xFFF0], c.length == 0xFFF0 ? 0xEE : 0x33) << c.name;
    }
}

TEST(RunLengthDecoderTest, TruncatedStreamsRepeatTheLastPacket)
{
    // A run repeats until the 0x10000 bound; a literal that cannot be read
    // counts its bytes and leaves the buffer as it was.
    EXPECT_EQ(runDecoder(decodeRunLengthSheet, {0x82, 0x07}, 2).output(), Bytes(0xFFFF, 0x07));
    EXPECT_EQ(runDecoder(decodeRunLengthSheet, {0x01, 0x41}, 2).output(), Bytes{0x41} + Bytes(0xFFFF, 0xEE));
    // Type 3 repeats until the block size.
    EXPECT_EQ(runDecoder(decodeRunLengthBlock, {0x00, 0x41}, 3).output(), Bytes{0x41} + Bytes(0x7FFF, 0xEE));

    // FF FF alone: a run of 128 at the start, then the failed reads leave FF FF
    // in the fields, which is now the end marker. The fields persist into the
    // next decode; a value field left at another byte repeats as a run.
    DecodeContext context;
    EXPECT_EQ(runDecoder(decodeRunLengthSheet, {0xFF, 0xFF}, context, 2).output(), ff128);
    EXPECT_EQ(runDecoder(decodeRunLengthSheet, {}, context, 2).output(), ff128);
    EXPECT_EQ(runDecoder(decodeRunLengthSheet, {0xFF, 0x0C}, context, 2).output(), Bytes(0x10000, 0x0C));
}

TEST(RunLengthDecoderTest, BlockStreams)
{
    // 256 runs of 128 zeros make the block; nothing after them is read.
    DecodeRun run = runDecoder(decodeRunLengthBlock, repeated({0xFF, 0x00}, 512) + Bytes{0x00, 0x55}, 3);
    EXPECT_EQ(run.output(), Bytes(0x8000, 0x00));
    EXPECT_FALSE(run.running);
    EXPECT_EQ(run.streamPosition, 512);

    // 0x7FFF bytes and then a run of 128: the last packet overshoots to 0x807F.
    run = runDecoder(decodeRunLengthBlock, repeated({0xFF, 0x01}, 510) + Bytes{0xFE, 0x01, 0xFF, 0x02, 0x00}, 3);
    EXPECT_EQ(run.output(), Bytes(0x7FFF, 0x01) + Bytes(128, 0x02));
    EXPECT_EQ(run.streamPosition, 514);

    // FF FF is always a run of 128 bytes of FF, also after other bytes.
    run = runDecoder(decodeRunLengthBlock, Bytes{0x00, 0x41, 0xFF, 0xFF} + repeated({0xFF, 0x00}, 600), 3);
    EXPECT_EQ(run.output(), Bytes{0x41} + ff128 + Bytes(255 * 128, 0x00));
}

TEST(RunLengthEncoderTest, WorkedInputs)
{
    const Bytes plain129 = counting(129, 0);
    const struct {
        const char* name;
        Bytes input;
        Bytes block;  // type 3
        Bytes sheet;  // type 2, when it is not `block` followed by FF FF
    } cases[] = {
        {"empty", {}, {}, {}},
        {"one byte", {0x41}, {0x00, 0x41}, {}},
        {"two equal bytes never make a run", {0x01, 0x01, 0x02}, {0x02, 0x01, 0x01, 0x02}, {}},
        {"run of three", {0x01, 0x01, 0x01}, {0x82, 0x01}, {}},
        {"300 equal bytes", Bytes(300, 0x07), {0xFF, 0x07, 0xFF, 0x07, 0xAB, 0x07}, {}},
        {"a remainder of two joins the literal", Bytes(130, 0x07), {0xFF, 0x07, 0x01, 0x07, 0x07}, {}},
        {"no runs in the last two bytes", {0x05, 0x06, 0x06}, {0x02, 0x05, 0x06, 0x06}, {}},
        {"a run ends the pending literal", {1, 2, 3, 3, 3, 4}, {0x01, 1, 2, 0x82, 3, 0x00, 4}, {}},
        {"129 bytes without a run", plain129,
         Bytes{0x7F} + Bytes(plain129.begin(), plain129.end() - 1) + Bytes{0x00, plain129.back()}, {}},
        {"leading run of 128 FF", ff128 + Bytes{0x05}, {0xFF, 0xFF, 0x00, 0x05}, {}},
        {"later run of 128 FF: 127 in type 2", Bytes{0x00} + ff128 + Bytes{0x05}, {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x05},
         {0x00, 0x00, 0xFE, 0xFF, 0x01, 0xFF, 0x05, 0xFF, 0xFF}},
        {"later run of 300 FF", Bytes{0x00} + Bytes(300, 0xFF), {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xAB, 0xFF},
         {0x00, 0x00, 0xFE, 0xFF, 0xFE, 0xFF, 0xAD, 0xFF, 0xFF, 0xFF}},
        {"leading run of 300 FF", Bytes(300, 0xFF), {0xFF, 0xFF, 0xFF, 0xFF, 0xAB, 0xFF},
         {0xFF, 0xFF, 0xFE, 0xFF, 0xAC, 0xFF, 0xFF, 0xFF}},
        {"later run of 128 FE is whole", Bytes{0x00} + Bytes(128, 0xFE), {0x00, 0x00, 0xFF, 0xFE}, {}},
    };
    for (const auto& c : cases) {
        const EncodeRun block = runEncoder(encodeRunLengthBlock, c.input, 3);
        EXPECT_TRUE(block.ok) << c.name;
        EXPECT_EQ(block.stream, c.block) << c.name;
        const EncodeRun sheet = runEncoder(encodeRunLengthSheet, c.input, 2);
        EXPECT_TRUE(sheet.ok) << c.name;
        EXPECT_EQ(sheet.stream, (c.sheet.empty() ? c.block + Bytes{0xFF, 0xFF} : c.sheet)) << c.name;
    }
}

TEST(RunLengthEncoderTest, OutputBound)
{
    // 0x8000 bytes without a run take one header per 128 bytes.
    EXPECT_EQ(runEncoder(encodeRunLengthBlock, repeated({1, 2}, 0x8000), 3).stream.size(), 33024U);
    EXPECT_EQ(runEncoder(encodeRunLengthSheet, repeated({1, 2}, 0x8000), 2).stream.size(), 33026U);

    // 508 packets of 129 bytes and one of 4 fill the buffer exactly in type 3;
    // type 2's end marker then finds it full.
    const Bytes exact = repeated({1, 2}, 508 * 128 + 3);
    const EncodeRun block = runEncoder(encodeRunLengthBlock, exact, 3);
    EXPECT_TRUE(block.ok);
    EXPECT_EQ(block.stream.size(), 0x10000U);
    const EncodeRun overMarker = runEncoder(encodeRunLengthSheet, exact, 2);
    EXPECT_FALSE(overMarker.ok);
    EXPECT_EQ(overMarker.stream, block.stream);

    // A packet whose bytes do not fit gets its header only: in the tail (4
    // bytes, one too many), or in the main loop, which then ends without tail
    // or end marker.
    const EncodeRun tail = runEncoder(encodeRunLengthBlock, repeated({1, 2}, 508 * 128 + 4), 3);
    EXPECT_FALSE(tail.ok);
    EXPECT_EQ(tail.stream.size(), 508U * 129U + 1U);
    EXPECT_EQ(tail.stream.back(), 0x03);
    const EncodeRun sheet = runEncoder(encodeRunLengthSheet, repeated({1, 2}, 0xFF00), 2);
    EXPECT_FALSE(sheet.ok);
    EXPECT_EQ(sheet.stream.size(), 508U * 129U + 1U);
    EXPECT_EQ(sheet.stream.back(), 0x7F);
}

TEST(RunLengthRoundTripTest, EncodedStreamsDecodeToTheirInput)
{
    const auto roundTrip = [](EncodeFunction encode, DecodeFunction decode, std::uint32_t type, const Bytes& input) {
        const EncodeRun run = runEncoder(encode, input, type);
        const DecodeRun back = runDecoder(decode, run.stream, type);
        return run.ok && back.output() == input && back.streamPosition == static_cast<long>(run.stream.size());
    };
    TestRandom random(21);
    for (std::uint32_t trial = 0; trial < 500; ++trial) {
        // Runs of every length, of FF in particular, next to literals.
        Bytes input;
        const std::size_t target = 1 + random.below(trial < 250 ? 300 : 0x8000);
        while (input.size() < target) {
            const std::uint8_t value = random.below(3) == 0 ? 0xFF : random.byte();
            const std::size_t count = 1 + random.below(random.below(2) == 0 ? 4 : 300);
            input = std::move(input) + (random.below(2) == 0 ? Bytes(count, value) : random.bytes(count));
        }
        input.resize(target);
        ASSERT_TRUE(roundTrip(encodeRunLengthSheet, decodeRunLengthSheet, 2, input)) << "type 2, trial " << trial;
        // Type 3 reads back exactly only a block of 0x8000 bytes.
        ASSERT_TRUE(trial % 4 != 0 || roundTrip(encodeRunLengthBlock, decodeRunLengthBlock, 3, repeated(input, 0x8000)))
            << "type 3, trial " << trial;
    }
}

}  // namespace
