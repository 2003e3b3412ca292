// Modes 2 and 3 through the real binary.

#include <gtest/gtest.h>

#include <cerrno>

#include <string>

#include "support/rom_fixture.h"
#include "support/run_binary.h"

namespace {

struct Expansion {
    RunResult result;
    Bytes before;
    Bytes after;
};

Expansion expand(const std::string& mode, const SyntheticRom& rom, std::uint64_t fileSizeLimit = 0)
{
    TempDir dir;
    rom.save(dir / "zelda.smc");
    RunResult result = runSheetpakBinary({mode, "zelda.smc"}, dir.path(), fileSizeLimit);
    return {result, rom.bytes, readFile(dir / "zelda.smc")};
}

// The grown file must be the old one, zeros up to `size`, and the size code.
void expectGrown(const Expansion& e, std::size_t size, std::size_t codePosition, std::uint8_t code)
{
    ASSERT_EQ(e.after.size(), size);
    Bytes expected = e.before;
    expected.resize(size, 0);
    expected[codePosition] = code;
    EXPECT_EQ(firstDifference(e.after, expected), -1);
    EXPECT_EQ(e.result.exitStatus, 0);
}

TEST(ExpandRom, GrowsToTwoMebibytesWithSizeCodeEleven)
{
    const Expansion plain = expand("2", makeSyntheticRom());
    EXPECT_EQ(afterBanner(plain.result.output), "Expanding ROM to 2 megs...Done!\n");
    expectGrown(plain, 0x200000, 0x7FD7, 11);

    // The header stays in front and the code lands 0x200 further on.
    expectGrown(expand("2", makeSyntheticRom({.copierHeader = true})), 0x200200, 0x81D7, 11);
    // A file of 0x180000 bytes receives exactly 0x80000 zero bytes.
    expectGrown(expand("2", makeSyntheticRom({.imageSize = 0x180000})), 0x200000, 0x7FD7, 11);
    // 0x1FFFFF bytes have bit 9 set: the file counts as headered.
    expectGrown(expand("2", makeSyntheticRom({.imageSize = 0x1FFDFF, .copierHeader = true})), 0x200200, 0x81D7,
                11);
}

TEST(ExpandRom, GrowsToThreeMebibytesWithSizeCodeTwelve)
{
    const Expansion e = expand("3", makeSyntheticRom({.imageSize = 0x200000}));
    EXPECT_EQ(afterBanner(e.result.output), "Expanding ROM to 3 megs...Done!\n");
    expectGrown(e, 0x300000, 0x7FD7, 12);
    expectGrown(expand("113", makeSyntheticRom({.copierHeader = true})), 0x300200, 0x81D7, 12);
}

TEST(ExpandRom, NeverShrinksAndLeavesLargeFilesUntouched)
{
    const struct {
        const char* mode;
        RomOptions options;
    } cases[] = {
        {"2", {.imageSize = 0x200000}},
        {"2", {.imageSize = 0x300000, .copierHeader = true}},
        {"3", {.imageSize = 0x300000}},
        {"3", {.imageSize = 0x300000, .copierHeader = true}},
    };
    for (const auto& c : cases) {
        const Expansion e = expand(c.mode, makeSyntheticRom(c.options));
        const std::string megs = c.mode[0] == '2' ? "2" : "3";
        EXPECT_EQ(afterBanner(e.result.output),
                  "Expanding ROM to " + megs + " megs...The ROM is already " + megs + " MiB or larger.\nFailed!\n");
        EXPECT_EQ(e.result.exitStatus, 1);
        EXPECT_EQ(firstDifference(e.after, e.before), -1);
    }
}

TEST(ExpandRom, FailedWriteIsReportedAsFailure)
{
    if (!canLimitFileSize()) {
        GTEST_SKIP() << "no way to make writes fail on this platform";
    }
    const Expansion e = expand("2", makeSyntheticRom(), 0x180000);
    EXPECT_EQ(afterBanner(e.result.output), "Expanding ROM to 2 megs...Couldn't write to the ROM: zelda.smc\n" +
                                                systemSays(EFBIG) + "The ROM has not been changed.\nFailed!\n");
    EXPECT_EQ(e.result.exitStatus, 1);
    // The grown image never took the ROM's place.
    EXPECT_EQ(firstDifference(e.after, e.before), -1);
}

}  // namespace
