// The ROM and the combined sheet file are replaced whole or not at all: a
// run killed or failing at any step of the file seam leaves the old file or
// the complete new one. Links keep seeing the new content; the in-place
// fallback writes the old bytes back; named pipes are refused at once.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "transfer_fixture.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// Names in `folder` of the form ".<name>.sheetpak-XXXXXX".
std::vector<std::string> temporaries(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".sheetpak-") != std::string::npos) {
            found.push_back(name);
        }
    }
    return found;
}

std::optional<Bytes> contentOf(const fs::path& path)
{
    return fs::exists(path) ? std::optional<Bytes>(readFile(path)) : std::nullopt;
}

class Replacement : public TransferTest {
protected:
    void SetUp() override
    {
        if (!canRunInChild()) {
            GTEST_SKIP() << "needs fork, named pipes and links";
        }
    }

    // For n = 1, 2, ... until a run completes before step n: `prepare` puts
    // the files back as they were, the run is killed at step n of the file
    // seam, and `target` must then hold `before` (nullopt: not exist) or
    // exactly `after`, never old again once new; a killed run may leave its
    // temporary file, never in the target's place. Then the same with step n
    // failing: the run must either fail leaving `before` or succeed with
    // `after`, and leave no temporary file. Returns the number of steps.
    std::uint32_t proveEveryStep(const std::vector<std::string>& arguments, const std::string& target,
                                 const std::function<void()>& prepare, const std::optional<Bytes>& before,
                                 const Bytes& after)
    {
        bool sawOld = false;
        bool sawNew = false;
        for (std::uint32_t n = 1; n < 1000; ++n) {
            prepare();
            const RunResult killed = runSheetpakInChild(arguments, dir.path(), {FileFaultAction::Exit, n});
            const std::optional<Bytes> now = contentOf(dir / target);
            if (killed.exitStatus != kFileFaultExitStatus) {
                EXPECT_EQ(killed.exitStatus, 0) << killed.output;
                EXPECT_EQ(now, after) << "after a complete run";
                EXPECT_TRUE(temporaries(dir.path()).empty());
                EXPECT_TRUE(sawOld && sawNew) << "both sides of the replacement must have been reached";
                return n - 1;
            }
            const bool isOld = now == before;
            const bool isNew = now == after;
            EXPECT_TRUE(isOld || isNew) << "killed at step " << n << ": " << target << " is neither";
            EXPECT_FALSE(sawNew && isOld) << "killed at step " << n << ": old again after new";
            sawOld = sawOld || isOld;
            sawNew = sawNew || isNew;
            // What a kill between creating the temporary file and renaming it
            // leaves: that one file, named after the target.
            const std::vector<std::string> left = temporaries(dir.path());
            EXPECT_LE(left.size(), 1u) << "killed at step " << n;
            for (const std::string& name : left) {
                EXPECT_EQ(name.rfind("." + target + ".sheetpak-", 0), 0u) << name;
                fs::remove(dir / name);
            }

            prepare();
            const RunResult failed = runSheetpakInChild(arguments, dir.path(), {FileFaultAction::FailOnce, n});
            EXPECT_EQ(contentOf(dir / target), failed.exitStatus == 0 ? std::optional<Bytes>(after) : before)
                << "step " << n << " failed: " << failed.output;
            EXPECT_TRUE(temporaries(dir.path()).empty()) << "step " << n << " failed";
        }
        ADD_FAILURE() << "the run never completed";
        return 0;
    }
};

TEST_F(Replacement, InsertionKilledOrFailingAtAnyStepLeavesTheOldOrTheNewRom)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    const auto prepare = [&] { rom.save(dir / "zelda.smc"); };
    prepare();
    ASSERT_EQ(run({"1", "87000", "zelda.smc"}).exitStatus, 0);
    const Bytes inserted = readFile(dir / "zelda.smc");
    ASSERT_NE(inserted, rom.bytes);
    // Creation, four pieces of the 1 MiB image, flush, rename, folder sync.
    EXPECT_EQ(proveEveryStep({"1", "87000", "zelda.smc"}, "zelda.smc", prepare, rom.bytes, inserted), 8u);
}

TEST_F(Replacement, ExpansionKilledOrFailingAtAnyStepLeavesTheOldOrTheGrownRom)
{
    const SyntheticRom rom = makeSyntheticRom({.copierHeader = true});
    const auto prepare = [&] { rom.save(dir / "zelda.smc"); };
    prepare();
    ASSERT_EQ(run({"2", "zelda.smc"}).exitStatus, 0);
    const Bytes grown = readFile(dir / "zelda.smc");
    ASSERT_EQ(grown.size(), 0x200200u);
    EXPECT_GT(proveEveryStep({"2", "zelda.smc"}, "zelda.smc", prepare, rom.bytes, grown), 8u);
}

TEST_F(Replacement, ExtractionKilledOrFailingAtAnyStepKeepsTheEarlierCombinedFile)
{
    sampleRom({.seed = 4}).save(dir / "zelda.smc");
    const Bytes earlier = combinedSampleFile(kUsLayout, 9);
    for (const bool existed : {true, false}) {
        const auto prepare = [&] {
            if (existed) {
                writeFile(dir / "all.bin", earlier);
            } else {
                fs::remove(dir / "all.bin");
            }
        };
        proveEveryStep({"0", "zelda.smc", "all.bin"}, "all.bin", prepare,
                       existed ? std::optional<Bytes>(earlier) : std::nullopt, combinedSampleFile(kUsLayout, 4));
    }
}

TEST_F(Replacement, EveryNameOfTheRomSeesTheNewContentAndItsModeIsKept)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    rom.save(dir / "plain.smc");
    ASSERT_EQ(run({"1", "87000", "plain.smc"}).exitStatus, 0);
    const Bytes inserted = readFile(dir / "plain.smc");

    // A symbolic link: the file it points to, in its own folder, is replaced.
    fs::create_directory(dir / "roms");
    rom.save(dir / "roms" / "real.smc");
    fs::permissions(dir / "roms" / "real.smc", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(fs::path("roms") / "real.smc", dir / "link.smc");
    EXPECT_EQ(run({"1", "87000", "link.smc"}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.smc"));
    EXPECT_EQ(readFile(dir / "roms" / "real.smc"), inserted);
    EXPECT_EQ(fs::status(dir / "roms" / "real.smc").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(temporaries(dir / "roms").empty());

    // A hard link: written in place, so the other name sees it too.
    rom.save(dir / "zelda.smc");
    fs::create_hard_link(dir / "zelda.smc", dir / "other.smc");
    EXPECT_EQ(run({"1", "87000", "zelda.smc"}).exitStatus, 0);
    EXPECT_EQ(readFile(dir / "other.smc"), inserted);
    EXPECT_EQ(fs::hard_link_count(dir / "zelda.smc"), 2u);
    EXPECT_TRUE(temporaries(dir.path()).empty());
}

TEST_F(Replacement, InPlaceFallbackWritesTheOldBytesBackWhenAWriteFails)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"1", "87000", "zelda.smc"}).exitStatus, 0);
    const Bytes inserted = readFile(dir / "zelda.smc");
    const std::vector<std::string> insert = {"1", "87000", "zelda.smc"};

    // A folder that takes no new file: the ROM is written in place.
    rom.save(dir / "zelda.smc");
    const RunResult noFolder = runSheetpakInChild(insert, dir.path(), {FileFaultAction::FailOnce, 1, FileStep::Create});
    EXPECT_EQ(noFolder.exitStatus, 0) << noFolder.output;
    EXPECT_EQ(readFile(dir / "zelda.smc"), inserted);

    // A hard-linked ROM is written in place; whichever write fails, every
    // change is undone, on both names.
    const std::string failed = "Recompressing...Couldn't write to the ROM: zelda.smc\n";
    std::uint32_t writes = 0;
    for (std::uint32_t n = 1; n < 200; ++n) {
        fs::remove(dir / "other.smc");
        rom.save(dir / "zelda.smc");
        fs::create_hard_link(dir / "zelda.smc", dir / "other.smc");
        const RunResult result =
            runSheetpakInChild(insert, dir.path(), {FileFaultAction::FailOnce, n, FileStep::Write});
        if (result.exitStatus == 0) {
            writes = n - 1;
            EXPECT_EQ(readFile(dir / "other.smc"), inserted);
            break;
        }
        EXPECT_EQ(afterBanner(result.output), failed + "The ROM has been restored.\nFailed!\n") << n;
        EXPECT_EQ(readFile(dir / "other.smc"), rom.bytes) << n;
    }
    EXPECT_GE(writes, 2u) << "the in-place route must have written some ranges";
    // When writing back fails as well, the run says so.
    rom.save(dir / "zelda.smc");
    const RunResult broken =
        runSheetpakInChild(insert, dir.path(), {FileFaultAction::FailFromThen, 2, FileStep::Write});
    EXPECT_EQ(afterBanner(broken.output), failed + "The ROM could not be restored: zelda.smc\nFailed!\n");

    // The real binary on a full disk: the grown tail is cut off again.
    const SyntheticRom small = makeSyntheticRom();
    small.save(dir / "zelda.smc");
    const RunResult full = run({"2", "zelda.smc"}, 0x180000);
    EXPECT_EQ(afterBanner(full.output), "Expanding ROM to 2 megs...Couldn't write to the ROM: zelda.smc\n"
                                        "The ROM has been restored.\nFailed!\n");
    EXPECT_EQ(readFile(dir / "other.smc"), small.bytes);
}

TEST_F(Replacement, NamedPipesAreRefusedAtOnceInEveryRole)
{
#if !defined(_WIN32)
    sampleRom({}).save(dir / "zelda.smc");
    const struct {
        std::vector<std::string> arguments;
        const char* pipe;
        std::string expected;
    } cases[] = {
        {{"0", "pipe.smc"}, "pipe.smc", "Unable to open the ROM: pipe.smc\n"},
        {{"1", "87000", "pipe.smc"}, "pipe.smc", "Unable to open the ROM: pipe.smc\n"},
        {{"2", "pipe.smc"}, "pipe.smc", "Unable to open the ROM: pipe.smc\n"},
        {{"0", "zelda.smc", "pipe.bin"}, "pipe.bin", "Decompressing...Couldn't open pipe.bin\nFailed!\n"},
        {{"1", "87000", "zelda.smc", "pipe.bin"}, "pipe.bin", "Recompressing...Couldn't open pipe.bin\nFailed!\n"},
        {{"0", "zelda.smc"}, "GFX00.bin", "Decompressing...Couldn't open GFX00.bin\nFailed!\n"},
        {{"1", "87000", "zelda.smc"}, "GFX73.bin", "Recompressing...Couldn't open GFX73.bin\nFailed!\n"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(mkfifo((dir / c.pipe).c_str(), 0644), 0);
        const auto start = std::chrono::steady_clock::now();
        const RunResult result = runSheetpakBinary(c.arguments, dir.path(), 0, 10);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(1)) << c.pipe;
        EXPECT_EQ(afterBanner(result.output), c.expected);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_TRUE(fs::is_fifo(dir / c.pipe)) << "the pipe must not be replaced";
        fs::remove(dir / c.pipe);
    }
#endif
}

}  // namespace
