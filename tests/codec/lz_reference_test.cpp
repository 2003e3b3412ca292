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

// Both encoders, codec type 0 and (unless `type1` is false) type 1; the real
// stream must also decode back. Returns false after the first difference.
bool checkInput(int shape, std::size_t length, std::uint64_t seed, bool type1 = true)
{
    const Bytes input = generateInput(shape, length, seed);
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
    for (int shape = 0; shape < kInputShapeCount; ++shape) {
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
    for (int shape = 0; shape < kInputShapeCount; ++shape) {
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
    for (int shape = 0; shape < kInputShapeCount; ++shape) {
        ASSERT_TRUE(checkInput(shape, 0x1000, 1));
        ASSERT_TRUE(checkInput(shape, 0x3001, 2));
        ASSERT_TRUE(checkInput(shape, 0x8000, 8, shape == SheetTiles));
    }
    ASSERT_TRUE(checkInput(SheetTiles, 0x7FFF, 9));
}

}  // namespace
