// Both patch writers over many shapes of change, through the test appliers,
// and the patch sizes that the tool's own runs must stay within.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

#include "rom/ips_patch.h"
#include "support/patch_apply.h"
#include "support/rom_fixture.h"
#include "support/test_random.h"

namespace {

// Patches source into target in both formats (IPS only for a target as long
// or longer, up to its limit) and applies them; returns the sizes of the BPS
// and IPS patches.
std::pair<std::size_t, std::size_t> roundTrip(const Bytes& source, const Bytes& target, const std::string& what)
{
    const MadePatch bps = makeBps(source, target);
    EXPECT_EQ(bps.result, PatchResult::Made) << what;
    const AppliedPatch bpsApplied = applyBpsPatch(bps.bytes, source);
    EXPECT_TRUE(bpsApplied.ok) << what << ": " << bpsApplied.fault;
    EXPECT_TRUE(bpsApplied.target == target) << what << ": first difference at "
                                             << firstDifference(bpsApplied.target, target);
    if (target.size() < source.size() || target.size() > kIpsTargetLimit) {
        return {bps.bytes.size(), 0};
    }
    const MadePatch ips = makeIps(source, target);
    EXPECT_EQ(ips.result, PatchResult::Made) << what;
    const AppliedPatch ipsApplied = applyIpsPatch(ips.bytes, source);
    EXPECT_TRUE(ipsApplied.ok) << what << ": " << ipsApplied.fault;
    EXPECT_TRUE(ipsApplied.target == target) << what << ": first difference at "
                                             << firstDifference(ipsApplied.target, target);
    return {bps.bytes.size(), ips.bytes.size()};
}

// `source` with edits of every kind the writers tell apart: new bytes, runs,
// blocks of the source copied elsewhere, and a grown or shrunk end.
Bytes edited(TestRandom& random, const Bytes& source, std::uint32_t alphabet)
{
    Bytes target = source;
    const std::uint32_t edits = random.below(12);
    for (std::uint32_t e = 0; e < edits && !target.empty(); ++e) {
        const std::uint32_t at = random.below(static_cast<std::uint32_t>(target.size()));
        const std::uint32_t room = static_cast<std::uint32_t>(target.size()) - at;
        const std::uint32_t length = 1 + random.below(room < 80 ? room : 80);
        const std::uint32_t kind = random.below(3);
        if (kind == 0) {
            const Bytes bytes = random.bytes(length, alphabet);
            std::copy(bytes.begin(), bytes.end(), target.begin() + at);
        } else if (kind == 1) {
            std::fill_n(target.begin() + at, length, random.byte());
        } else if (source.size() >= length) {
            const std::uint32_t from = random.below(static_cast<std::uint32_t>(source.size()) - length + 1);
            std::copy_n(source.begin() + from, length, target.begin() + at);
        }
    }
    const std::uint32_t end = random.below(4);
    if (end == 1) {
        target.resize(target.size() + random.below(300), random.below(2) == 0 ? 0 : random.byte());
    } else if (end == 2) {
        const Bytes tail = random.bytes(random.below(300), alphabet);
        target.insert(target.end(), tail.begin(), tail.end());
    } else if (end == 3) {
        target.resize(random.below(static_cast<std::uint32_t>(target.size()) + 1));
    }
    return target;
}

TEST(PatchRoundTrip, RandomEditsOfRandomFiles)
{
    TestRandom random(31);
    for (int round = 0; round < 400; ++round) {
        // Few values make many short equal stretches and runs by chance.
        const std::uint32_t alphabet = round % 3 == 0 ? 2 : round % 3 == 1 ? 5 : 256;
        const Bytes source = random.bytes(random.below(3000), alphabet);
        roundTrip(source, edited(random, source, alphabet), "round " + std::to_string(round));
    }
    roundTrip({}, TestRandom(5).bytes(100), "from an empty file");
    roundTrip(TestRandom(5).bytes(100), {}, "to an empty file");
}

TEST(PatchRoundTrip, RunsAndEqualStretchesOfEveryLengthAroundTheThresholds)
{
    TestRandom random(32);
    for (std::uint32_t length = 1; length <= 24; ++length) {
        const Bytes source(200, 0);
        // Changed bytes (never 0) around a run, and around an equal stretch.
        Bytes changed = random.bytes(100, 255);
        for (auto& value : changed) {
            ++value;
        }
        Bytes run = changed;
        std::fill_n(run.begin() + 40, length, changed[39]);
        run.resize(200, 0);
        roundTrip(source, run, "run after its byte " + std::to_string(length));
        std::fill_n(run.begin() + 40, length, 0x7F);
        roundTrip(source, run, "run " + std::to_string(length));
        Bytes gap = changed;
        gap.resize(200, 0);
        std::fill_n(gap.begin() + 40, length, 0);
        roundTrip(source, gap, "equal stretch " + std::to_string(length));
        roundTrip(Bytes(source.begin(), source.begin() + length), run, "grown from " + std::to_string(length));
    }
}

// A 1 MiB ROM of random bytes after its internal header.
Bytes randomRom(std::uint64_t seed, bool copierHeader = false)
{
    SyntheticRom rom = makeSyntheticRom({.copierHeader = copierHeader});
    rom.put(0x8000, TestRandom(seed).bytes(0xF8000));
    return rom.bytes;
}

void changeAll(Bytes& file, std::uint32_t at, std::uint32_t length, TestRandom& random)
{
    for (std::uint32_t i = 0; i < length; ++i) {
        file[at + i] ^= static_cast<std::uint8_t>(1 + random.below(255));
    }
}

TEST(PatchSize, ChangedBytesCostLittleMoreThanThemselves)
{
    TestRandom random(33);
    // A stretch of 600 bytes and a sheet pointer (three bytes 223 apart).
    const Bytes source = randomRom(1);
    Bytes target = source;
    changeAll(target, 0x90000, 600, random);
    for (std::uint32_t table = 0; table < 3; ++table) {
        changeAll(target, kUsLayout.pointerTableBase + 0x40 + 223 * table, 1, random);
    }
    auto [bps, ips] = roundTrip(source, target, "600 + 3 bytes");
    EXPECT_LE(bps, 603u + 64);
    EXPECT_LE(ips, 603u + 64);

    // New streams over old ones, then freed space filled with 0xFF.
    target = source;
    changeAll(target, 0x87000, 100000, random);
    std::fill_n(target.begin() + 0x87000 + 100000, 250000, 0xFF);
    std::tie(bps, ips) = roundTrip(source, target, "streams and fill");
    EXPECT_LE(bps, 100000u + 2048);
    EXPECT_LE(ips, 100000u + 2048);

    // Bytes of a changed stretch left as they were (every 8th; 2 in every
    // 40; 3 amid 10000), or made into short runs (4 in every 12): no dearer
    // than changing every byte.
    target = source;
    changeAll(target, 0x90000, 10000, random);
    const auto [bpsAll, ipsAll] = roundTrip(source, target, "all changed");
    for (const std::uint32_t pattern : {0u, 1u, 2u, 3u}) {
        Bytes kept = target;
        for (std::uint32_t i = 0; i < 10000; ++i) {
            const bool left = pattern == 0 ? i % 8 == 0 : pattern == 1 ? i % 40 >= 38 : pattern == 3 && i / 3 == 1666;
            if (left) {
                kept[0x90000 + i] = source[0x90000 + i];
            } else if (pattern == 2 && i % 12 != 0 && i % 12 < 4) {
                kept[0x90000 + i] = kept[0x90000 + i - 1];
            }
        }
        std::tie(bps, ips) = roundTrip(source, kept, "pattern " + std::to_string(pattern));
        EXPECT_LE(bps, bpsAll) << pattern;
        EXPECT_LE(ips, ipsAll) << pattern;
    }
}

TEST(PatchSize, ExpansionCostsAFewBytes)
{
    for (const bool copierHeader : {false, true}) {
        const Bytes source = randomRom(2, copierHeader);
        const std::uint32_t header = copierHeader ? 0x200 : 0;
        for (const std::uint32_t size : {0x200000u, 0x300000u}) {
            Bytes target = source;
            target.resize(header + size, 0);
            target[header + kRomSizeCodeOffset] = size == 0x200000 ? 11 : 12;
            const auto [bps, ips] = roundTrip(source, target, "expansion");
            EXPECT_LT(bps, 100u);
            // One RLE record of 8 bytes for every 0xFFFF zeros.
            EXPECT_LE(ips, 5 + 6 + 8 * ((size - 0x100000 + 0xFFFE) / 0xFFFF) + 3);
        }
    }
}

TEST(PatchSize, BpsCopiesMovedBytesFromTheSource)
{
    TestRandom random(34);
    const Bytes source = randomRom(3);
    // The graphics laid out again 0x1234 bytes further on, after new bytes.
    Bytes target = source;
    std::copy_n(source.begin() + 0x87000, 0x30000, target.begin() + 0x87000 + 0x1234);
    changeAll(target, 0x87000, 0x1234, random);
    EXPECT_LE(roundTrip(source, target, "moved").first, 0x1234u + 64);
    // Two blocks swapped.
    target = source;
    std::copy_n(source.begin() + 0x40000, 0x8000, target.begin() + 0x60000);
    std::copy_n(source.begin() + 0x60000, 0x8000, target.begin() + 0x40000);
    EXPECT_LE(roundTrip(source, target, "swapped").first, 64u);
}

TEST(PatchSize, LargestFilesInBoundedTime)
{
    TestRandom random(35);
    const std::uint32_t largest = kIpsTargetLimit + 0x200;
    const Bytes source = random.bytes(largest);
    Bytes target = source;
    for (std::uint32_t at = 0; at < largest; at += 0x1000) {
        changeAll(target, at, 1 + at % 7, random);
    }
    std::fill_n(target.begin() + 0x400000, 0x100000, 0xFF);
    // Each change: up to 7 bytes, a TargetRead header and a SourceRead after.
    EXPECT_LE(roundTrip(source, target, "16 MiB").first, (largest / 0x1000 + 1) * (7 + 3) + 64);
}

}  // namespace
