// A second LZ encoder, written as plainly as the rules read: byte-by-byte
// lengths and a scan of every earlier position in order, no index. The real
// encoder must produce the same bytes on every generated input, and every
// stream must decode back to the (packed) input.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec_test_support.h"

namespace {

void putCommand(Bytes& out, std::uint32_t command, std::size_t length)
{
    const std::size_t field = length - 1;
    if (length <= 32) {
        out.push_back(static_cast<std::uint8_t>(command << 5 | field));
    } else {
        out.push_back(static_cast<std::uint8_t>(0xE0 | command << 2 | field >> 8));
        out.push_back(static_cast<std::uint8_t>(field & 0xFF));
    }
}

void putLiterals(Bytes& out, const Bytes& input, std::size_t from, std::size_t to)
{
    if (from < to) {
        putCommand(out, 0, to - from);
        out.insert(out.end(), input.begin() + static_cast<long>(from), input.begin() + static_cast<long>(to));
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

        std::size_t copyLength = 0;
        std::size_t copySource = 0;
        if (lim >= 4) {
            // Every earlier position in order; memchr skips the ones whose
            // first byte already differs.
            for (std::size_t j = 0; j < i; ++j) {
                const void* next = std::memchr(input.data() + j, a, i - j);
                if (next == nullptr) {
                    break;
                }
                j = static_cast<std::size_t>(static_cast<const std::uint8_t*>(next) - input.data());
                std::size_t k = 0;
                while (k < lim && input[j + k] == input[i + k]) {
                    ++k;
                }
                if (k >= 4 && k > copyLength) {
                    copyLength = k;
                    copySource = j;
                    if (k == lim) {
                        break;
                    }
                }
            }
        }

        std::size_t byteFill = 0;
        std::size_t wordFill = 0;
        std::size_t increasing = 0;
        if (a == b) {
            while (byteFill < lim && input[i + byteFill] == a) {
                ++byteFill;
            }
            byteFill = byteFill < 3 ? 0 : byteFill;
        } else {
            while (wordFill < lim && input[i + wordFill] == (wordFill % 2 == 0 ? a : b)) {
                ++wordFill;
            }
            wordFill = wordFill < 4 ? 0 : wordFill;
        }
        if (b == static_cast<std::uint8_t>(a + 1)) {
            while (increasing < lim && input[i + increasing] == static_cast<std::uint8_t>(a + increasing)) {
                ++increasing;
            }
            increasing = increasing < 3 ? 0 : increasing;
        }

        if (copyLength == 0 && byteFill == 0 && wordFill == 0 && increasing == 0) {
            ++i;
            if (i - pending == 1024) {
                putLiterals(out, input, pending, i);
                pending = i;
            }
            continue;
        }
        putLiterals(out, input, pending, i);
        std::size_t length = 0;
        if (copyLength > byteFill + 1 && copyLength > wordFill && copyLength > increasing + 1) {
            length = copyLength;
            putCommand(out, 4, length);
            out.push_back(static_cast<std::uint8_t>(copySource & 0xFF));
            out.push_back(static_cast<std::uint8_t>(copySource >> 8));
        } else if (byteFill != 0) {
            length = byteFill;
            putCommand(out, 1, length);
            out.push_back(a);
        } else if (wordFill != 0) {
            length = wordFill;
            putCommand(out, 2, length);
            out.push_back(a);
            out.push_back(b);
        } else {
            length = increasing;
            putCommand(out, 3, length);
            out.push_back(a);
        }
        i += length;
        pending = i;
    }
    if (n - pending > 1024) {
        putLiterals(out, input, pending, pending + 1024);
        pending += 1024;
    }
    putLiterals(out, input, pending, n);
    out.push_back(0xFF);
    return out;
}

// ---- Generated inputs -------------------------------------------------------

enum class Shape { Random, SmallAlphabet, SheetTiles, AllEqual, AlternatingPairs, Increments, Segments };
constexpr Shape kShapes[] = {Shape::Random,           Shape::SmallAlphabet, Shape::SheetTiles, Shape::AllEqual,
                             Shape::AlternatingPairs, Shape::Increments,    Shape::Segments};

const char* shapeName(Shape shape)
{
    switch (shape) {
    case Shape::Random: return "random";
    case Shape::SmallAlphabet: return "small alphabet";
    case Shape::SheetTiles: return "sheet tiles";
    case Shape::AllEqual: return "all equal";
    case Shape::AlternatingPairs: return "alternating pairs";
    case Shape::Increments: return "increments";
    case Shape::Segments: return "segments";
    }
    return "?";
}

// 4bpp tiles as sheets hold them: plane 3 zero, mostly empty rows, repeated
// tiles, gradients and runs of one row value.
Bytes sheetTiles(TestRandom& random, std::size_t length)
{
    Bytes out;
    while (out.size() < length) {
        Bytes tile(32, 0);
        const std::uint32_t kind = random.below(6);
        if (kind == 1 && out.size() >= 32) {
            const std::size_t earlier = random.below(static_cast<std::uint32_t>(out.size() / 32));
            std::copy(out.begin() + static_cast<long>(earlier * 32), out.begin() + static_cast<long>(earlier * 32 + 32),
                      tile.begin());
        } else if (kind == 2) {
            const std::uint8_t start = random.byte();
            for (std::size_t r = 0; r < 8; ++r) {
                tile[2 * r] = static_cast<std::uint8_t>(start + r);
                tile[2 * r + 1] = static_cast<std::uint8_t>(start + r + 1);
                tile[16 + 2 * r] = static_cast<std::uint8_t>(start + 2 * r);
            }
        } else if (kind == 3) {
            const std::uint8_t row = random.byte();
            for (std::size_t k = 0; k < 16; ++k) {
                tile[k] = row;
            }
        } else if (kind >= 4) {
            for (std::size_t r = 0; r < 8; ++r) {
                if (random.below(3) == 0) {
                    tile[2 * r] = random.byte();
                    tile[2 * r + 1] = random.below(2) == 0 ? tile[2 * r] : random.byte();
                    tile[16 + 2 * r] = random.below(2) == 0 ? 0 : random.byte();
                }
            }
        }
        out.insert(out.end(), tile.begin(), tile.end());
    }
    out.resize(length);
    return out;
}

// Pieces that exercise every choice: runs, word and increasing fills, copies
// of earlier pieces (some just one byte longer or shorter than a fill),
// literals.
Bytes segments(TestRandom& random, std::size_t length)
{
    Bytes out;
    while (out.size() < length) {
        const std::uint32_t kind = random.below(6);
        const std::size_t count = 1 + random.below(random.below(4) == 0 ? 1200 : 12);
        const std::uint8_t a = random.byte();
        const std::uint8_t b = random.byte();
        for (std::size_t k = 0; k < count; ++k) {
            switch (kind) {
            case 0: out.push_back(a); break;
            case 1: out.push_back(k % 2 == 0 ? a : b); break;
            case 2: out.push_back(static_cast<std::uint8_t>(a + k)); break;
            case 3: out.push_back(random.byte()); break;
            default:
                if (out.empty()) {
                    out.push_back(a);
                } else {
                    const std::size_t from = random.below(static_cast<std::uint32_t>(out.size()));
                    out.push_back(out[from + k < out.size() ? from + k : from]);
                }
                break;
            }
        }
    }
    out.resize(length);
    return out;
}

Bytes generate(Shape shape, std::size_t length, std::uint64_t seed)
{
    TestRandom random(seed);
    switch (shape) {
    case Shape::Random: return random.bytes(length);
    case Shape::SmallAlphabet: return random.bytes(length, 2 + random.below(4));
    case Shape::SheetTiles: return sheetTiles(random, length);
    case Shape::AllEqual: return Bytes(length, random.byte());
    case Shape::AlternatingPairs: {
        Bytes out = repeated({random.byte(), random.byte()}, length);
        for (std::size_t k = 0; k < length / 64; ++k) {
            out[random.below(static_cast<std::uint32_t>(length))] = random.byte();
        }
        return out;
    }
    case Shape::Increments: {
        Bytes out(length);
        std::uint8_t value = random.byte();
        for (auto& byte : out) {
            byte = value++;
            if (random.below(100) == 0) {
                value = random.byte();
            }
        }
        return out;
    }
    case Shape::Segments: return segments(random, length);
    }
    return {};
}

// Encodes with both encoders for codec type 0 and, unless `type1` is false,
// type 1, compares the streams and decodes the real one back. Returns false
// after the first difference.
bool checkInput(const Bytes& input, const std::string& label, bool type1 = true)
{
    for (std::uint32_t type : {0U, 1U}) {
        if (type == 1 && !type1) {
            break;
        }
        const EncodeRun run = runEncoder(encodeLzSheet, input, type);
        Bytes packed = input;
        if (type == 1) {
            packed.resize(packTiles4To3(packed.data(), static_cast<std::uint32_t>(packed.size())));
        }
        EXPECT_TRUE(run.ok) << label;
        const Bytes expected = referenceEncode(packed);
        if (run.stream != expected) {
            ADD_FAILURE() << label << ", type " << type << ": streams differ at byte "
                          << firstDifference(run.stream, expected) << " of " << expected.size();
            return false;
        }
        // The stream decodes back to the packed input; type 1 widens it again.
        const DecodeRun decoded = runDecoder(decodeLzSheet, run.stream, type);
        Bytes widened = packed;
        if (type == 1) {
            widened.resize(kCodecBufferSize);
            widened.resize(expandTiles3To4(widened.data(), static_cast<std::uint32_t>(packed.size())));
        }
        if (decoded.output() != widened || decoded.streamPosition != static_cast<long>(run.stream.size())) {
            ADD_FAILURE() << label << ", type " << type << ": round trip differs at byte "
                          << firstDifference(decoded.output(), widened);
            return false;
        }
    }
    return true;
}

std::string labelOf(Shape shape, std::size_t length, std::uint64_t seed)
{
    return std::string(shapeName(shape)) + ", " + std::to_string(length) + " bytes, seed " + std::to_string(seed);
}

TEST(LzReferenceTest, EverySmallLength)
{
    for (Shape shape : kShapes) {
        for (std::size_t length = 0; length <= 80; ++length) {
            for (std::uint64_t seed = 1; seed <= 3; ++seed) {
                ASSERT_TRUE(checkInput(generate(shape, length, seed * 1000 + length), labelOf(shape, length, seed)));
            }
        }
    }
}

TEST(LzReferenceTest, MediumLengths)
{
    TestRandom lengths(77);
    for (Shape shape : kShapes) {
        for (std::uint64_t seed = 1; seed <= 150; ++seed) {
            // Around the 1024 limits, around a sheet, and anywhere up to 2.5 KiB.
            std::size_t length = 81 + lengths.below(2500);
            if (seed % 5 == 0) {
                length = 1018 + lengths.below(14);
            } else if (seed % 5 == 1) {
                length = 2040 + lengths.below(17);
            }
            ASSERT_TRUE(checkInput(generate(shape, length, seed), labelOf(shape, length, seed)));
        }
    }
}

TEST(LzReferenceTest, LargeLengths)
{
    // Up to a full sheet buffer; the quadratic reference limits how many of
    // these run, so type 1 is checked at full size on tiles only.
    for (Shape shape : kShapes) {
        for (std::size_t length : {0x1000U, 0x3001U}) {
            ASSERT_TRUE(checkInput(generate(shape, length, length), labelOf(shape, length, length)));
        }
        ASSERT_TRUE(checkInput(generate(shape, 0x8000, 8), labelOf(shape, 0x8000, 8), shape == Shape::SheetTiles));
    }
    ASSERT_TRUE(checkInput(generate(Shape::SheetTiles, 0x7FFF, 9), labelOf(Shape::SheetTiles, 0x7FFF, 9)));
}

}  // namespace
