// BPS patches checked byte for byte: worked examples of each action, the
// relative copy positions, and the numbers at their length boundaries.

#include "rom/bps_patch.h"

#include <gtest/gtest.h>

#include "support/patch_apply.h"

namespace {

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes counting(std::uint8_t from, std::uint8_t count)
{
    Bytes bytes(count);
    for (std::uint8_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<std::uint8_t>(from + i);
    }
    return bytes;
}

Bytes littleEndian(std::uint32_t crc)
{
    return {static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc >> 16),
            static_cast<std::uint8_t>(crc >> 24)};
}

// "BPS1", `body` (sizes and actions), and the three CRC-32s.
Bytes expectedPatch(const Bytes& body, const Bytes& source, const Bytes& target)
{
    Bytes patch = Bytes{'B', 'P', 'S', '1'} + body + littleEndian(referenceCrc32(source.data(), source.size())) +
                  littleEndian(referenceCrc32(target.data(), target.size()));
    return patch + littleEndian(referenceCrc32(patch.data(), patch.size()));
}

TEST(BpsPatch, WorkedExamples)
{
    Bytes oneChanged = counting(0, 9);
    oneChanged[4] = 0x55;
    const Bytes runs = counting(1, 8) + Bytes(20, 0xEE) + Bytes{0x11, 0x22} + Bytes(10, 0x33);
    const struct {
        const char* what;
        Bytes source;
        Bytes target;
        Bytes body;
    } cases[] = {
        {"empty files", {}, {}, {0x80, 0x80, 0x80}},
        // SourceRead 10: (9 << 2) | 0.
        {"identical files", counting(0, 10), counting(0, 10), {0x8A, 0x8A, 0x80, 0xA4}},
        // SourceRead 4, TargetRead 1 (0x81) of 0x55, SourceRead 4.
        {"one changed byte", counting(0, 9), oneChanged, {0x89, 0x89, 0x80, 0x8C, 0x81, 0x55, 0x8C}},
        {"a grown file", {'a', 'b', 'c'}, {'a', 'b', 'c', 'X', 'Y'}, {0x83, 0x85, 0x80, 0x88, 0x85, 'X', 'Y'}},
        {"a shrunk file", {'a', 'b', 'c', 'd', 'e', 'f'}, {'a', 'b', 'c'}, {0x86, 0x83, 0x80, 0x88}},
        // One literal 0xEE, then TargetCopy 19 ((18 << 2) | 3) from target
        // position 8 (+8: 0x90); after 0x11 0x22 0x33, TargetCopy 9 from 30:
        // the target position moves from 27 (8 + 19) by +3 (0x86).
        {"runs",
         counting(1, 8),
         runs,
         {0x88, 0xA8, 0x80, 0x9C, 0x81, 0xEE, 0xCB, 0x90, 0x89, 0x11, 0x22, 0x33, 0xA3, 0x86}},
        // SourceCopy 16 ((15 << 2) | 2) from source position 16 (+16: 0xA0),
        // then from 0: the source position moves from 32 by -32 (0xC1).
        {"swapped halves", counting(0, 32), counting(16, 16) + counting(0, 16), {0xA0, 0xA0, 0x80, 0xBE, 0xA0, 0xBE, 0xC1}},
    };
    for (const auto& c : cases) {
        const MadePatch patch = makeBps(c.source, c.target);
        EXPECT_EQ(patch.result, PatchResult::Made) << c.what;
        EXPECT_EQ(patch.bytes, expectedPatch(c.body, c.source, c.target)) << c.what;
    }
}

TEST(BpsPatch, NumbersAtTheirLengthBoundaries)
{
    // Sizes: the largest value of each length and the smallest of the next.
    const struct {
        std::uint32_t size;
        Bytes number;
    } sizes[] = {
        {127, {0xFF}},
        {128, {0x00, 0x80}},
        {16511, {0x7F, 0xFF}},
        {16512, {0x00, 0x00, 0x80}},
        {2113663, {0x7F, 0x7F, 0xFF}},
        {2113664, {0x00, 0x00, 0x00, 0x80}},
    };
    for (const auto& s : sizes) {
        const Bytes file(s.size, 0);
        const Bytes patch = makeBps(file, file).bytes;
        const Bytes header = Bytes{'B', 'P', 'S', '1'} + s.number + s.number + Bytes{0x80};
        ASSERT_GE(patch.size(), header.size());
        EXPECT_EQ(Bytes(patch.begin(), patch.begin() + static_cast<long>(header.size())), header) << s.size;
    }
    // The SourceRead of an unchanged file: 32 bytes are (31 << 2) = 124, the
    // last one-byte number; 4128 bytes are 16508, 4129 are 16512.
    const struct {
        std::uint32_t size;
        Bytes body;
    } reads[] = {
        {32, {0xA0, 0xA0, 0x80, 0xFC}},
        {33, {0xA1, 0xA1, 0x80, 0x00, 0x80}},
        {4128, {0x20, 0x9F, 0x20, 0x9F, 0x80, 0x7C, 0xFF}},
        {4129, {0x21, 0x9F, 0x21, 0x9F, 0x80, 0x00, 0x00, 0x80}},
    };
    for (const auto& r : reads) {
        const Bytes file(r.size, 0x5A);
        EXPECT_EQ(makeBps(file, file).bytes, expectedPatch(r.body, file, file)) << r.size;
    }
}

}  // namespace
