// The ROM and the combined sheet file are replaced whole or not at all: a
// run killed or failing at any step of the file seam leaves the old file or
// the complete new one. Links keep seeing the new content; the in-place
// fallback writes the old bytes back; named pipes are refused at once.

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"
#include "transfer_fixture.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

class Replacement : public TransferTest {
protected:
    void SetUp() override
    {
        if (!canRunInChild()) {
            GTEST_SKIP() << "needs fork, named pipes and links";
        }
    }

    // Saves `rom` as `name` beside the sheet files of sample seed 2 and returns
    // what an insertion from 0x87000 makes of it; the file is left inserted.
    Bytes inserted(const SyntheticRom& rom, const std::string& name)
    {
        writeSampleSheetFiles(kUsLayout, 2);
        rom.save(dir / name);
        EXPECT_EQ(run({"1", "87000", name}).exitStatus, 0);
        return readFile(dir / name);
    }

    // One file a run replaces: its content before (nullopt: absent) and after.
    struct Target {
        std::string name;
        std::optional<Bytes> before;
        Bytes after;
    };

    // For n = 1, 2, ... until a run completes before step n: `prepare` puts
    // the files back as they were, the run is killed at step n of the file
    // seam, and each target must then hold its old content or exactly its new
    // one, never old again once new; a killed run may leave a temporary file
    // per target, named after it, never in its place. Then the same with step
    // n failing: the run must either succeed with every target new or fail
    // leaving every target as it was (in a batch, targets listed in the order
    // they are renamed, those before a failed rename may be new), and leave
    // no temporary file, not even those the killed run left. Returns the
    // number of steps.
    std::uint32_t proveEveryStep(const std::vector<std::string>& arguments, const std::vector<Target>& targets,
                                 const std::function<void()>& prepare)
    {
        std::vector<bool> sawOld(targets.size()), sawNew(targets.size());
        for (std::uint32_t n = 1; n < 1000; ++n) {
            prepare();
            const RunResult killed = runSheetpakInChild(arguments, dir.path(), {FileFaultAction::Exit, n});
            for (std::size_t k = 0; k < targets.size(); ++k) {
                const Target& target = targets[k];
                const std::optional<Bytes> now = contentOf(dir / target.name);
                if (killed.exitStatus != kFileFaultExitStatus) {
                    EXPECT_EQ(killed.exitStatus, 0) << killed.output;
                    EXPECT_EQ(now, target.after) << target.name << " after a complete run";
                    EXPECT_TRUE(sawOld[k] && sawNew[k]) << target.name << ": both sides must have been reached";
                    continue;
                }
                const bool isOld = now == target.before;
                const bool isNew = now == target.after;
                EXPECT_TRUE(isOld || isNew) << "killed at step " << n << ": " << target.name << " is neither";
                EXPECT_FALSE(sawNew[k] && isOld) << "killed at step " << n << ": " << target.name << " old again";
                sawOld[k] = sawOld[k] || isOld;
                sawNew[k] = sawNew[k] || isNew;
            }
            const std::vector<std::string> left = toolLeftovers(dir.path());
            if (killed.exitStatus != kFileFaultExitStatus) {
                EXPECT_TRUE(left.empty());
                return n - 1;
            }
            EXPECT_LE(left.size(), targets.size()) << "killed at step " << n;
            for (const std::string& name : left) {
                bool named = false;
                for (const Target& target : targets) {
                    named = named || name.rfind("." + target.name + ".sheetpak-", 0) == 0;
                }
                EXPECT_TRUE(named) << name;
            }

            prepare();
            const RunResult failed = runSheetpakInChild(arguments, dir.path(), {FileFaultAction::FailOnce, n});
            // Only a failed rename stops a batch with files before it in place.
            bool allOldFromHere = targets.size() == 1;
            for (const Target& target : targets) {
                const std::optional<Bytes> now = contentOf(dir / target.name);
                const bool isOld = now == target.before;
                if (failed.exitStatus == 0 || allOldFromHere) {
                    EXPECT_EQ(now, failed.exitStatus == 0 ? std::optional<Bytes>(target.after) : target.before)
                        << "step " << n << " failed: " << target.name << ": " << failed.output;
                }
                EXPECT_TRUE(isOld || now == target.after) << "step " << n << " failed: " << target.name;
                allOldFromHere = allOldFromHere || isOld;
            }
            EXPECT_TRUE(toolLeftovers(dir.path()).empty()) << "step " << n << " failed";
        }
        ADD_FAILURE() << "the run never completed";
        return 0;
    }
};

TEST_F(Replacement, InsertionKilledOrFailingAtAnyStepLeavesTheOldOrTheNewRom)
{
    const SyntheticRom rom = sampleRom({});
    const Bytes after = inserted(rom, "zelda.smc");
    const auto prepare = [&] { rom.save(dir / "zelda.smc"); };
    ASSERT_NE(after, rom.bytes);
    // Creation, four pieces of the 1 MiB image, flush, rename, folder sync.
    EXPECT_EQ(proveEveryStep({"1", "87000", "zelda.smc"}, {{"zelda.smc", rom.bytes, after}}, prepare), 8u);
}

TEST_F(Replacement, ExpansionKilledOrFailingAtAnyStepLeavesTheOldOrTheGrownRom)
{
    const SyntheticRom rom = makeSyntheticRom({.copierHeader = true});
    const auto prepare = [&] { rom.save(dir / "zelda.smc"); };
    prepare();
    ASSERT_EQ(run({"2", "zelda.smc"}).exitStatus, 0);
    const Bytes grown = readFile(dir / "zelda.smc");
    ASSERT_EQ(grown.size(), 0x200200u);
    EXPECT_GT(proveEveryStep({"2", "zelda.smc"}, {{"zelda.smc", rom.bytes, grown}}, prepare), 8u);
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
        // Replacing an earlier file of other sheets is asked for with 0x800.
        proveEveryStep({"800", "zelda.smc", "all.bin"},
                       {{"all.bin", existed ? std::optional<Bytes>(earlier) : std::nullopt,
                         combinedSampleFile(kUsLayout, 4)}},
                       prepare);
    }
}

TEST_F(Replacement, PerSheetExtractionKilledOrFailingAtAnyStepLeavesEachFileOldOrNew)
{
    sampleRom({.seed = 4}).save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 4);
    // Three files with other bytes, one missing; the other 219 already hold
    // what the run writes and are left alone.
    std::vector<Target> targets;
    for (const std::uint32_t sheet : {0x03u, 0x40u, 0x71u, 0xDEu}) {
        const Bytes after = sheetFile(sheet);
        targets.push_back({sheetName(sheet), sampleSheet(sheet, kUsLayout, 9), after});
    }
    targets[2].before = std::nullopt;
    const auto prepare = [&] {
        for (const Target& target : targets) {
            if (target.before) {
                writeFile(dir / target.name, *target.before);
            } else {
                fs::remove(dir / target.name);
            }
        }
    };
    // Four creations and writes, one flush for the batch (Linux), four
    // renames, one folder sync.
    const std::uint32_t steps = proveEveryStep({"800", "zelda.smc"}, targets, prepare);
    EXPECT_GE(steps, 14u);
    EXPECT_EQ(readFile(dir / "GFX04.bin"), sampleSheet(0x04, kUsLayout, 4));
}

TEST_F(Replacement, EveryNameOfTheRomSeesTheNewContentAndItsModeIsKept)
{
    const SyntheticRom rom = sampleRom({});
    const Bytes after = inserted(rom, "plain.smc");

    // A symbolic link: the file it points to, in its own folder, is replaced.
    fs::create_directory(dir / "roms");
    rom.save(dir / "roms" / "real.smc");
    fs::permissions(dir / "roms" / "real.smc", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(fs::path("roms") / "real.smc", dir / "link.smc");
    EXPECT_EQ(run({"1", "87000", "link.smc"}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "link.smc"));
    EXPECT_EQ(readFile(dir / "roms" / "real.smc"), after);
    EXPECT_EQ(fs::status(dir / "roms" / "real.smc").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(toolLeftovers(dir / "roms").empty());

    // A hard link: written in place, so the other name sees it too.
    rom.save(dir / "zelda.smc");
    fs::create_hard_link(dir / "zelda.smc", dir / "other.smc");
    EXPECT_EQ(run({"1", "87000", "zelda.smc"}).exitStatus, 0);
    EXPECT_EQ(readFile(dir / "other.smc"), after);
    EXPECT_EQ(fs::hard_link_count(dir / "zelda.smc"), 2u);
    EXPECT_TRUE(toolLeftovers(dir.path()).empty());
}

TEST_F(Replacement, InPlaceFallbackWritesTheOldBytesBackWhenAWriteFails)
{
    const SyntheticRom rom = sampleRom({});
    const Bytes after = inserted(rom, "zelda.smc");
    const std::vector<std::string> insert = {"1", "87000", "zelda.smc"};

    // A folder that takes no new file: the ROM is written in place.
    rom.save(dir / "zelda.smc");
    const RunResult noFolder = runSheetpakInChild(insert, dir.path(), {FileFaultAction::FailOnce, 1, FileStep::Create});
    EXPECT_EQ(noFolder.exitStatus, 0) << noFolder.output;
    EXPECT_EQ(readFile(dir / "zelda.smc"), after);

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
            EXPECT_EQ(readFile(dir / "other.smc"), after);
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
    EXPECT_EQ(afterBanner(full.output), "Expanding ROM to 2 megs...Couldn't write to the ROM: zelda.smc\n" + systemSays(EFBIG) + ""
                                        "The ROM has been restored.\nFailed!\n");
    EXPECT_EQ(readFile(dir / "other.smc"), small.bytes);
}

// Runs of the real binary on one ROM or one folder at once, and their locks:
// these need no fork, so they run on every platform.
class RunLocks : public Replacement {
protected:
    void SetUp() override {}
    void expectSequentialResults(const std::vector<std::string>& first, const std::vector<std::string>& second,
                                 bool hardLinked);
};

TEST_F(Replacement, AWritePastAFileSizeLimitFailsEveryRouteAndLeavesEveryFileAsItWas)
{
    if (!canLimitFileSize()) {
        GTEST_SKIP() << "no file size limit on this platform";
    }
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    writeFile(dir / "all.bin", combinedSampleFile(kUsLayout, 2));
    const std::string unchanged = "Couldn't write to the ROM: zelda.smc\n" + systemSays(EFBIG) + "The ROM has not been changed.\nFailed!\n";
    const std::string restored = "Couldn't write to the ROM: zelda.smc\n" + systemSays(EFBIG) + "The ROM has been restored.\nFailed!\n";
    const struct {
        std::vector<std::string> arguments;
        bool hardLinked;
        std::uint64_t limit;
        std::string expected;
    } cases[] = {
        {{"1", "87000", "zelda.smc"}, false, 0x80000, "Recompressing..." + unchanged},
        {{"1", "87000", "zelda.smc"}, true, 0x90000, "Recompressing..." + restored},
        {{"2", "zelda.smc"}, false, 0x180000, "Expanding ROM to 2 megs..." + unchanged},
        {{"2", "zelda.smc"}, true, 0x180000, "Expanding ROM to 2 megs..." + restored},
        {{"800", "zelda.smc"}, false, 0x1000, "Decompressing...Couldn't write GFXDE.bin\n" + systemSays(EFBIG) + "Failed!\n"},
        {{"800", "zelda.smc", "all.bin"}, false, 0x10000, "Decompressing...Couldn't write all.bin\n" + systemSays(EFBIG) + "Failed!\n"},
    };
    // The sheet files hold other sheets than the ROM's, so extraction (told to
    // replace them) would replace them all.
    const SyntheticRom other = sampleRom({.seed = 5});
    for (const auto& c : cases) {
        fs::remove(dir / "other.smc");
        (c.arguments[0] == "800" ? other : rom).save(dir / "zelda.smc");
        if (c.hardLinked) {
            fs::create_hard_link(dir / "zelda.smc", dir / "other.smc");
        }
        const Bytes romBefore = readFile(dir / "zelda.smc");
        const RunResult result = run(c.arguments, c.limit);
        EXPECT_EQ(afterBanner(result.output), c.expected);
        EXPECT_EQ(result.exitStatus, 1) << c.expected;
        EXPECT_EQ(readFile(dir / "zelda.smc"), romBefore) << c.expected;
        EXPECT_TRUE(toolLeftovers(dir.path()).empty()) << c.expected;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            ASSERT_EQ(sheetFile(sheet), sampleSheet(sheet, kUsLayout, 2)) << sheetName(sheet);
        }
        EXPECT_EQ(readFile(dir / "all.bin"), combinedSampleFile(kUsLayout, 2));
    }
}

TEST_F(RunLocks, LeftoversOfKilledRunsGoButNeverTheFileOfALiveRun)
{
    sampleRom({}).save(dir / "zelda.smc");
    const std::vector<std::string> dead = {".zelda.smc.sheetpak-a1B2c3", ".GFX00.bin.sheetpak-000000",
                                           ".GFXDE.png.sheetpak-ZZZZZZ", ".all.bin.sheetpak-x9y8z7"};
    const std::string live = ".GFX10.bin.sheetpak-LiVe00";
    for (const std::string& name : dead) {
        writeFile(dir / name, Bytes(10, 1));
    }
    writeFile(dir / live, Bytes(10, 2));
    writeFile(dir / ".unrelated.sheetpak-abcdef", Bytes(1, 3));
    // A live run holds its temporary file locked.
    std::FILE* held = openLockedFile((dir / live).string().c_str(), "rb", FileLock::Exclusive, nullptr);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    EXPECT_EQ(run({"0", "zelda.smc", "all.bin"}).exitStatus, 0);
    std::fclose(held);
    EXPECT_EQ(toolLeftovers(dir.path()), (std::vector<std::string>{live, ".unrelated.sheetpak-abcdef"}));
    // A check writes nothing, and removes nothing either.
    writeFile(dir / dead[0], Bytes(10, 1));
    EXPECT_EQ(run({"40", "zelda.smc"}).exitStatus, 0);
    EXPECT_TRUE(fs::exists(dir / dead[0]));

    // Two extractions of different ROMs into one folder at once: each
    // removes leftovers while the other's temporary files live.
    fs::remove(dir / dead[0]);
    fs::remove(dir / live);
    sampleRom({.seed = 5}).save(dir / "other.smc");
    for (int round = 0; round < 6; ++round) {
        const std::vector<RunResult> results =
            runSheetpakBinariesAtOnce({{"900", "zelda.smc"}, {"900", "other.smc"}}, dir.path());
        EXPECT_EQ(results[0].exitStatus, 0) << results[0].output;
        EXPECT_EQ(results[1].exitStatus, 0) << results[1].output;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            const Bytes now = sheetFile(sheet);
            ASSERT_TRUE(now == sampleSheet(sheet, kUsLayout, 1) || now == sampleSheet(sheet, kUsLayout, 5))
                << sheetName(sheet) << ", round " << round;
        }
    }
    EXPECT_EQ(toolLeftovers(dir.path()), std::vector<std::string>{".unrelated.sheetpak-abcdef"});
}

// Runs started together on one ROM end it as they would one after the other,
// in either order, never with a change lost or mixed: 20 rounds of `first`
// and `second` at once on the sample ROM, ordinary or with a second name
// other.smc (then written in place).
void RunLocks::expectSequentialResults(const std::vector<std::string>& first, const std::vector<std::string>& second,
                                       bool hardLinked)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    writeFile(dir / "a.bin", combinedSampleFile(kUsLayout, 3));
    writeFile(dir / "b.bin", combinedSampleFile(kUsLayout, 4));
    const auto restore = [&] {
        fs::remove(dir / "other.smc");
        rom.save(dir / "zelda.smc");
        std::error_code error;
        if (hardLinked) {
            fs::create_hard_link(dir / "zelda.smc", dir / "other.smc", error);
        }
        return !error && fs::hard_link_count(dir / "zelda.smc") == (hardLinked ? 2u : 1u);
    };
    const auto oneAfterTheOther = [&](const std::vector<std::string>& one, const std::vector<std::string>& two) {
        restore();
        EXPECT_EQ(run(one).exitStatus, 0);
        EXPECT_EQ(run(two).exitStatus, 0);
        return readFile(dir / "zelda.smc");
    };
    if (!restore()) {
        GTEST_SKIP() << "no hard links here";
    }
    const Bytes oneOrder = oneAfterTheOther(first, second);
    const Bytes otherOrder = oneAfterTheOther(second, first);
    for (int round = 0; round < 20; ++round) {
        restore();
        const std::vector<RunResult> results = runSheetpakBinariesAtOnce({first, second}, dir.path());
        EXPECT_EQ(results[0].exitStatus, 0) << results[0].output;
        EXPECT_EQ(results[1].exitStatus, 0) << results[1].output;
        const Bytes now = readFile(dir / "zelda.smc");
        EXPECT_TRUE(now == oneOrder || now == otherOrder) << "round " << round;
        if (hardLinked) {
            EXPECT_EQ(readFile(dir / "other.smc"), now) << "round " << round;
        }
    }
}

TEST_F(RunLocks, AnInsertionAndAnExpansionStartedTogetherGiveWhatTheyGiveOneAfterTheOther)
{
    expectSequentialResults({"101", "87000", "zelda.smc"}, {"102", "zelda.smc"}, false);
}

TEST_F(RunLocks, TwoInsertionsIntoAHardLinkedRomStartedTogetherGiveOneOfThemNeverAMix)
{
    expectSequentialResults({"101", "87000", "zelda.smc", "a.bin"}, {"101", "87000", "other.smc", "b.bin"}, true);
}

TEST_F(RunLocks, ARunWaitsForTheRunBeforeItAndTakesTheFileThatRunLeft)
{
    const SyntheticRom rom = sampleRom({});
    const Bytes after = inserted(rom, "zelda.smc");
    ASSERT_EQ(run({"2", "zelda.smc"}).exitStatus, 0);
    const Bytes insertedThenExpanded = readFile(dir / "zelda.smc");

    // This process holds the ROM as a run would, and replaces it while the
    // expansion waits: the expansion must then grow the new file.
    rom.save(dir / "zelda.smc");
    const std::string path = (dir / "zelda.smc").string();
    std::FILE* held = openLockedFile(path.c_str(), "r+b", FileLock::Exclusive, nullptr);
    ASSERT_NE(held, nullptr);
    std::thread earlierRun([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        EXPECT_EQ(replaceWholeFile(path.c_str(), after.data(), after.size()), FileReplacement::Replaced);
        std::fclose(held);
    });
    const RunResult waited = runSheetpakBinary({"2", "zelda.smc"}, dir.path(), 0, 30);
    earlierRun.join();
    EXPECT_EQ(afterBanner(waited.output),
              "Waiting for another run on zelda.smc to finish...\nExpanding ROM to 2 megs...Done!\n");
    EXPECT_EQ(readFile(dir / "zelda.smc"), insertedThenExpanded);
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

namespace {

// A small file system of its own (tmpfs, where the tests may mount one): a
// full disk, or one out of file entries, says the system's reason.
class FullDisk : public TransferTest {
protected:
    fs::path mounted;
    void TearDown() override
    {
#if !defined(_WIN32)
        if (!mounted.empty()) {
            EXPECT_EQ(std::system(("umount '" + mounted.string() + "'").c_str()), 0);
        }
#endif
    }
    bool mount(const std::string& options)
    {
#if defined(_WIN32)
        static_cast<void>(options);
        return false;
#else
        fs::create_directory(dir / "small");
        const std::string command = "mount -t tmpfs -o " + options + " tmpfs '" + (dir / "small").string() +
                                    "' >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) {
            return false;
        }
        mounted = dir / "small";
        return true;
#endif
    }
};

TEST_F(FullDisk, AFullDiskAndOneWithoutRoomForFilesSayTheSystemsReason)
{
    if (!mount("size=256k")) {
        GTEST_SKIP() << "no tmpfs can be mounted here";
    }
    sampleRom({}).save(dir / "zelda.smc");
    const RunResult full = runSheetpakBinary({"0", "../zelda.smc"}, mounted);
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_NE(afterBanner(full.output).find(".bin\n" + systemSays(ENOSPC) + "Failed!\n"), std::string::npos)
        << full.output;
    EXPECT_EQ(afterBanner(full.output).rfind("Decompressing...Couldn't write GFX", 0), 0u) << full.output;
    EXPECT_TRUE(fs::is_empty(mounted)) << "every temporary file goes";

    ASSERT_EQ(std::system(("umount '" + mounted.string() + "'").c_str()), 0);
    mounted.clear();
    ASSERT_TRUE(mount("size=8m,nr_inodes=40"));
    const RunResult entries = runSheetpakBinary({"0", "../zelda.smc"}, mounted);
    EXPECT_EQ(entries.exitStatus, 1);
    EXPECT_EQ(afterBanner(entries.output).rfind("Decompressing...Couldn't open GFX", 0), 0u) << entries.output;
    EXPECT_NE(afterBanner(entries.output).find(".bin\n" + systemSays(ENOSPC) + "Failed!\n"), std::string::npos)
        << entries.output;
}

}  // namespace
