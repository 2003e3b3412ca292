#include <gtest/gtest.h>

#include <cstdint>

#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec_test_support.h"

namespace {

DecodeRun decodeLz(const Bytes& stream, std::uint32_t codecType = 0)
{
    return runDecoder(decodeLzSheet, stream, codecType);
}

// ByteFill commands that write `count` bytes of `value`, 1024 at a time.
Bytes fillCommands(std::uint32_t count, std::uint8_t value)
{
    Bytes out;
    while (count > 0) {
        const std::uint32_t length = count < 1024 ? count : 1024;
        const std::uint32_t field = length - 1;
        if (length <= 32) {
            out.push_back(static_cast<std::uint8_t>(0x20 | field));
        } else {
            out.push_back(static_cast<std::uint8_t>(0xE4 | field >> 8));
            out.push_back(static_cast<std::uint8_t>(field & 0xFF));
        }
        out.push_back(value);
        count -= length;
    }
    return out;
}

Bytes numberedBytes(std::size_t count, std::uint8_t first)
{
    Bytes out(count);
    for (std::size_t k = 0; k < count; ++k) {
        out[k] = static_cast<std::uint8_t>(first + k);
    }
    return out;
}

TEST(LzDecoderTest, WorkedStreams)
{
    struct Case {
        const char* name;
        Bytes stream;
        Bytes expected;
    };
    const Bytes long1024 = numberedBytes(1024, 0x30);
    const Case cases[] = {
        {"end marker alone", {0xFF}, {}},
        {"short direct copy", {0x02, 0x41, 0x42, 0x43, 0xFF}, {0x41, 0x42, 0x43}},
        {"longest direct copy", Bytes{0xE3, 0xFF} + long1024 + Bytes{0xFF}, long1024},
        {"byte fill", {0x23, 0x00, 0xFF}, {0, 0, 0, 0}},
        {"odd word fill ends with the first byte", {0x44, 0x01, 0x02, 0xFF}, {1, 2, 1, 2, 1}},
        {"increasing fill wraps", {0x63, 0xFE, 0xFF}, {0xFE, 0xFF, 0x00, 0x01}},
        {"copy overlapping its own output", {0x00, 0x07, 0x84, 0x00, 0x00, 0xFF}, Bytes(6, 0x07)},
        {"copy of a byte pair repeats it", {0x01, 0x0A, 0x0B, 0x85, 0x00, 0x00, 0xFF},
         {0x0A, 0x0B, 0x0A, 0x0B, 0x0A, 0x0B, 0x0A, 0x0B}},
        {"extended fills", Bytes{0xE4, 0x20, 0x09, 0xEB, 0xFF, 0x01, 0x02, 0xEC, 0x21, 0x00, 0xFF},
         Bytes(33, 0x09) + repeated({1, 2}, 1024) + numberedBytes(34, 0)},
        {"copy header FC", {0x02, 1, 2, 3, 0xFC, 0x03, 0x00, 0x00, 0xFF}, {1, 2, 3, 1, 2, 3, 1}},
        {"copy header FE", Bytes{0x00, 0x44, 0xFE, 0x00, 0x00, 0x00, 0xFF}, Bytes(1 + 0x201, 0x44)},
        {"copy header 0xDF", Bytes{0x00, 0x44, 0xDF, 0x00, 0x00, 0xFF}, Bytes(33, 0x44)},
        {"copy position is absolute, low byte first",
         Bytes{0x05, 1, 2, 3, 4, 5, 6} + fillCommands(0x100 - 6, 0) + Bytes{0x09, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16} +
             Bytes{0x82, 0x02, 0x01, 0x81, 0x02, 0x00, 0xFF},
         Bytes{1, 2, 3, 4, 5, 6} + Bytes(0x100 - 6, 0) + numberedBytes(10, 7) + Bytes{9, 10, 11, 3, 4}},
    };
    for (const Case& c : cases) {
        const DecodeRun run = decodeLz(c.stream);
        EXPECT_EQ(run.output(), c.expected) << c.name;
        EXPECT_FALSE(run.running) << c.name;
        EXPECT_EQ(run.streamPosition, static_cast<long>(c.stream.size())) << c.name << ": stops at the end marker";
    }
}

// Every header byte but 0xFF, after eight known bytes, decodes by the command
// that the format table gives its value.
TEST(LzDecoderTest, EveryHeaderByteSelectsItsCommand)
{
    const Bytes prefix = numberedBytes(8, 0x10);
    for (std::uint32_t h = 0; h < 0xFF; ++h) {
        Bytes stream = Bytes{0x07} + prefix;
        stream.push_back(static_cast<std::uint8_t>(h));
        std::uint32_t length = 0;
        std::uint32_t kind = 0;
        if (h < 0xE0) {
            kind = h >> 5;
            length = (h & 0x1F) + 1;
        } else {
            stream.push_back(0x02);
            kind = (h >> 2) & 7;
            length = ((h & 3) << 8 | 0x02) + 1;
        }
        Bytes expected = prefix;
        if (kind == 0) {
            const Bytes literal = numberedBytes(length, 0x80);
            stream = stream + literal;
            expected = expected + literal;
        } else if (kind == 1) {
            stream.push_back(0x5A);
            expected = expected + Bytes(length, 0x5A);
        } else if (kind == 2) {
            stream = stream + Bytes{0x12, 0x34};
            expected = expected + repeated({0x12, 0x34}, length);
        } else if (kind == 3) {
            stream.push_back(0xFD);
            expected = expected + numberedBytes(length, 0xFD);
        } else {
            stream = stream + Bytes{0x02, 0x00};  // from position 2, overlapping
            for (std::uint32_t k = 0; k < length; ++k) {
                expected.push_back(expected[2 + k]);
            }
        }
        stream.push_back(0xFF);
        const DecodeRun run = decodeLz(stream);
        ASSERT_EQ(run.output(), expected) << "header " << h;
        ASSERT_EQ(run.streamPosition, static_cast<long>(stream.size())) << "header " << h;
    }
}

TEST(LzDecoderTest, WholeCommandBoundsStopBeforeWriting)
{
    // A copy whose source range ends exactly at 0xFFFF is accepted and reads
    // whatever the buffer holds there (0xEE: the decoder does not clear it).
    const Bytes copyAtEnd = Bytes{0x07} + numberedBytes(8, 1) + Bytes{0x9F, 0xE0, 0xFF};
    DecodeRun run = decodeLz(copyAtEnd + Bytes{0xFF});
    EXPECT_EQ(run.output(), numberedBytes(8, 1) + Bytes(32, 0xEE));

    // One byte further stops the decode with nothing written and nothing more read.
    const Bytes copyPastEnd = copyAtEnd + Bytes{0x9F, 0xE1, 0xFF};
    run = decodeLz(copyPastEnd + Bytes{0x00, 0x99, 0xFF});
    EXPECT_EQ(run.length, 40U);
    EXPECT_FALSE(run.running);
    EXPECT_EQ(run.streamPosition, static_cast<long>(copyPastEnd.size()));

    const Bytes upTo0xFFF0 = fillCommands(0xFFF0, 0x11);

    // A DirectCopy of 17 at 0xFFF0 stops before its literal bytes are read.
    const Bytes direct17 = upTo0xFFF0 + Bytes{0x10};
    run = decodeLz(direct17 + numberedBytes(17, 0x40) + Bytes{0xFF});
    EXPECT_EQ(run.length, 0xFFF0U);
    EXPECT_EQ(run.streamPosition, static_cast<long>(direct17.size()));
    EXPECT_EQ(run.buffer[0xFFF0], 0xEE);

    // A DirectCopy of 16 fills the buffer and decoding goes on with the next
    // header: a ByteFill whose byte is read before its bound stops the decode.
    const Bytes direct16 = upTo0xFFF0 + Bytes{0x0F} + numberedBytes(16, 0x40) + Bytes{0x20, 0x77};
    run = decodeLz(direct16 + Bytes{0xFF});
    EXPECT_EQ(run.length, 0x10000U);
    EXPECT_EQ(Bytes(run.buffer.begin() + 0xFFF0, run.buffer.end()), numberedBytes(16, 0x40));
    EXPECT_EQ(run.streamPosition, static_cast<long>(direct16.size()));

    // A ByteFill of 17 at 0xFFF0 writes nothing.
    const Bytes fill17 = upTo0xFFF0 + Bytes{0x30, 0x22};
    run = decodeLz(fill17 + Bytes{0xFF});
    EXPECT_EQ(run.length, 0xFFF0U);
    EXPECT_EQ(run.buffer[0xFFF0], 0xEE);
    EXPECT_EQ(run.streamPosition, static_cast<long>(fill17.size()));
}

TEST(LzDecoderTest, PerByteBoundsFillTheBufferAndEndAfterTheCommand)
{
    struct Case {
        const char* name;
        std::uint32_t before;
        Bytes command;
        Bytes lastBytes;  // what lands at the end of the buffer
    };
    const Case cases[] = {
        {"word fill", 0xFFFF, {0x43, 0xAA, 0xBB}, {0xAA}},
        {"increasing fill", 0xFFFE, {0x63, 0x10}, {0x10, 0x11}},
        {"copy", 0xFFFE, {0x83, 0x00, 0x00}, {0x11, 0x11}},
        {"extended copy", 0xFFFC, {0xF0, 0x09, 0x00, 0x00}, {0x11, 0x11, 0x11, 0x11}},
    };
    for (const Case& c : cases) {
        const Bytes stream = fillCommands(c.before, 0x11) + c.command;
        const DecodeRun run = decodeLz(stream + Bytes{0x00, 0x99, 0xFF});
        EXPECT_EQ(run.length, 0x10000U) << c.name;
        EXPECT_FALSE(run.running) << c.name;
        EXPECT_EQ(Bytes(run.buffer.end() - static_cast<long>(c.lastBytes.size()), run.buffer.end()), c.lastBytes)
            << c.name;
        EXPECT_EQ(run.streamPosition, static_cast<long>(stream.size())) << c.name << ": the next header is not read";
    }
}

TEST(LzDecoderTest, TruncatedStreamRepeatsItsLastCommandUntilABound)
{
    // A DirectCopy of 3 with one byte left: the unread bytes keep the buffer's
    // values but are counted, until the next copy of 3 would pass the end.
    DecodeRun run = decodeLz({0x02, 0x41});
    EXPECT_EQ(run.length, 0xFFFFU);
    EXPECT_FALSE(run.running);
    Bytes expected(kCodecBufferSize, 0xEE);
    expected[0] = 0x41;
    EXPECT_EQ(run.buffer, expected);

    // A ByteFill repeats with the same byte up to exactly 0x10000.
    run = decodeLz({0x21, 0x07});
    EXPECT_EQ(run.output(), Bytes(kCodecBufferSize, 0x07));

    // An IncreasingFill starts again from the byte that was read.
    run = decodeLz({0x63, 0xFE});
    EXPECT_EQ(run.output(), repeated({0xFE, 0xFF, 0x00, 0x01}, kCodecBufferSize));

    // A copy cut short repeats with the same position.
    run = decodeLz({0x01, 0x05, 0x06, 0x80, 0x01});
    EXPECT_EQ(run.length, 0x10000U);
    EXPECT_EQ(Bytes(run.buffer.begin(), run.buffer.begin() + 6), (Bytes{0x05, 0x06, 0x06, 0x06, 0x06, 0x06}));

    // A fresh context reading an empty file: every scratch byte is 0, a
    // DirectCopy of one byte that reads nothing, repeated to the end.
    run = decodeLz({});
    EXPECT_EQ(run.length, 0x10000U);
    EXPECT_EQ(run.buffer, Bytes(kCodecBufferSize, 0xEE));
}

TEST(LzDecoderTest, ScratchBytesPersistAcrossDecodes)
{
    DecodeContext context;
    // An extended ByteFill of 0x102 bytes, cut off after its fill byte...
    DecodeRun run = runDecoder(decodeLzSheet, {0xE5, 0x01, 0x09}, context);
    EXPECT_EQ(run.output(), Bytes(254 * 0x102, 0x09));
    EXPECT_EQ(context.header, 0xE5);
    EXPECT_EQ(context.secondHeader, 0x01);
    EXPECT_EQ(context.firstArgument, 0x09);
    // ...leaves header, length and byte behind: a following empty stream
    // repeats that command.
    run = runDecoder(decodeLzSheet, {}, context);
    EXPECT_EQ(run.output(), Bytes(254 * 0x102, 0x09));

    // Once an end marker has been read, an empty stream ends at once.
    run = runDecoder(decodeLzSheet, {0x44, 0x01, 0x02, 0xFF}, context);
    EXPECT_EQ(run.output(), (Bytes{1, 2, 1, 2, 1}));
    EXPECT_EQ(context.secondArgument, 0x02);
    run = runDecoder(decodeLzSheet, {}, context);
    EXPECT_EQ(run.length, 0U);
    EXPECT_FALSE(run.running);
}

TEST(LzDecoderTest, Type1OutputIsWidenedHoweverTheDecodeEnded)
{
    // 24 bytes of one 3bpp tile become 32 bytes with a zero plane 3.
    const Bytes tile3 = numberedBytes(24, 0x81);
    DecodeRun run = decodeLz(Bytes{0x17} + tile3 + Bytes{0xFF}, 1);
    Bytes tile4 = Bytes(tile3.begin(), tile3.begin() + 16);
    for (std::size_t r = 0; r < 8; ++r) {
        tile4.push_back(tile3[16 + r]);
        tile4.push_back(0);
    }
    EXPECT_EQ(run.output(), tile4);

    // Short sheets stay as they are; an empty decode stays empty.
    EXPECT_EQ(decodeLz({0x02, 1, 2, 3, 0xFF}, 1).output(), (Bytes{1, 2, 3}));
    EXPECT_EQ(decodeLz({0xFF}, 1).length, 0U);

    // A decode ended by a bound (0x10000 bytes) is widened and capped.
    run = decodeLz({0x21, 0x07}, 1);
    ASSERT_EQ(run.length, 0x10000U);
    EXPECT_EQ(run.buffer[0x1E], 0x07);
    EXPECT_EQ(run.buffer[0x1F], 0x00);
    EXPECT_EQ(run.buffer[0xFFFE], 0x07);
    EXPECT_EQ(run.buffer[0xFFFF], 0x00);
}

}  // namespace
