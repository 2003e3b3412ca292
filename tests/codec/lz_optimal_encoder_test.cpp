// The smallest-packing LZ encoder: its streams are checked against an
// exhaustive search over every parse of small inputs, decoded back with the
// real decoder, and compared with the greedy encoder's on every input tried.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "codec/sheet_codec.h"
#include "codec_test_support.h"

namespace {

// Length of the shortest stream for `input`, end marker included: every
// command of every length at every position, copies from every earlier
// source, memoised by position (what follows a position does not depend on
// how the bytes before it were written).
std::size_t exhaustiveShortest(const Bytes& input)
{
    const std::size_t n = input.size();
    std::vector<std::size_t> best(n + 1, 0);
    for (std::size_t i = n; i-- > 0;) {
        std::size_t cost = SIZE_MAX;
        const auto header = [](std::size_t length) { return length <= 32 ? std::size_t{1} : std::size_t{2}; };
        const auto consider = [&](std::size_t length, std::size_t arguments) {
            cost = std::min(cost, header(length) + arguments + best[i + length]);
        };
        const std::size_t room = std::min<std::size_t>(1024, n - i);
        for (std::size_t length = 1; length <= room; ++length) {
            consider(length, length);  // literals
        }
        for (std::size_t length = 1; length <= room && input[i + length - 1] == input[i]; ++length) {
            consider(length, 1);  // byte fill
        }
        for (std::size_t length = 1;
             length <= room && (length < 3 || input[i + length - 1] == input[i + length - 3]); ++length) {
            consider(length, 2);  // word fill: a, b, a, b, ...
        }
        for (std::size_t length = 1;
             length <= room && input[i + length - 1] == static_cast<std::uint8_t>(input[i] + length - 1); ++length) {
            consider(length, 1);  // increasing fill
        }
        for (std::size_t source = 0; source < i; ++source) {
            for (std::size_t length = 1; length <= room && input[source + length - 1] == input[i + length - 1];
                 ++length) {
                consider(length, 2);  // copy, overlapping its own output when source + length > i
            }
        }
        best[i] = cost;
    }
    return best[0] + 1;
}

EncodeRun encodeSmallest(const Bytes& input, std::uint32_t codecType = 0)
{
    return runEncoder(encodeLzSheetSmallest, input, codecType);
}

// The smallest stream of `input` for type 0 and (with `type1`) type 1 must be
// complete, decode back to the (packed) input, and be no longer than the
// greedy one. Returns false after the first failure.
bool checkSmallest(const Bytes& input, const std::string& label, bool type1 = true)
{
    for (std::uint32_t type = 0; type <= (type1 ? 1U : 0U); ++type) {
        const std::string name = label + ", type " + std::to_string(type);
        const EncodeRun run = encodeSmallest(input, type);
        const EncodeRun greedy = runEncoder(encodeLzSheet, input, type);
        Bytes expected = slice(run.input, 0, run.inputLength);
        if (type == 1) {
            expected.resize(kCodecBufferSize);
            expected.resize(expandTiles3To4(expected.data(), run.inputLength));
        }
        const DecodeRun decoded = runDecoder(decodeLzSheet, run.stream, type);
        if (!run.ok || run.stream.empty() || run.stream.back() != 0xFF ||
            decoded.streamPosition != static_cast<long>(run.stream.size()) || decoded.output() != expected) {
            ADD_FAILURE() << name << ": round trip differs at byte " << firstDifference(decoded.output(), expected);
            return false;
        }
        if (run.stream.size() > greedy.stream.size()) {
            ADD_FAILURE() << name << ": " << run.stream.size() << " bytes, greedy " << greedy.stream.size();
            return false;
        }
    }
    return true;
}

TEST(LzOptimalEncoderTest, ShortestAgainstExhaustiveSearch)
{
    // Small alphabets, so that fills and copies of every length compete.
    TestRandom random(2024);
    for (std::size_t length = 0; length <= 12; ++length) {
        for (std::uint32_t alphabet = 1; alphabet <= 4; ++alphabet) {
            for (int trial = 0; trial < 70; ++trial) {
                Bytes input = random.bytes(length, alphabet);
                if (trial % 2 == 1) {
                    // Counting neighbours make increasing fills possible.
                    for (auto& value : input) {
                        value = static_cast<std::uint8_t>(value + 0x7E);
                    }
                }
                const EncodeRun run = encodeSmallest(input);
                ASSERT_TRUE(run.ok);
                ASSERT_EQ(run.stream.size(), exhaustiveShortest(input))
                    << length << " bytes of " << alphabet << " values, trial " << trial;
                ASSERT_TRUE(checkSmallest(input, "random " + std::to_string(length), false));
            }
        }
    }
    // Longer ones cross the 32-byte header boundary and mix every shape.
    for (int shape = 0; shape < kInputShapeCount; ++shape) {
        for (std::uint64_t seed = 1; seed <= 40; ++seed) {
            const Bytes input = generateInput(shape, 13 + seed % 60, seed);
            ASSERT_EQ(encodeSmallest(input).stream.size(), exhaustiveShortest(input))
                << "shape " << shape << ", seed " << seed;
        }
    }
}

TEST(LzOptimalEncoderTest, WorkedInputs)
{
    const Bytes plain = withoutCommands(1025);
    const struct {
        const char* name;
        Bytes input;
        Bytes expected;
    } cases[] = {
        {"empty", {}, {0xFF}},
        {"one byte", {0x37}, {0x00, 0x37, 0xFF}},
        {"two equal bytes: a fill of two", {5, 5}, {0x21, 0x05, 0xFF}},
        {"an increasing fill twice, then a byte fill of two", {1, 2, 3, 4, 1, 2, 3, 4, 4, 4},
         {0x63, 0x01, 0x63, 0x01, 0x21, 0x04, 0xFF}},
        {"a copy of four, then a byte fill of three", {9, 8, 7, 6, 0x40, 9, 8, 7, 6, 6, 6},
         {0x04, 9, 8, 7, 6, 0x40, 0x83, 0x00, 0x00, 0x21, 0x06, 0xFF}},
        {"a long run as two commands of 1024", Bytes(2048, 0x5C), {0xE7, 0xFF, 0x5C, 0xE7, 0xFF, 0x5C, 0xFF}},
    };
    for (const auto& c : cases) {
        const EncodeRun run = encodeSmallest(c.input);
        EXPECT_TRUE(run.ok) << c.name;
        // Other streams of the same length may be chosen: the length is what counts.
        EXPECT_EQ(run.stream.size(), c.expected.size()) << c.name;
        if (c.input.size() <= 64) {
            EXPECT_EQ(exhaustiveShortest(c.input), c.expected.size()) << c.name;
        }
        EXPECT_EQ(runDecoder(decodeLzSheet, c.expected).output(), c.input) << c.name;
        EXPECT_EQ(runDecoder(decodeLzSheet, run.stream).output(), c.input) << c.name;
    }
    // 1025 bytes with nothing longer than three bytes to fill or copy: two
    // literal runs, of which only one can have a short header.
    EXPECT_EQ(encodeSmallest(plain).stream.size(), 1025U + 3U + 1U);
}

TEST(LzOptimalEncoderTest, RoundTripsEveryShape)
{
    for (int shape = 0; shape < kInputShapeCount; ++shape) {
        for (std::size_t length = 0; length <= 80; ++length) {
            for (std::uint64_t seed = 1; seed <= 2; ++seed) {
                ASSERT_TRUE(checkSmallest(generateInput(shape, length, seed * 1000 + length),
                                          "shape " + std::to_string(shape) + ", " + std::to_string(length) + " bytes"));
            }
        }
        TestRandom lengths(500 + static_cast<std::uint64_t>(shape));
        for (std::uint64_t seed = 1; seed <= 12; ++seed) {
            const std::size_t length = seed % 3 == 0 ? 1018 + lengths.below(14) : 81 + lengths.below(0x7F80);
            ASSERT_TRUE(checkSmallest(generateInput(shape, length, seed),
                                      "shape " + std::to_string(shape) + ", " + std::to_string(length) + " bytes"));
        }
        ASSERT_TRUE(checkSmallest(generateInput(shape, 0x8000, 3), "shape " + std::to_string(shape) + ", 0x8000 bytes"));
    }
}

TEST(LzOptimalEncoderTest, OutputBound)
{
    // What the greedy encoder fits exactly, the smallest stream fits too.
    const Bytes full = withoutCommands(0xFF7F);
    const EncodeRun fits = encodeSmallest(full);
    EXPECT_TRUE(fits.ok);
    EXPECT_LE(fits.stream.size(), 0x10000U);
    EXPECT_EQ(runDecoder(decodeLzSheet, fits.stream).output(), full);

    // 0x10000 bytes without anything to fill or copy cannot fit: the flag is
    // cleared and nothing is stored past the buffer.
    const EncodeRun tooLong = encodeSmallest(withoutCommands(0x10000));
    EXPECT_FALSE(tooLong.ok);
    EXPECT_LE(tooLong.stream.size(), 0x10000U);

    // A flag that the caller left clear writes nothing.
    Bytes input = {1, 2, 3, 4, 5};
    Bytes output(kCodecBufferSize, 0xEE);
    EncodeContext context;
    context.input = input.data();
    context.inputLength = 5;
    context.output = output.data();
    encodeLzSheetSmallest(context);
    EXPECT_FALSE(context.ok);
    EXPECT_EQ(context.outputLength, 0U);
    EXPECT_EQ(output[0], 0xEE);
    EXPECT_EQ(context.smallestParse.capacity, 0U);
}

TEST(LzOptimalEncoderTest, KeptTablesGiveTheSameStreams)
{
    // One context through a walk of inputs, growing past a sheet buffer once:
    // the same streams as one-off encodes, for both packings and both types,
    // and nothing left allocated after the release.
    const std::size_t lengths[] = {2048, 0, 5, 0x8000, 1536, 0x9000, 3, 2048};
    EncodeContext kept;
    keepEncoderTables(kept);
    Bytes output(kCodecBufferSize);
    for (const LzPacking packing : {LzPacking::Default, LzPacking::Smallest}) {
        std::uint64_t seed = 1;
        for (const std::size_t length : lengths) {
            for (std::uint32_t type = 0; type <= 1; ++type) {
                const Bytes input = generateInput(static_cast<int>(seed % kInputShapeCount), length, seed);
                Bytes work = input;
                startEncode(kept, work.data(), static_cast<std::uint32_t>(work.size()),
                            static_cast<SheetCodecType>(type), output.data());
                encodeSheetStream(kept, packing);
                const EncodeRun once =
                    runEncoder(packing == LzPacking::Smallest ? encodeLzSheetSmallest : encodeLzSheet, input, type);
                ASSERT_TRUE(kept.ok);
                EXPECT_EQ(Bytes(output.begin(), output.begin() + kept.outputLength), once.stream)
                    << length << " bytes, type " << type;
                ++seed;
            }
        }
    }
    EXPECT_GE(kept.matchIndex.capacity, 0x9000U);

    // The greedy index is never cleared between builds: what a build of a
    // full buffer of random bytes left in nearly every head and link (the
    // positions of another input, most past the ones a sheet needs) must not
    // count, for inputs of other lengths and so other bucket counts.
    const Bytes noise = generateInput(Random, 0x8000, 2);
    for (const Bytes& input : {generateInput(Mixed, 0x1000, 77), generateInput(SheetTiles, 0x800, 78),
                               generateInput(Runs, 0x5000, 79), generateInput(AlternatingPairs, 300, 80)}) {
        for (const Bytes* build : {&noise, &input}) {
            Bytes work = *build;
            startEncode(kept, work.data(), static_cast<std::uint32_t>(work.size()), LzSheet, output.data());
            encodeLzSheet(kept);
        }
        EXPECT_EQ(Bytes(output.begin(), output.begin() + kept.outputLength), runEncoder(encodeLzSheet, input).stream)
            << input.size() << " bytes";
    }
    EXPECT_GE(kept.smallestParse.capacity, 0x9000U);
    releaseEncoderTables(kept);
    EXPECT_EQ(kept.matchIndex.capacity, 0U);
    EXPECT_EQ(kept.smallestParse.capacity, 0U);
    EXPECT_FALSE(kept.keepTables);
}

}  // namespace
