// Timings of the sheet codecs on synthetic inputs: a realistic 4bpp sheet, a
// full 0x8000-byte sheet buffer, a set of 223 sheets, the LZ sheets of the
// sample ROM, and inputs built to make the LZ encoders' match finding slow:
// broken_pairs, binary_noise and skewed_noise for the greedy encoder's chains
// (runs of zeros between random bytes, repeated four-byte groups with one
// changing byte, three- and four-symbol noise were all faster), all_zero for
// the smallest packing's suffix sorting (the most doubling rounds). Encoders
// keep their tables from one encode to the next, as a walk does.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec/run_length.h"
#include "random_source.h"
#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"
#include "sample_rom.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSheetBytes = 2048;
constexpr std::size_t kSheetCount = 223;

// The inputs draw the upper half of each step of the shared 64-bit generator.
std::uint8_t randomByte(Xorshift64& random)
{
    return static_cast<std::uint8_t>(random.upper());
}

std::uint32_t randomBelow(Xorshift64& random, std::uint32_t bound)
{
    return random.upper() % bound;
}

// One 4bpp sheet of 64 tiles as the game's graphics look: plane 3 zero, many
// empty rows and tiles, outlines, shaded areas, tiles repeated or mirrored
// from earlier ones.
Bytes realisticSheet(std::uint64_t seed)
{
    Xorshift64 random{seed * 0x9E3779B97F4A7C15ULL + 7};
    Bytes sheet(kSheetBytes, 0);
    for (std::size_t tile = 0; tile < 64; ++tile) {
        std::uint8_t* t = sheet.data() + tile * 32;
        const std::uint32_t kind = randomBelow(random, 10);
        if (kind < 2) {
            continue;  // empty tile
        }
        if (kind < 4 && tile > 0) {
            const std::size_t earlier = randomBelow(random, static_cast<std::uint32_t>(tile));
            std::memcpy(t, sheet.data() + earlier * 32, 32);
            if (kind == 3) {  // flipped upside down
                for (std::size_t r = 0; r < 4; ++r) {
                    std::swap(t[2 * r], t[2 * (7 - r)]);
                    std::swap(t[2 * r + 1], t[2 * (7 - r) + 1]);
                    std::swap(t[16 + 2 * r], t[16 + 2 * (7 - r)]);
                }
            }
            continue;
        }
        // A shape: a run of rows with an outline on plane 0 and shading on
        // planes 1 and 2.
        const std::size_t top = randomBelow(random, 4);
        const std::size_t bottom = 4 + randomBelow(random, 4);
        const std::uint8_t outline = static_cast<std::uint8_t>(0x3C | (randomBelow(random, 256) & 0x81));
        for (std::size_t r = top; r <= bottom; ++r) {
            t[2 * r] = outline;
            t[2 * r + 1] = randomBelow(random, 3) == 0 ? randomByte(random) : static_cast<std::uint8_t>(outline >> 1);
            t[16 + 2 * r] = kind == 9 ? randomByte(random) : static_cast<std::uint8_t>(0x18 >> (r & 1));
        }
    }
    return sheet;
}

Bytes concatenatedSheets(std::size_t count, std::uint64_t firstSeed)
{
    Bytes out;
    for (std::size_t k = 0; k < count; ++k) {
        const Bytes sheet = realisticSheet(firstSeed + k);
        out.insert(out.end(), sheet.begin(), sheet.end());
    }
    return out;
}

Bytes randomBytes(std::size_t length, std::uint64_t seed)
{
    Xorshift64 random{seed * 0x9E3779B97F4A7C15ULL + 3};
    Bytes out(length);
    for (auto& byte : out) {
        byte = randomByte(random);
    }
    return out;
}

// Worst case for the pair chains: the pair A B starts every fourth position
// (8192 times in 0x8000 bytes), each time broken by a different pair x y, so
// the chain of A B is walked in full from every one of its positions and no
// candidate survives the four-byte test. Nothing is ever found: every byte is
// a literal and every position is examined.
Bytes brokenPairs(std::size_t length)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        const std::size_t group = k / 4;
        switch (k % 4) {
        case 0: out[k] = 0xA1; break;
        case 1: out[k] = 0xB2; break;
        case 2: out[k] = static_cast<std::uint8_t>(group & 0x7F); break;   // never A1, B2
        default: out[k] = static_cast<std::uint8_t>(0xC0 | (group >> 7)); break;  // never A1, B2
        }
    }
    return out;
}

// Two random symbols: every pair key has a chain of a quarter of the input,
// and matches stay short (about 15 bytes), so walks are long and many
// candidates pass the four-byte test.
Bytes binaryNoise(std::size_t length)
{
    Bytes out = randomBytes(length, 11);
    for (auto& byte : out) {
        byte = byte & 1;
    }
    return out;
}

// Three zero bytes in four, the rest ones: the zero pair's chain holds more
// than half of all positions, matches run a few dozen bytes and byte fills
// compete with copies.
Bytes skewedNoise(std::size_t length, std::uint32_t zeroPercent, std::uint32_t alphabet)
{
    Xorshift64 random{0xABCD + zeroPercent * 7 + alphabet};
    Bytes out(length);
    for (auto& byte : out) {
        byte = randomBelow(random, 100) < zeroPercent ? 0 : static_cast<std::uint8_t>(1 + randomBelow(random, alphabet - 1));
    }
    return out;
}

// Three bytes over and over with one byte changed at the middle: the longest
// repeat is half the input, and every earlier position matches a long way.
Bytes periodThree(std::size_t length)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = static_cast<std::uint8_t>(0x10 + k % 3);
    }
    out[length / 2] = 0xEE;
    return out;
}

// ---- Running the codecs -----------------------------------------------------

// Releases its encoder tables at the end of the benchmark.
struct Encoder {
    Bytes output = Bytes(kCodecBufferSize);
    Bytes work;
    EncodeContext context;
    Encoder() { keepEncoderTables(context); }
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;
    ~Encoder() { releaseEncoderTables(context); }
};

std::uint32_t encodeOnce(Encoder& encoder, const Bytes& input, std::uint32_t codecType,
                         void (*encode)(EncodeContext&))
{
    // Type 1 packs in place, so every run starts from a fresh copy.
    encoder.work = input;
    startEncode(encoder.context, encoder.work.data(), static_cast<std::uint32_t>(input.size()),
                static_cast<SheetCodecType>(codecType), encoder.output.data());
    encode(encoder.context);
    return encoder.context.ok ? encoder.context.outputLength : 0;
}

void encodeBenchmark(benchmark::State& state, const Bytes& input, std::uint32_t codecType,
                     void (*encode)(EncodeContext&))
{
    Encoder encoder;
    std::uint32_t outputLength = 0;
    for (auto _ : state) {
        outputLength = encodeOnce(encoder, input, codecType, encode);
        benchmark::DoNotOptimize(outputLength);
    }
    state.counters["input"] = static_cast<double>(input.size());
    state.counters["output"] = outputLength;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}

void decodeBenchmark(benchmark::State& state, const Bytes& input, std::uint32_t codecType,
                     void (*encode)(EncodeContext&), void (*decode)(DecodeContext&))
{
    Encoder encoder;
    const std::uint32_t streamLength = encodeOnce(encoder, input, codecType, encode);
    if (streamLength == 0) {
        state.SkipWithError("cannot prepare the stream");
        return;
    }
    Bytes output(kCodecBufferSize);
    DecodeContext context;
    for (auto _ : state) {
        startDecode(context, encoder.output.data(), streamLength, output.data(), static_cast<SheetCodecType>(codecType));
        decode(context);
        benchmark::DoNotOptimize(context.outputLength);
    }
    state.counters["stream"] = streamLength;
    state.counters["output"] = context.outputLength;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(input.size()));
}

// ---- LZ ---------------------------------------------------------------------

void BM_LzEncodeSheet(benchmark::State& state)
{
    encodeBenchmark(state, realisticSheet(1), static_cast<std::uint32_t>(state.range(0)), encodeLzSheet);
}
BENCHMARK(BM_LzEncodeSheet)->Arg(0)->Arg(1);

void BM_LzDecodeSheet(benchmark::State& state)
{
    decodeBenchmark(state, realisticSheet(1), static_cast<std::uint32_t>(state.range(0)), encodeLzSheet,
                    decodeLzSheet);
}
BENCHMARK(BM_LzDecodeSheet)->Arg(0)->Arg(1);

void BM_LzEncode223Sheets(benchmark::State& state)
{
    std::vector<Bytes> sheets;
    for (std::size_t k = 0; k < kSheetCount; ++k) {
        sheets.push_back(realisticSheet(100 + k));
    }
    Encoder encoder;
    const auto codecType = static_cast<std::uint32_t>(state.range(0));
    std::uint64_t total = 0;
    for (auto _ : state) {
        total = 0;
        for (const Bytes& sheet : sheets) {
            total += encodeOnce(encoder, sheet, codecType, encodeLzSheet);
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["output"] = static_cast<double>(total);
}
BENCHMARK(BM_LzEncode223Sheets)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

enum FullBufferInput {
    SixteenSheets,
    RandomBytes,
    AllZero,
    BrokenPairs,
    BinaryNoise,
    SkewedNoise,
    PeriodThree,
};

const Bytes& fullBufferInput(FullBufferInput which)
{
    static const Bytes inputs[] = {
        concatenatedSheets(16, 500),
        randomBytes(0x8000, 5),
        Bytes(0x8000, 0x00),
        brokenPairs(0x8000),
        binaryNoise(0x8000),
        skewedNoise(0x8000, 75, 2),
        periodThree(0x8000),
    };
    return inputs[which];
}

void BM_LzEncode0x8000(benchmark::State& state, FullBufferInput which)
{
    encodeBenchmark(state, fullBufferInput(which), 0, encodeLzSheet);
}
BENCHMARK_CAPTURE(BM_LzEncode0x8000, sixteen_sheets, SixteenSheets)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncode0x8000, random_bytes, RandomBytes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncode0x8000, all_zero, AllZero)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncode0x8000, broken_pairs, BrokenPairs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncode0x8000, binary_noise, BinaryNoise)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncode0x8000, skewed_noise, SkewedNoise)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncode0x8000, period_three, PeriodThree)->Unit(benchmark::kMillisecond);

void BM_LzDecode0x8000(benchmark::State& state, FullBufferInput which)
{
    decodeBenchmark(state, fullBufferInput(which), 0, encodeLzSheet, decodeLzSheet);
}
BENCHMARK_CAPTURE(BM_LzDecode0x8000, sixteen_sheets, SixteenSheets)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LzDecode0x8000, random_bytes, RandomBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LzDecode0x8000, all_zero, AllZero)->Unit(benchmark::kMicrosecond);

// ---- Smallest packing against the greedy encoder -----------------------------

using EncodeFunction = void (*)(EncodeContext&);

EncodeFunction lzEncoder(std::int64_t smallest)
{
    return smallest != 0 ? encodeLzSheetSmallest : encodeLzSheet;
}

// Counters of a smallest-packing run: the greedy size and the saving.
void countSaving(benchmark::State& state, std::uint64_t greedy, std::uint64_t output)
{
    state.counters["greedy"] = static_cast<double>(greedy);
    state.counters["saved"] = static_cast<double>(greedy) - static_cast<double>(output);
    state.counters["saved_pct"] = greedy == 0 ? 0.0 : 100.0 * (static_cast<double>(greedy) - static_cast<double>(output)) /
                                                          static_cast<double>(greedy);
}

// The LZ sheets of the sample ROM (US, seed 1) as insertion reads them back,
// with their codec types.
struct LzSheetSet {
    std::vector<Bytes> sheets;
    std::vector<std::uint32_t> types;
};

const LzSheetSet& sampleRomSheets()
{
    static const LzSheetSet set = [] {
        LzSheetSet built;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            const SheetCodecType type = sheetCodecType(sheet);
            if (sheetStorage(sheet) == SheetStorage::Compressed && (type == LzSheet || type == LzSheet3bpp)) {
                built.sheets.push_back(sampleSheet(sheet, kUsLayout, 1));
                built.types.push_back(type);
            }
        }
        return built;
    }();
    return set;
}

std::uint64_t encodeSheetSet(Encoder& encoder, const LzSheetSet& set, EncodeFunction encode)
{
    std::uint64_t total = 0;
    for (std::size_t k = 0; k < set.sheets.size(); ++k) {
        total += encodeOnce(encoder, set.sheets[k], set.types[k], encode);
    }
    return total;
}

// Arg: 0 greedy, 1 smallest.
void BM_LzEncodeSampleRomSheets(benchmark::State& state)
{
    const LzSheetSet& set = sampleRomSheets();
    Encoder encoder;
    std::uint64_t total = 0;
    for (auto _ : state) {
        total = encodeSheetSet(encoder, set, lzEncoder(state.range(0)));
        benchmark::DoNotOptimize(total);
    }
    state.counters["sheets"] = static_cast<double>(set.sheets.size());
    state.counters["output"] = static_cast<double>(total);
    if (state.range(0) != 0) {
        countSaving(state, encodeSheetSet(encoder, set, encodeLzSheet), total);
    }
}
BENCHMARK(BM_LzEncodeSampleRomSheets)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The realistic 223-sheet set, smallest packing, type 0 or 1.
void BM_LzEncodeSmallest223Sheets(benchmark::State& state)
{
    LzSheetSet set;
    for (std::size_t k = 0; k < kSheetCount; ++k) {
        set.sheets.push_back(realisticSheet(100 + k));
        set.types.push_back(static_cast<std::uint32_t>(state.range(0)));
    }
    Encoder encoder;
    std::uint64_t total = 0;
    for (auto _ : state) {
        total = encodeSheetSet(encoder, set, encodeLzSheetSmallest);
        benchmark::DoNotOptimize(total);
    }
    state.counters["output"] = static_cast<double>(total);
    countSaving(state, encodeSheetSet(encoder, set, encodeLzSheet), total);
}
BENCHMARK(BM_LzEncodeSmallest223Sheets)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LzEncodeSmallest0x8000(benchmark::State& state, FullBufferInput which)
{
    encodeBenchmark(state, fullBufferInput(which), 0, encodeLzSheetSmallest);
    Encoder encoder;
    countSaving(state, encodeOnce(encoder, fullBufferInput(which), 0, encodeLzSheet),
                static_cast<std::uint64_t>(state.counters["output"].value));
}
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, sixteen_sheets, SixteenSheets)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, random_bytes, RandomBytes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, all_zero, AllZero)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, broken_pairs, BrokenPairs)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, binary_noise, BinaryNoise)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, skewed_noise, SkewedNoise)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LzEncodeSmallest0x8000, period_three, PeriodThree)->Unit(benchmark::kMillisecond);

// ---- Run-length ---------------------------------------------------------------

void BM_RunLengthEncodeSheet(benchmark::State& state)
{
    encodeBenchmark(state, realisticSheet(1), 2, encodeRunLengthSheet);
}
BENCHMARK(BM_RunLengthEncodeSheet);

void BM_RunLengthDecodeSheet(benchmark::State& state)
{
    decodeBenchmark(state, realisticSheet(1), 2, encodeRunLengthSheet, decodeRunLengthSheet);
}
BENCHMARK(BM_RunLengthDecodeSheet);

void BM_RunLengthEncodeBlock(benchmark::State& state, FullBufferInput which)
{
    encodeBenchmark(state, fullBufferInput(which), 3, encodeRunLengthBlock);
}
BENCHMARK_CAPTURE(BM_RunLengthEncodeBlock, sixteen_sheets, SixteenSheets);
BENCHMARK_CAPTURE(BM_RunLengthEncodeBlock, random_bytes, RandomBytes);

void BM_RunLengthDecodeBlock(benchmark::State& state, FullBufferInput which)
{
    decodeBenchmark(state, fullBufferInput(which), 3, encodeRunLengthBlock, decodeRunLengthBlock);
}
BENCHMARK_CAPTURE(BM_RunLengthDecodeBlock, sixteen_sheets, SixteenSheets);
BENCHMARK_CAPTURE(BM_RunLengthDecodeBlock, random_bytes, RandomBytes);

}  // namespace

BENCHMARK_MAIN();
