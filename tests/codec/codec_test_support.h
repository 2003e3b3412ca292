#pragma once
// Running the codecs on byte vectors: decoders read the vector's bytes,
// encoders write into a full-size output buffer.

#include <cstdint>
#include <unordered_set>

#include "codec/codec_limits.h"
#include "codec/decode_context.h"
#include "codec/encode_context.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

using DecodeFunction = void (*)(DecodeContext&);
using EncodeFunction = void (*)(EncodeContext&);

struct DecodeRun {
    Bytes buffer;              // the whole output buffer afterwards
    std::uint32_t length = 0;  // outputLength
    bool running = true;
    long streamPosition = 0;   // how far the decoder read
    Bytes output() const { return Bytes(buffer.begin(), buffer.begin() + length); }
};

// Decodes `stream` as a caller would, into a buffer pre-filled with 0xEE so
// that unwritten positions show. `context` keeps scratch bytes between calls.
inline DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, DecodeContext& context,
                            std::uint32_t codecType = 0)
{
    DecodeRun run{Bytes(kCodecBufferSize, 0xEE)};
    startDecode(context, stream.data(), static_cast<std::uint32_t>(stream.size()), run.buffer.data(),
                static_cast<SheetCodecType>(codecType));
    decode(context);
    run.length = context.outputLength;
    run.running = context.running;
    run.streamPosition = static_cast<long>(context.inputRead);
    return run;
}

inline DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, std::uint32_t codecType = 0)
{
    DecodeContext context;
    return runDecoder(decode, stream, context, codecType);
}

struct EncodeRun {
    Bytes stream;  // the first outputLength bytes of the output buffer
    bool ok = false;
    Bytes input;   // the input buffer afterwards (packed for type 1)
    std::uint32_t inputLength = 0;
};

// Encodes a copy of `input` with the ok flag set, as a caller would.
inline EncodeRun runEncoder(EncodeFunction encode, const Bytes& input, std::uint32_t codecType = 0)
{
    EncodeRun run{Bytes(kCodecBufferSize), false, input};
    EncodeContext context;
    startEncode(context, run.input.data(), static_cast<std::uint32_t>(input.size()),
                static_cast<SheetCodecType>(codecType), run.stream.data());
    encode(context);
    run.ok = context.ok;
    run.inputLength = context.inputLength;
    run.stream.resize(context.outputLength);
    return run;
}

inline Bytes repeated(const Bytes& pattern, std::size_t length)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = pattern[k % pattern.size()];
    }
    return out;
}

// first, first + 1, ... modulo 256.
inline Bytes counting(std::size_t length, std::uint8_t first)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = static_cast<std::uint8_t>(first + k);
    }
    return out;
}

inline Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

inline Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// Appends an LZ command header (command 0-7, length 1-1024), written out
// independently of the encoder.
inline void putLzHeader(Bytes& out, std::uint32_t command, std::size_t length)
{
    const std::size_t field = length - 1;
    if (length <= 32) {
        out.push_back(static_cast<std::uint8_t>(command << 5 | field));
    } else {
        out.push_back(static_cast<std::uint8_t>(0xE0 | command << 2 | field >> 8));
        out.push_back(static_cast<std::uint8_t>(field & 0xFF));
    }
}

// ---- Generated inputs --------------------------------------------------------

// Appends `count` bytes of one kind: 0 one value, 1 a byte pair, 2 counting
// up, 3 random, 4 copied from earlier bytes.
inline void appendPiece(Bytes& out, TestRandom& random, std::uint32_t kind, std::size_t count)
{
    const std::uint8_t a = random.byte();
    const std::uint8_t b = random.byte();
    const std::size_t start = out.size();
    const std::size_t from = start == 0 ? 0 : random.below(static_cast<std::uint32_t>(start));
    for (std::size_t k = 0; k < count; ++k) {
        out.push_back(kind == 0   ? a
                      : kind == 1 ? (k % 2 == 0 ? a : b)
                      : kind == 2 ? static_cast<std::uint8_t>(a + k)
                      : kind == 3 || start == 0 ? random.byte()
                                                : out[from + k]);
    }
}

// 4bpp tiles with plane 3 zero: empty, an earlier tile again, or a few rows
// of planes 0-2 set.
inline void appendTile(Bytes& out, TestRandom& random)
{
    Bytes tile(32, 0);
    const std::uint32_t kind = random.below(4);
    for (std::size_t r = 0; r < 8 && kind >= 2; ++r) {
        if (kind == 3 || random.below(3) == 0) {
            tile[2 * r] = random.byte();
            tile[2 * r + 1] = random.below(2) == 0 ? tile[2 * r] : random.byte();
            tile[16 + 2 * r] = random.below(2) == 0 ? 0 : random.byte();
        }
    }
    if (kind == 1 && !out.empty()) {
        const auto earlier = out.begin() + 32 * random.below(static_cast<std::uint32_t>(out.size() / 32));
        tile.assign(earlier, earlier + 32);
    }
    out.insert(out.end(), tile.begin(), tile.end());
}

// Shapes of generated codec input.
enum InputShape { Random, SheetTiles, AllEqual, AlternatingPairs, Increments, Mixed, Runs, kInputShapeCount };

// `length` bytes of one shape, the same for the same seed: random bytes (every
// value, or 2-5 values), 4bpp sheet tiles, one value or one byte pair with a
// few bytes changed, counting runs, pieces of every kind, or runs of two
// values of many lengths, each followed by two bytes of two others (the same
// run and what follows it again and again, at other lengths).
inline Bytes generateInput(int shape, std::size_t length, std::uint64_t seed)
{
    TestRandom random(seed);
    if (shape == Random) {  // every byte value, or a small alphabet
        return random.bytes(length, seed % 2 == 0 ? 256 : 2 + random.below(4));
    }
    Bytes out;
    while (out.size() < length) {
        if (shape == SheetTiles) {
            appendTile(out, random);
        } else if (shape == Runs) {
            out.insert(out.end(), 1 + random.below(40), static_cast<std::uint8_t>(random.below(2)));
            out.push_back(static_cast<std::uint8_t>(2 + random.below(2)));
            out.push_back(static_cast<std::uint8_t>(2 + random.below(2)));
        } else if (shape == AllEqual || shape == AlternatingPairs) {
            appendPiece(out, random, shape == AllEqual ? 0 : 1, length);
            for (std::size_t k = 0; shape == AlternatingPairs && k < length / 64; ++k) {
                out[random.below(static_cast<std::uint32_t>(length))] = random.byte();
            }
        } else {  // counting runs, or pieces of every kind, mostly short
            appendPiece(out, random, shape == Increments ? 2 : random.below(5),
                        1 + random.below(shape == Increments || random.below(4) == 0 ? 1200 : 12));
        }
    }
    out.resize(length);
    return out;
}

// Bytes without any copy or fill of the minimum lengths: no neighbour equal or
// one higher, no byte equal to the one two places back, no four-byte group twice.
inline Bytes withoutCommands(std::size_t length)
{
    Bytes out;
    std::unordered_set<std::uint32_t> groups;
    std::uint32_t group = 0;  // the last four bytes
    TestRandom random(length);
    while (out.size() < length) {
        const std::size_t k = out.size();
        const std::uint8_t b = random.byte();
        if ((k >= 1 && (b == out[k - 1] || b == static_cast<std::uint8_t>(out[k - 1] + 1))) ||
            (k >= 2 && b == out[k - 2]) || (k >= 3 && !groups.insert(group << 8 | b).second)) {
            continue;
        }
        group = group << 8 | b;
        out.push_back(b);
    }
    return out;
}
