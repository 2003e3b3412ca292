// IPS patches checked record for record: merged and skipped gaps, runs,
// growth, records split at 0xFFFF bytes, the offset that reads as "EOF", and
// the sizes IPS cannot express.

#include "rom/ips_patch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/patch_apply.h"

namespace {

// Laid out in one buffer of its size: GCC 12 at -O3 (the Windows build) takes
// an insert after the 5-byte head for an overflow.
Bytes record(std::uint32_t offset, const Bytes& data)
{
    Bytes out(5 + data.size());
    out[0] = static_cast<std::uint8_t>(offset >> 16);
    out[1] = static_cast<std::uint8_t>(offset >> 8);
    out[2] = static_cast<std::uint8_t>(offset);
    out[3] = static_cast<std::uint8_t>(data.size() >> 8);
    out[4] = static_cast<std::uint8_t>(data.size());
    std::copy(data.begin(), data.end(), out.begin() + 5);
    return out;
}

Bytes rle(std::uint32_t offset, std::uint32_t count, std::uint8_t value)
{
    return {static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 8),
            static_cast<std::uint8_t>(offset), 0, 0, static_cast<std::uint8_t>(count >> 8),
            static_cast<std::uint8_t>(count), value};
}

Bytes ips(std::initializer_list<Bytes> records)
{
    Bytes out = {'P', 'A', 'T', 'C', 'H'};
    for (const Bytes& r : records) {
        out.insert(out.end(), r.begin(), r.end());
    }
    out.insert(out.end(), {'E', 'O', 'F'});
    return out;
}

// `file` with `bytes` written from `offset`.
Bytes with(Bytes file, std::uint32_t offset, const Bytes& bytes)
{
    std::copy(bytes.begin(), bytes.end(), file.begin() + offset);
    return file;
}

// Bytes 1 to 251 over and over: no two neighbours alike, no zero.
Bytes varied(std::uint32_t length)
{
    Bytes bytes(length);
    for (std::uint32_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i % 251 + 1);
    }
    return bytes;
}

void expectPatch(const Bytes& source, const Bytes& target, const Bytes& expected, const char* what)
{
    const MadePatch patch = makeIps(source, target);
    EXPECT_EQ(patch.result, PatchResult::Made) << what;
    EXPECT_EQ(patch.bytes, expected) << what;
}

TEST(IpsPatch, RecordsForChangesGapsRunsAndGrowth)
{
    const Bytes zeros(0x40, 0);
    const Bytes abc = {1, 2, 3};
    const Bytes def = {4, 5, 6};
    expectPatch(zeros, zeros, ips({}), "identical files");
    expectPatch(Bytes(0x200, 0), with(Bytes(0x200, 0), 0x102, {0x55}), ips({record(0x102, {0x55})}), "one byte");
    // Equal bytes between changes: up to 4 go into the record, 5 are skipped.
    expectPatch(zeros, with(with(zeros, 0x10, {7}), 0x15, {8}), ips({record(0x10, {7, 0, 0, 0, 0, 8})}), "gap of 4");
    expectPatch(zeros, with(with(zeros, 0x10, {7}), 0x16, {8}), ips({record(0x10, {7}), record(0x16, {8})}),
                "gap of 5");
    // A run alone: data up to 8 bytes, RLE from 9; inside data, from 14 on.
    expectPatch(zeros, with(zeros, 0x10, Bytes(8, 0xFF)), ips({record(0x10, Bytes(8, 0xFF))}), "run of 8");
    expectPatch(zeros, with(zeros, 0x10, Bytes(9, 0xFF)), ips({rle(0x10, 9, 0xFF)}), "run of 9");
    Bytes inside = abc;
    inside.insert(inside.end(), 13, 0xFF);
    inside.insert(inside.end(), def.begin(), def.end());
    expectPatch(zeros, with(zeros, 0x10, inside), ips({record(0x10, inside)}), "run of 13 in data");
    inside.insert(inside.begin() + 3, 0xFF);
    expectPatch(zeros, with(zeros, 0x10, inside), ips({record(0x10, abc), rle(0x13, 14, 0xFF), record(0x21, def)}),
                "run of 14 in data");
    // Growth: every new byte is in a record, zeros too.
    const Bytes four(4, 0x11);
    expectPatch(four, {0x11, 0x11, 0x11, 0x11, 'X', 'Y'}, ips({record(4, {'X', 'Y'})}), "grown by data");
    expectPatch(four, {0x11, 0x11, 0x11, 0x11, 0, 0}, ips({record(4, {0, 0})}), "grown by two zeros");
    Bytes grown = four;
    grown.resize(24, 0);
    expectPatch(four, grown, ips({rle(4, 20, 0)}), "grown by 20 zeros");
    expectPatch({}, {}, ips({}), "empty files");
}

TEST(IpsPatch, RecordsSplitAtTheirLargestSize)
{
    const Bytes zeros(0x20000, 0);
    const Bytes data = varied(0x10000);
    expectPatch(zeros, with(zeros, 0, data),
                ips({record(0, Bytes(data.begin(), data.end() - 1)), record(0xFFFF, {data.back()})}), "data");
    expectPatch(zeros, Bytes(0x20000, 0xFF), ips({rle(0, 0xFFFF, 0xFF), rle(0xFFFF, 0xFFFF, 0xFF), rle(0x1FFFE, 2, 0xFF)}),
                "run");
}

TEST(IpsPatch, NoRecordStartsWhereItsOffsetReadsAsTheEndMarker)
{
    constexpr std::uint32_t kEof = 0x454F46;
    const Bytes zeros(kEof + 0x20, 0);
    expectPatch(zeros, with(zeros, kEof, {0x55}), ips({record(kEof - 1, {0, 0x55})}), "one byte");
    expectPatch(zeros, with(zeros, kEof, Bytes(10, 0xFF)), ips({record(kEof - 1, {0, 0xFF}), rle(kEof + 1, 9, 0xFF)}),
                "run after another byte");
    const Bytes ff = with(zeros, kEof - 1, {0xFF});
    expectPatch(ff, with(ff, kEof, Bytes(10, 0xFF)), ips({rle(kEof - 1, 11, 0xFF)}), "run after the same byte");
    // Data split at 0xFFFF bytes right at the offset.
    const Bytes data = varied(0xFFFF + 10);
    const Bytes target = with(zeros, kEof - 0xFFFF, data);
    expectPatch(zeros, target,
                ips({record(kEof - 0xFFFF, Bytes(data.begin(), data.begin() + 0xFFFF)),
                     record(kEof - 1, Bytes(target.begin() + kEof - 1, target.begin() + kEof + 10))}),
                "split");
}

TEST(IpsPatch, RefusesWhatTheFormatCannotExpress)
{
    // A file of 16 MiB is the largest: its last byte has offset 0xFFFFFF.
    Bytes source(kIpsTargetLimit - 0x100, 0);
    Bytes target(kIpsTargetLimit, 0);
    target.back() = 1;
    const MadePatch largest = makeIps(source, target);
    EXPECT_EQ(largest.result, PatchResult::Made);
    const AppliedPatch applied = applyIpsPatch(largest.bytes, source);
    EXPECT_TRUE(applied.ok) << applied.fault;
    EXPECT_TRUE(applied.target == target);
    target.push_back(0);
    const MadePatch larger = makeIps(source, target);
    EXPECT_EQ(larger.result, PatchResult::TooLarge);
    EXPECT_TRUE(larger.bytes.empty());
    // A shorter target needs truncation, which IPS does not have.
    const MadePatch shorter = makeIps(Bytes(10, 0), Bytes(9, 0));
    EXPECT_EQ(shorter.result, PatchResult::TooLarge);
    EXPECT_TRUE(shorter.bytes.empty());
}

}  // namespace
