#include <gtest/gtest.h>

#include <cstdint>

#include "codec/lz_codec.h"
#include "codec_test_support.h"

namespace {

DecodeRun decodeLz(const Bytes& stream, std::uint32_t codecType = 0)
{
    return runDecoder(decodeLzSheet, stream, codecType);
}

// ByteFill commands that write `count` bytes of 0x11.
Bytes fillTo(std::uint32_t count)
{
    Bytes out;
    for (std::uint32_t length = 0; count > 0; count -= length) {
        length = count < 1024 ? count : 1024;
        putLzHeader(out, 1, length);
        out.push_back(0x11);
    }
    return out;
}

TEST(LzDecoderTest, WorkedStreams)
{
    const struct {
        const char* name;
        Bytes stream;
        Bytes expected;
    } cases[] = {
        {"end marker alone", {0xFF}, {}},
        {"short direct copy", {0x02, 0x41, 0x42, 0x43, 0xFF}, {0x41, 0x42, 0x43}},
        {"longest direct copy", Bytes{0xE3, 0xFF} + counting(1024, 0x30) + Bytes{0xFF}, counting(1024, 0x30)},
        {"byte fill", {0x23, 0x00, 0xFF}, {0, 0, 0, 0}},
        {"odd word fill ends with the first byte", {0x44, 0x01, 0x02, 0xFF}, {1, 2, 1, 2, 1}},
        {"increasing fill wraps", {0x63, 0xFE, 0xFF}, {0xFE, 0xFF, 0x00, 0x01}},
        {"copy overlapping its own output", {0x00, 0x07, 0x84, 0x00, 0x00, 0xFF}, Bytes(6, 0x07)},
        {"copy of a byte pair repeats it", {0x01, 0x0A, 0x0B, 0x85, 0x00, 0x00, 0xFF}, repeated({0x0A, 0x0B}, 8)},
        {"extended fills", {0xE4, 0x20, 0x09, 0xEB, 0xFF, 0x01, 0x02, 0xEC, 0x21, 0x00, 0xFF},
         Bytes(33, 0x09) + repeated({1, 2}, 1024) + counting(34, 0)},
        {"copy header FC", {0x02, 1, 2, 3, 0xFC, 0x03, 0x00, 0x00, 0xFF}, {1, 2, 3, 1, 2, 3, 1}},
        {"copy header FE", {0x00, 0x44, 0xFE, 0x00, 0x00, 0x00, 0xFF}, Bytes(1 + 0x201, 0x44)},
        {"copy header DF", {0x00, 0x44, 0xDF, 0x00, 0x00, 0xFF}, Bytes(33, 0x44)},
        {"copy position is absolute, low byte first",
         Bytes{0x05, 1, 2, 3, 4, 5, 6} + fillTo(0x100 - 6) + Bytes{0x09} + counting(10, 7) +
             Bytes{0x82, 0x02, 0x01, 0x81, 0x02, 0x00, 0xFF},
         counting(6, 1) + Bytes(0x100 - 6, 0x11) + counting(10, 7) + Bytes{9, 10, 11, 3, 4}},
    };
    for (const auto& c : cases) {
        const DecodeRun run = decodeLz(c.stream + Bytes{0x00, 0x99});
        EXPECT_EQ(run.output(), c.expected) << c.name;
        EXPECT_FALSE(run.running) << c.name;
        EXPECT_EQ(run.streamPosition, static_cast<long>(c.stream.size())) << c.name << ": stops at the end marker";
    }
}

// At the end of the buffer: whole-command bounds (DirectCopy, ByteFill, Copy
// source) stop before writing; per-byte bounds (WordFill, IncreasingFill, Copy
// destination) fill the buffer and end after the command. The decoder must
// read exactly `read` and stop; `written` lands after the first `before` bytes.
TEST(LzDecoderTest, BoundsAtTheEndOfTheBuffer)
{
    const struct {
        const char* name;
        std::uint32_t before;
        Bytes read;
        Bytes unread;
        std::uint32_t length;
        Bytes written;
    } cases[] = {
        {"copy from FFE0 of 32 is taken, from FFE1 is not", 8, {0x9F, 0xE0, 0xFF, 0x9F, 0xE1, 0xFF}, {0x00, 0x99, 0xFF},
         40, Bytes(32, 0xEE)},
        {"direct copy of 17 at FFF0", 0xFFF0, {0x10}, counting(17, 0x40) + Bytes{0xFF}, 0xFFF0, {}},
        {"direct copy of 16 at FFF0, then a byte fill read but refused", 0xFFF0,
         Bytes{0x0F} + counting(16, 0x40) + Bytes{0x20, 0x77}, {0xFF}, 0x10000, counting(16, 0x40)},
        {"byte fill of 17 at FFF0", 0xFFF0, {0x30, 0x22}, {0xFF}, 0xFFF0, {}},
        {"byte fill of 16 at FFF0, then a direct copy refused", 0xFFF0, {0x2F, 0x22, 0x00}, {0x99, 0xFF}, 0x10000,
         Bytes(16, 0x22)},
        {"word fill of 4 at FFFF", 0xFFFF, {0x43, 0xAA, 0xBB}, {0x00, 0x99, 0xFF}, 0x10000, {0xAA}},
        {"increasing fill of 4 at FFFE", 0xFFFE, {0x63, 0x10}, {0x00, 0x99, 0xFF}, 0x10000, {0x10, 0x11}},
        {"copy of 4 at FFFE", 0xFFFE, {0x83, 0x00, 0x00}, {0x00, 0x99, 0xFF}, 0x10000, {0x11, 0x11}},
        {"extended copy of 10 at FFFC", 0xFFFC, {0xF0, 0x09, 0x00, 0x00}, {0x00, 0x99, 0xFF}, 0x10000, Bytes(4, 0x11)},
    };
    for (const auto& c : cases) {
        const Bytes prefix = fillTo(c.before) + c.read;
        const DecodeRun run = decodeLz(prefix + c.unread);
        EXPECT_EQ(run.length, c.length) << c.name;
        EXPECT_FALSE(run.running) << c.name;
        EXPECT_EQ(run.streamPosition, static_cast<long>(prefix.size())) << c.name;
        const auto at = run.buffer.begin() + c.before;
        EXPECT_EQ(Bytes(at, at + static_cast<long>(c.written.size())), c.written) << c.name;
        if (c.length < kCodecBufferSize) {
            EXPECT_EQ(run.buffer[c.length], 0xEE) << c.name;
        }
    }
}

// A stream cut short repeats its last command, with the arguments left in the
// scratch bytes, until a bound ends the decode.
TEST(LzDecoderTest, TruncatedStreamRepeatsItsLastCommandUntilABound)
{
    const struct {
        const char* name;
        Bytes stream;
        Bytes expected;
    } cases[] = {
        {"direct copy of 3: unread bytes keep the buffer but count", {0x02, 0x41}, Bytes{0x41} + Bytes(0xFFFE, 0xEE)},
        {"byte fill repeats with its byte", {0x21, 0x07}, Bytes(0x10000, 0x07)},
        {"increasing fill starts again from its byte", {0x63, 0xFE}, repeated({0xFE, 0xFF, 0x00, 0x01}, 0x10000)},
        {"word fill cut after its first byte keeps the old second byte", {0x41, 0x01, 0x02, 0x43, 0xAA},
         Bytes{1, 2} + repeated({0xAA, 0x02}, 0xFFFE)},
        {"copy repeats with its position", {0x01, 0x05, 0x06, 0x80, 0x01}, Bytes{0x05} + Bytes(0xFFFF, 0x06)},
        {"empty stream, fresh context: a direct copy of 1", {}, Bytes(0x10000, 0xEE)},
    };
    for (const auto& c : cases) {
        const DecodeRun run = decodeLz(c.stream);
        EXPECT_EQ(run.output(), c.expected) << c.name;
        EXPECT_FALSE(run.running) << c.name;
    }
}

TEST(LzDecoderTest, ScratchBytesPersistAcrossDecodes)
{
    DecodeContext context;
    // An extended ByteFill of 0x102 bytes, cut off after its fill byte...
    EXPECT_EQ(runDecoder(decodeLzSheet, {0xE5, 0x01, 0x09}, context).output(), Bytes(254 * 0x102, 0x09));
    // ...leaves header, length and byte behind for the next decode.
    EXPECT_EQ(runDecoder(decodeLzSheet, {}, context).output(), Bytes(254 * 0x102, 0x09));
    // Once an end marker has been read, an empty stream ends at once.
    EXPECT_EQ(runDecoder(decodeLzSheet, {0x44, 0x01, 0x02, 0xFF}, context).output(), (Bytes{1, 2, 1, 2, 1}));
    const DecodeRun run = runDecoder(decodeLzSheet, {}, context);
    EXPECT_EQ(run.length, 0U);
    EXPECT_FALSE(run.running);
}

TEST(LzDecoderTest, Type1OutputIsWidenedHoweverTheDecodeEnded)
{
    Bytes tile4 = counting(32, 0x81);
    for (std::size_t r = 0; r < 8; ++r) {
        tile4[16 + 2 * r] = static_cast<std::uint8_t>(0x91 + r);
        tile4[17 + 2 * r] = 0;
    }
    EXPECT_EQ(decodeLz(Bytes{0x17} + counting(24, 0x81) + Bytes{0xFF}, 1).output(), tile4);
    EXPECT_EQ(decodeLz({0x02, 1, 2, 3, 0xFF}, 1).output(), (Bytes{1, 2, 3}));
    EXPECT_EQ(decodeLz({0xFF}, 1).length, 0U);

    // Ended by the bound at 0x10000 bytes: widened and capped.
    Bytes widened(kCodecBufferSize, 0x07);
    for (std::size_t p = 17; p < widened.size(); p += 2) {
        widened[p] = (p & 16) != 0 ? 0 : 0x07;
    }
    EXPECT_EQ(decodeLz({0x21, 0x07}, 1).output(), widened);
}

}  // namespace
