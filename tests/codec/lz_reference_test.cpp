// A second LZ encoder, written as plainly as the rules read: byte-by-byte
// lengths and a scan of every earlier position, no index. The real encoder must
// produce the same bytes on every generated input, and every stream must decode
// back to the (packed) input.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "codec_test_support.h"

namespace {

// DirectCopy commands of at most 1024 bytes for input[from .. to - 1].
void putLiterals(Bytes& out, const Bytes& input, std::size_t from, std::size_t to)
{
    for (std::size_t length = 0; from < to; from += length) {
        length = std::min<std::size_t>(to - from, 1024);
        putLzHeader(out, 0, length);
        const Bytes literals = slice(input, from, from + length);
        out.insert(out.end(), literals.begin(), literals.end());
    }
}

Bytes referenceEncode(const Bytes& input)
{
    Bytes out;
    const std::size_t n = input.size();
    std::size_t i = 0;
    std::size_t pending = 0;
    while (i + 3 <= n) {
        const std::size_t lim = std::min<std::size_t>(1024, n - i);
        const std::uint8_t a = input[i];
        const std::uint8_t b = input[i + 1];
        // Leading bytes from i on that equal expected(k), up to lim.
        const auto run = [&](auto expected) {
            std::size_t k = 0;
            while (k < lim && input[i + k] == static_cast<std::uint8_t>(expected(k))) {
                ++k;
            }
            return k;
        };

        std::size_t copy = 0;
        std::size_t source = 0;
        // Every earlier position in order (memchr skips those whose first byte
        // differs); the first of the longest wins.
        for (std::size_t j = 0; lim >= 4 && j < i && copy < lim; ++j) {
            const void* next = std::memchr(input.data() + j, a, i - j);
            if (next == nullptr) {
                break;
            }
            j = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - input.data());
            const std::size_t k = run([&](std::size_t m) { return input[j + m]; });
            if (k >= 4 && k > copy) {
                copy = k;
                source = j;
            }
        }
        std::size_t byteFill = a == b ? run([&](std::size_t) { return a; }) : 0;
        std::size_t wordFill = a != b ? run([&](std::size_t k) { return k % 2 == 0 ? a : b; }) : 0;
        std::size_t increasing = b == static_cast<std::uint8_t>(a + 1) ? run([&](std::size_t k) { return a + k; }) : 0;
        byteFill = byteFill < 3 ? 0 : byteFill;
        wordFill = wordFill < 4 ? 0 : wordFill;
        increasing = increasing < 3 ? 0 : increasing;

        if (copy == 0 && byteFill == 0 && wordFill == 0 && increasing == 0) {
            if (++i - pending == 1024) {
                putLiterals(out, input, pending, i);
                pending = i;
            }
            continue;
        }
        putLiterals(out, input, pending, i);
        if (copy > byteFill + 1 && copy > wordFill && copy > increasing + 1) {
            putLzHeader(out, 4, copy);
            out.insert(out.end(), {static_cast<std::uint8_t>(source & 0xFF), static_cast<std::uint8_t>(source >> 8)});
            i += copy;
        } else if (byteFill != 0) {
            putLzHeader(out, 1, byteFill);
            out.push_back(a);
            i += byteFill;
        } else if (wordFill != 0) {
            putLzHeader(out, 2, wordFill);
            out.insert(out.end(), {a, b});
            i += wordFill;
        } else {
            putLzHeader(out, 3, increasing);
            out.push_back(a);
            i += increasing;
        }
        pending = i;
    }
    putLiterals(out, input, pending, n);
    out.push_back(0xFF);
    return out;
}

// Appends `count` bytes of one kind: 0 one value, 1 a byte pair, 2 counting
// up, 3 random, 4 copied from earlier bytes.
void appendPiece(Bytes& out, TestRandom& random, std::uint32_t kind, std::size_t count)
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
void appendTile(Bytes& out, TestRandom& random)
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

enum Shape { Random, SheetTiles, AllEqual, AlternatingPairs, Increments, Mixed, kShapeCount };

Bytes generate(int shape, std::size_t length, std::uint64_t seed)
{
    TestRandom random(seed);
    if (shape == Random) {  // every byte value, or a small alphabet
        return random.bytes(length, seed % 2 == 0 ? 256 : 2 + random.below(4));
    }
    Bytes out;
    while (out.size() < length) {
        if (shape == SheetTiles) {
            appendTile(out, random);
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

// Both encoders, codec type 0 and (unless `type1` is false) type 1; the real
// stream must also decode back. Returns false after the first difference.
bool checkInput(int shape, std::size_t length, std::uint64_t seed, bool type1 = true)
{
    const Bytes input = generate(shape, length, seed);
    for (std::uint32_t type = 0; type <= (type1 ? 1U : 0U); ++type) {
        const std::string label = "shape " + std::to_string(shape) + ", " + std::to_string(length) + " bytes, seed " +
                                  std::to_string(seed) + ", type " + std::to_string(type);
        Bytes packed = input;
        if (type == 1) {
            packed.resize(packTiles4To3(packed.data(), static_cast<std::uint32_t>(packed.size())));
        }
        const EncodeRun run = runEncoder(encodeLzSheet, input, type);
        const Bytes expected = referenceEncode(packed);
        if (!run.ok || run.stream != expected) {
            ADD_FAILURE() << label << ": streams differ at byte " << firstDifference(run.stream, expected);
            return false;
        }
        Bytes widened = packed;
        if (type == 1) {
            widened.resize(kCodecBufferSize);
            widened.resize(expandTiles3To4(widened.data(), static_cast<std::uint32_t>(packed.size())));
        }
        const DecodeRun decoded = runDecoder(decodeLzSheet, run.stream, type);
        if (decoded.output() != widened || decoded.streamPosition != static_cast<long>(run.stream.size())) {
            ADD_FAILURE() << label << ": round trip differs at byte " << firstDifference(decoded.output(), widened);
            return false;
        }
    }
    return true;
}

TEST(LzReferenceTest, EverySmallLength)
{
    for (int shape = 0; shape < kShapeCount; ++shape) {
        for (std::size_t length = 0; length <= 80; ++length) {
            for (std::uint64_t seed = 1; seed <= 3; ++seed) {
                ASSERT_TRUE(checkInput(shape, length, seed * 1000 + length));
            }
        }
    }
}

TEST(LzReferenceTest, MediumLengths)
{
    // Around the 1024 limits, around a sheet, and anywhere up to 2.5 KiB.
    TestRandom lengths(77);
    for (int shape = 0; shape < kShapeCount; ++shape) {
        for (std::uint64_t seed = 1; seed <= 150; ++seed) {
            const std::size_t length = seed % 5 == 0   ? 1018 + lengths.below(14)
                                       : seed % 5 == 1 ? 2040 + lengths.below(17)
                                                       : 81 + lengths.below(2500);
            ASSERT_TRUE(checkInput(shape, length, seed));
        }
    }
}

TEST(LzReferenceTest, LargeLengths)
{
    // Up to a full sheet buffer; the quadratic reference limits how many run,
    // so type 1 is checked at full size on tiles only.
    for (int shape = 0; shape < kShapeCount; ++shape) {
        ASSERT_TRUE(checkInput(shape, 0x1000, 1));
        ASSERT_TRUE(checkInput(shape, 0x3001, 2));
        ASSERT_TRUE(checkInput(shape, 0x8000, 8, shape == SheetTiles));
    }
    ASSERT_TRUE(checkInput(SheetTiles, 0x7FFF, 9));
}

}  // namespace
