// BPS patches applied by another applier than ours: the `bps` command of the
// npm package of that name (`bps apply PATCH SOURCE OUTPUT`). It prints what
// happened and always exits with 0, so its words and output file are checked.
// Where it is missing the test is skipped, unless SHEETPAK_REQUIRE_BPS is 1
// (as in continuous integration); on Windows it is not run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/bps_tool.h"
#include "support/patch_apply.h"
#include "support/rom_fixture.h"
#include "support/test_random.h"

namespace {

// Runs `bps apply` on the files written for `source` and `patch` in `dir`;
// what it printed.
std::string bpsApply(const TempDir& dir, const Bytes& source, const Bytes& patch)
{
    writeFile(dir / "source.bin", source);
    writeFile(dir / "patch.bps", patch);
    return runBpsApply(dir / "patch.bps", dir / "source.bin", dir / "output.bin");
}

TEST(BpsTool, RebuildsEachTargetAndRefusesAnotherSource)
{
    switch (findBpsTool()) {
    case BpsToolState::Available:
        break;
    case BpsToolState::Required:
        FAIL() << "SHEETPAK_REQUIRE_BPS is 1 but no bps command is found (npm install -g bps)";
    case BpsToolState::Missing:
        GTEST_SKIP() << "no bps command (npm install -g bps), or not a POSIX system";
    }
    TestRandom random(41);
    const Bytes rom = makeSyntheticRom().bytes;
    Bytes changed = rom;
    for (std::uint32_t at = 0x8000; at < 0x9000; at += 97) {
        changed[at] = random.byte();
    }
    Bytes expanded = changed;
    expanded.resize(0x200000, 0);
    expanded[kRomSizeCodeOffset] = 11;
    Bytes moved = random.bytes(0x20000);
    const Bytes swapped = [&] {
        Bytes out(moved.begin() + 0x10000, moved.end());
        out.insert(out.end(), moved.begin(), moved.begin() + 0x10000);
        std::fill_n(out.begin() + 0x8000, 300, 0xFF);
        return out;
    }();
    const struct {
        const char* what;
        Bytes source;
        Bytes target;
    } cases[] = {
        {"identical", rom, rom},
        {"changed bytes", rom, changed},
        {"expanded", rom, expanded},
        {"halves swapped, a run", moved, swapped},
        {"shrunk", moved, Bytes(moved.begin(), moved.begin() + 1000)},
        {"from an empty file", {}, random.bytes(100)},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const MadePatch patch = makeBps(c.source, c.target);
        ASSERT_EQ(patch.result, PatchResult::Made) << c.what;
        const std::string said = bpsApply(dir, c.source, patch.bytes);
        EXPECT_NE(said.find("Patch was applied successfully."), std::string::npos) << c.what << ": " << said;
        EXPECT_TRUE(std::filesystem::exists(dir / "output.bin")) << c.what;
        if (std::filesystem::exists(dir / "output.bin")) {
            const Bytes output = readFile(dir / "output.bin");
            EXPECT_TRUE(output == c.target) << c.what << ": first difference at " << firstDifference(output, c.target);
        }
    }
    // The source's CRC-32 in the patch keeps it off any other file.
    Bytes other = rom;
    other[0x8000] ^= 1;
    const std::string said = bpsApply(dir, other, makeBps(rom, changed).bytes);
    EXPECT_NE(said.find("Source is not compatible"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(dir / "output.bin"));
}

}  // namespace
