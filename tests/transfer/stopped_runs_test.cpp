// Runs stopped in the middle, through the real binary: by a kill at any step
// of the file seam, by a signal at a random moment, on a ROM with two names
// (written in place, under a journal). Whatever stopped them, the next run
// finds every file old or new, both names alike, and no journal or temporary
// file left; stop signals wait for a commit under way, and at any other time
// the run removes its temporary files itself.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <thread>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"
#include "support/test_random.h"
#include "transfer_fixture.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

// The run after a stopped one: a check that reads the ROM and writes nothing
// (the combined file it names does not exist).
const std::vector<std::string> kNextRun = {"40", "zelda.smc", "none.bin"};

#if !defined(_WIN32)
constexpr int kStopSignals[] = {SIGKILL, SIGINT, SIGTERM, SIGHUP};
#endif

class StoppedRuns : public TransferTest {
protected:
    void SetUp() override
    {
        if (!canRunInChild()) {
            GTEST_SKIP() << "needs fork, POSIX signals and hard links";
        }
    }

    // The sample ROM as zelda.smc with a second name, other.smc.
    void saveLinked(const SyntheticRom& rom)
    {
        fs::remove(dir / "other.smc");
        rom.save(dir / "zelda.smc");
        fs::create_hard_link(dir / "zelda.smc", dir / "other.smc");
    }

    // What `arguments` make of the linked ROM `rom`, run to the end.
    Bytes completedRun(const SyntheticRom& rom, const std::vector<std::string>& arguments)
    {
        saveLinked(rom);
        const RunResult result = run(arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        return readFile(dir / "zelda.smc");
    }

    // `rounds` runs of `arguments` on the linked ROM, each sent SIGKILL,
    // SIGINT, SIGTERM or SIGHUP at a moment drawn from 0 to 1.2 times the
    // run's own duration, then the next run. After a handled signal the ROM
    // is old or new at once with nothing left beside it; after any stop, and
    // the next run, it is old or new under both names and nothing is left.
    // Prints how the rounds ended.
    void stopAtRandomMoments(const char* what, const SyntheticRom& rom, const std::vector<std::string>& arguments,
                             std::uint32_t rounds, std::uint64_t seed)
    {
#if !defined(_WIN32)
        const Bytes after = completedRun(rom, arguments);
        ASSERT_NE(after, rom.bytes);
        std::chrono::steady_clock::duration took{};
        for (int k = 0; k < 3; ++k) {
            saveLinked(rom);
            const auto start = std::chrono::steady_clock::now();
            run(arguments);
            took += std::chrono::steady_clock::now() - start;
        }
        const auto span = std::chrono::duration_cast<std::chrono::microseconds>(took).count() / 3 * 12 / 10;
        TestRandom random(seed);
        std::uint32_t stoppedOld = 0, stoppedNew = 0, tornUntilNextRun = 0, completed = 0;
        for (std::uint32_t round = 0; round < rounds; ++round) {
            saveLinked(rom);
            const int signal = kStopSignals[random.below(4)];
            const std::chrono::microseconds moment(random.below(static_cast<std::uint32_t>(span) + 1));
            const SignalledRun stopped = runSheetpakBinarySignalled(arguments, dir.path(), moment, signal);
            const std::string trace = std::string(what) + ", round " + std::to_string(round) + ", signal " +
                                      std::to_string(signal) + " after " + std::to_string(moment.count()) + " us";
            const Bytes now = readFile(dir / "zelda.smc");
            EXPECT_EQ(readFile(dir / "other.smc"), now) << trace;
            if (stopped.signal == 0) {
                EXPECT_EQ(stopped.run.exitStatus, 0) << trace << stopped.run.output;
                EXPECT_EQ(now, after) << trace;
                ++completed;
            } else {
                EXPECT_EQ(stopped.signal, signal) << trace;
            }
            if (stopped.signal != 0 && signal != SIGKILL) {
                EXPECT_TRUE(now == rom.bytes || now == after) << trace << ": mixed after a handled signal";
                EXPECT_TRUE(toolLeftovers(dir.path()).empty()) << trace;
            }
            const bool torn = now != rom.bytes && now != after;
            const bool journalLeft = !toolLeftovers(dir.path()).empty();
            EXPECT_TRUE(journalLeft || !torn) << trace << ": mixed without a journal";
            tornUntilNextRun += torn ? 1 : 0;
            const RunResult next = run(kNextRun);
            EXPECT_EQ(next.exitStatus, 0) << trace << next.output;
            // A journal the kill cut short goes without a word.
            const bool restored = next.output.find("half-written") != std::string::npos;
            EXPECT_TRUE(restored ? journalLeft : !torn) << trace << next.output;
            const Bytes settled = readFile(dir / "zelda.smc");
            EXPECT_TRUE(settled == rom.bytes || settled == after)
                << trace << ": mixed after the next run, first difference from the old ROM at "
                << firstDifference(settled, rom.bytes);
            EXPECT_EQ(readFile(dir / "other.smc"), settled) << trace;
            EXPECT_EQ(toolLeftovers(dir.path()), std::vector<std::string>{}) << trace;
            if (stopped.signal != 0) {
                (settled == after ? stoppedNew : stoppedOld) += 1;
            }
        }
        std::cout << what << ": " << rounds << " rounds within " << span << " us: " << completed
                  << " completed, " << stoppedOld << " stopped and old, " << stoppedNew << " stopped and new, "
                  << tornUntilNextRun << " mixed until the next run\n";
#else
        static_cast<void>(what);
        static_cast<void>(rom);
        static_cast<void>(arguments);
        static_cast<void>(rounds);
        static_cast<void>(seed);
#endif
    }

    // One file a run writes: its content before (nullopt: absent) and after.
    struct Target {
        fs::path path;
        std::optional<Bytes> before;
        Bytes after;
    };

    // For n = 1, 2, ... until a run completes before step n: `prepare` puts
    // the files back, the run is killed at step n of the file seam, then
    // `next` runs: each target must then hold its old content or exactly its
    // new one (never old again once new), and no journal or temporary file
    // may be left. Then the same with step n failing: old or new at once,
    // nothing left. Returns the number of steps; `journalLeft` tells whether
    // a kill ever left a journal for the next run, `tornByKill` whether one
    // ever left a target mixed.
    std::uint32_t proveEveryStepOfTheJournal(const std::vector<std::string>& arguments,
                                             const std::vector<Target>& targets,
                                             const std::function<void()>& prepare,
                                             const std::vector<std::string>& next, bool& journalLeft,
                                             bool& tornByKill, bool temporariesMayStay = false)
    {
        // A check removes no temporary file of a killed run (the next run
        // that writes does): with `temporariesMayStay` only journals count.
        const auto journals = [&] {
            std::vector<std::string> found;
            for (const std::string& name : toolLeftovers(dir.path())) {
                if (!temporariesMayStay || name.find(".sheetpak-journal") != std::string::npos) {
                    found.push_back(name);
                }
            }
            return found;
        };
        std::vector<bool> sawNew(targets.size());
        journalLeft = false;
        tornByKill = false;
        for (std::uint32_t n = 1; n < 1000; ++n) {
            prepare();
            const RunResult killed = runSheetpakInChild(arguments, dir.path(), {FileFaultAction::Exit, n});
            if (killed.exitStatus != kFileFaultExitStatus) {
                EXPECT_EQ(killed.exitStatus, 0) << killed.output;
                for (const Target& target : targets) {
                    EXPECT_EQ(contentOf(target.path), target.after) << target.path << " after a complete run";
                }
                EXPECT_TRUE(toolLeftovers(dir.path()).empty());
                return n - 1;
            }
            for (const Target& target : targets) {
                const std::optional<Bytes> now = contentOf(target.path);
                tornByKill = tornByKill || (now != target.before && now != target.after);
            }
            for (const std::string& name : toolLeftovers(dir.path())) {
                journalLeft = journalLeft || name.find(".sheetpak-journal") != std::string::npos;
            }
            run(next);
            for (std::size_t k = 0; k < targets.size(); ++k) {
                const std::optional<Bytes> now = contentOf(targets[k].path);
                const bool isOld = now == targets[k].before;
                const bool isNew = now == targets[k].after;
                EXPECT_TRUE(isOld || isNew) << "killed at step " << n << ": " << targets[k].path << " is neither";
                EXPECT_FALSE(sawNew[k] && isOld) << "killed at step " << n << ": " << targets[k].path << " old again";
                sawNew[k] = sawNew[k] || isNew;
            }
            EXPECT_EQ(journals(), std::vector<std::string>{}) << "killed at step " << n;
            for (const std::string& name : toolLeftovers(dir.path())) {
                fs::remove(dir / name);  // what the next run that writes would remove
            }

            prepare();
            const RunResult failed = runSheetpakInChild(arguments, dir.path(), {FileFaultAction::FailOnce, n});
            for (const Target& target : targets) {
                const std::optional<Bytes> now = contentOf(target.path);
                if (failed.exitStatus == 0) {
                    EXPECT_EQ(now, target.after) << "step " << n << " failed: " << target.path;
                }
                EXPECT_TRUE(now == target.before || now == target.after)
                    << "step " << n << " failed: " << target.path << ": " << failed.output;
            }
            EXPECT_EQ(toolLeftovers(dir.path()), std::vector<std::string>{}) << "step " << n << " failed";
        }
        ADD_FAILURE() << "the run never completed";
        return 0;
    }
};

TEST_F(StoppedRuns, FullInsertionsIntoALinkedRomStoppedAtRandomMomentsAreOldOrNew)
{
    writeSampleSheetFiles(kUsLayout, 2);
    stopAtRandomMoments("full insertion", sampleRom({}), {"1", "87000", "zelda.smc"}, 60, 11);
}

TEST_F(StoppedRuns, ChangedSheetInsertionsIntoALinkedRomStoppedAtRandomMomentsAreOldOrNew)
{
    // A few sheets edited after an extraction of the ROM itself.
    writeSampleSheetFiles(kUsLayout, 1);
    for (const std::uint32_t sheet : {0x05u, 0x21u, 0x90u, 0xDEu}) {
        Bytes edited = sampleSheet(sheet, kUsLayout, 1);
        for (std::size_t at = 0; at < edited.size(); at += 24) {
            edited[at] = static_cast<std::uint8_t>(edited[at] ^ 0x5A);
        }
        writeFile(dir / sheetName(sheet), edited);
    }
    stopAtRandomMoments("changed sheets only", sampleRom({}), {"401", "87000", "zelda.smc"}, 40, 12);
}

TEST_F(StoppedRuns, SmallestPackingInsertionsIntoALinkedRomStoppedAtRandomMomentsAreOldOrNew)
{
    writeSampleSheetFiles(kUsLayout, 3);
    stopAtRandomMoments("smallest packing", sampleRom({}), {"81", "87000", "zelda.smc"}, 40, 13);
}

TEST_F(StoppedRuns, ExpansionsOfALinkedRomStoppedAtRandomMomentsAreOldOrNew)
{
    stopAtRandomMoments("expansion", sampleRom({.seed = 4}), {"2", "zelda.smc"}, 60, 14);
}

TEST_F(StoppedRuns, InPlaceInsertionKilledOrFailingAtAnyStepOfItsJournalIsOldOrNewAfterTheNextRun)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    const Bytes after = completedRun(rom, {"1", "87000", "zelda.smc"});
    bool journal = false;
    bool torn = false;
    // The journal's creation, its write, flush and folder sync; the ranges
    // written in place and their flush; the journal's removal and folder sync.
    const std::uint32_t steps = proveEveryStepOfTheJournal(
        {"1", "87000", "zelda.smc"}, {{dir / "zelda.smc", rom.bytes, after}, {dir / "other.smc", rom.bytes, after}},
        [&] { saveLinked(rom); }, kNextRun, journal, torn);
    EXPECT_GE(steps, 9u);
    EXPECT_TRUE(journal && torn) << "some kill must have left the ROM mixed for the journal to undo";
}

TEST_F(StoppedRuns, InPlaceExpansionKilledOrFailingAtAnyStepIsCutBackOrGrownAfterTheNextRun)
{
    const SyntheticRom rom = sampleRom({});
    const Bytes grown = completedRun(rom, {"2", "zelda.smc"});
    ASSERT_EQ(grown.size(), 0x200000u);
    bool journal = false;
    bool torn = false;
    // Four pieces of the new tail: a kill between them leaves a longer file.
    const std::uint32_t steps = proveEveryStepOfTheJournal(
        {"2", "zelda.smc"}, {{dir / "zelda.smc", rom.bytes, grown}, {dir / "other.smc", rom.bytes, grown}},
        [&] { saveLinked(rom); }, kNextRun, journal, torn);
    EXPECT_GE(steps, 12u);
    EXPECT_TRUE(journal && torn);
}

TEST_F(StoppedRuns, LinkedSheetFilesOfAnExtractionKilledAtAnyStepAreOldOrNewAfterTheNextRun)
{
    sampleRom({.seed = 4}).save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 4);
    fs::create_directory(dir / "names");
    // Two files with a second name elsewhere (written in place, each in one
    // piece), one replaced whole; the other 220 already hold what the run
    // writes.
    std::vector<Target> targets;
    for (const std::uint32_t sheet : {0x40u, 0xDEu, 0x03u}) {
        targets.push_back({dir / sheetName(sheet), sampleSheet(sheet, kUsLayout, 9), sheetFile(sheet)});
    }
    const auto prepare = [&] {
        for (std::size_t k = 0; k < targets.size(); ++k) {
            writeFile(targets[k].path, *targets[k].before);
            const fs::path second = dir / "names" / targets[k].path.filename();
            if (k < 2 && !fs::exists(second)) {
                fs::create_hard_link(targets[k].path, second);
            }
        }
    };
    bool journal = false;
    bool torn = false;
    // The check of an extraction restores what it finds half-written before
    // it studies the files (and refuses them: they hold other sheets); the
    // temporary file of GFX03.bin a kill leaves waits for a run that writes.
    const std::uint32_t steps =
        proveEveryStepOfTheJournal({"800", "zelda.smc"}, targets, prepare, {"40", "zelda.smc"}, journal, torn, true);
    EXPECT_GE(steps, 16u);
    EXPECT_TRUE(journal);
    for (std::size_t k = 0; k < 2; ++k) {
        EXPECT_EQ(readFile(dir / "names" / targets[k].path.filename()), targets[k].after);
    }
}

TEST_F(StoppedRuns, ALinkedRomWhoseJournalCannotBeMadeIsNotWrittenAtAll)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    saveLinked(rom);
    // A folder that takes no new file: no journal, so no write in place.
    const RunResult result = runSheetpakInChild({"1", "87000", "zelda.smc"}, dir.path(),
                                                {FileFaultAction::FailFromThen, 1, FileStep::Create});
    EXPECT_EQ(afterBanner(result.output),
              "Recompressing...Couldn't write to the ROM: zelda.smc\nThe ROM has not been changed.\nFailed!\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(readFile(dir / "other.smc"), rom.bytes);
    EXPECT_TRUE(toolLeftovers(dir.path()).empty());
}

TEST_F(StoppedRuns, AJournalWhoseChecksumFailsIsRemovedAndTheRomLeftAsItIs)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    const Bytes after = completedRun(rom, {"1", "87000", "zelda.smc"});
    saveLinked(rom);
    // Killed after the first range written in place.
    runSheetpakInChild({"1", "87000", "zelda.smc"}, dir.path(), {FileFaultAction::Exit, 2, FileStep::Write});
    const Bytes torn = readFile(dir / "zelda.smc");
    ASSERT_TRUE(torn != rom.bytes && torn != after);
    const fs::path journal = dir / ".zelda.smc.sheetpak-journal";
    ASSERT_TRUE(fs::exists(journal));
    Bytes damaged = readFile(journal);
    damaged[damaged.size() / 2] ^= 0x01;
    writeFile(journal, damaged);
    const RunResult next = run(kNextRun);
    EXPECT_EQ(next.exitStatus, 0) << next.output;
    EXPECT_EQ(next.output.find("half-written"), std::string::npos) << next.output;
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_EQ(readFile(dir / "zelda.smc"), torn);
}

TEST_F(StoppedRuns, AHalfWrittenRomThatCannotBeOpenedForWritingIsRefusedAndLeftAsItIs)
{
#if !defined(_WIN32)
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    const Bytes after = completedRun(rom, {"1", "87000", "zelda.smc"});
    saveLinked(rom);
    runSheetpakInChild({"1", "87000", "zelda.smc"}, dir.path(), {FileFaultAction::Exit, 3, FileStep::Write});
    const Bytes torn = readFile(dir / "zelda.smc");
    ASSERT_TRUE(torn != rom.bytes && torn != after);
    const fs::perms readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(dir / "zelda.smc", readable);
    fs::permissions(dir.path(), fs::perms::all);
    const std::string refusal =
        "zelda.smc was left half-written by a run that was stopped, and this run cannot open it for writing to "
        "restore it.\n";
    for (const std::vector<std::string>& check :
         {kNextRun, std::vector<std::string>{"41", "87000", "zelda.smc"}, std::vector<std::string>{"0", "zelda.smc"}}) {
        const RunResult refused = runSheetpakBinaryAsUser(check, dir.path());
        EXPECT_EQ(afterBanner(refused.output), refusal) << check[0];
        EXPECT_EQ(refused.exitStatus, 1);
        EXPECT_EQ(readFile(dir / "zelda.smc"), torn) << check[0];
        EXPECT_TRUE(fs::exists(dir / ".zelda.smc.sheetpak-journal")) << check[0];
    }
    // A run that may write it puts the old bytes back, whatever it was asked.
    fs::permissions(dir / "zelda.smc", readable | fs::perms::owner_write);
    const RunResult restored = run(kNextRun);
    EXPECT_EQ(afterBanner(restored.output).rfind("zelda.smc was left half-written by a run that was stopped; its "
                                                 "earlier content has been restored.\nChecking...",
                                                 0),
              0u)
        << restored.output;
    EXPECT_EQ(readFile(dir / "other.smc"), rom.bytes);
    EXPECT_TRUE(toolLeftovers(dir.path()).empty());
#endif
}

TEST_F(StoppedRuns, AStopSignalDuringACommitWaitsForItAndOneAtAnyOtherTimeRemovesTheTemporaryFiles)
{
#if !defined(_WIN32)
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    const Bytes after = completedRun(rom, {"1", "87000", "zelda.smc"});
    const std::vector<std::string> insert = {"1", "87000", "zelda.smc"};
    const struct {
        bool linked;
        FileStep step;
        std::uint32_t at;
        int signal;
        bool completes;  // the signal came within the commit
    } cases[] = {
        {true, FileStep::Create, 1, SIGINT, true},      // the journal's creation: the in-place write goes on
        {true, FileStep::Write, 2, SIGTERM, true},      // between two ranges written in place
        {true, FileStep::Remove, 1, SIGHUP, true},      // the journal's removal
        {false, FileStep::Rename, 1, SIGINT, true},     // the rename over the ROM
        {false, FileStep::SyncFolder, 1, SIGQUIT, true},
        {false, FileStep::Write, 2, SIGINT, false},     // the temporary file half written
        {false, FileStep::Flush, 1, SIGTERM, false},    // the temporary file written, not renamed
    };
    for (const auto& c : cases) {
        const std::string trace = "step " + std::to_string(static_cast<int>(c.step)) + " #" + std::to_string(c.at);
        if (c.linked) {
            saveLinked(rom);
        } else {
            fs::remove(dir / "other.smc");
            rom.save(dir / "zelda.smc");
        }
        const SignalledRun stopped =
            runSheetpakInChildSignalled(insert, dir.path(), {FileFaultAction::Raise, c.at, c.step, c.signal});
        EXPECT_EQ(stopped.signal, c.signal) << trace << stopped.run.output;
        EXPECT_EQ(readFile(dir / "zelda.smc"), c.completes ? after : rom.bytes) << trace;
        EXPECT_EQ(toolLeftovers(dir.path()), std::vector<std::string>{}) << trace;
    }

    // A batch of sheet files: the renames complete; before them, the
    // temporary files made so far go.
    sampleRom({.seed = 4}).save(dir / "zelda.smc");
    for (const auto& [step, completes] : {std::pair{FileStep::Rename, true}, std::pair{FileStep::Create, false}}) {
        writeSampleSheetFiles(kUsLayout, 2);
        const SignalledRun stopped =
            runSheetpakInChildSignalled({"800", "zelda.smc"}, dir.path(), {FileFaultAction::Raise, 3, step, SIGINT});
        EXPECT_EQ(stopped.signal, SIGINT) << stopped.run.output;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            ASSERT_EQ(sheetFile(sheet), sampleSheet(sheet, kUsLayout, completes ? 4 : 2)) << sheetName(sheet);
        }
        EXPECT_EQ(toolLeftovers(dir.path()), std::vector<std::string>{});
    }
#endif
}

TEST_F(StoppedRuns, AStopSignalEndsARunThatWaitsForALockAtOnce)
{
#if !defined(_WIN32)
    sampleRom({}).save(dir / "zelda.smc");
    std::FILE* held = openLockedFile((dir / "zelda.smc").string().c_str(), "rb", FileLock::Shared, nullptr);
    ASSERT_NE(held, nullptr);
    const auto start = std::chrono::steady_clock::now();
    const SignalledRun stopped =
        runSheetpakBinarySignalled({"2", "zelda.smc"}, dir.path(), std::chrono::milliseconds(400), SIGINT);
    const auto took = std::chrono::steady_clock::now() - start;
    std::fclose(held);
    EXPECT_EQ(stopped.signal, SIGINT);
    EXPECT_EQ(afterBanner(stopped.run.output), "Waiting for another run on zelda.smc to finish...\n");
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_EQ(fs::file_size(dir / "zelda.smc"), 0x100000u);
#endif
}

// Runs on every platform: this process holds the ROM as a stopped run would.
class LockWaits : public TransferTest {};

TEST_F(LockWaits, ARunWaitingForAHolderThatDoesNotLetGoSaysSoEveryThirtySeconds)
{
    sampleRom({}).save(dir / "zelda.smc");
    std::FILE* held = openLockedFile((dir / "zelda.smc").string().c_str(), "r+b", FileLock::Exclusive, nullptr);
    ASSERT_NE(held, nullptr);
    std::thread holder([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(31500));
        std::fclose(held);
    });
    const RunResult waited = runSheetpakBinary({"140", "zelda.smc", "none.bin"}, dir.path(), 0, 44);
    holder.join();
    EXPECT_EQ(afterBanner(waited.output).rfind("Waiting for another run on zelda.smc to finish...\n"
                                               "Still waiting after 30 seconds: another program holds zelda.smc. "
                                               "Ctrl-C stops this run; nothing has been changed.\n"
                                               "Checking...",
                                               0),
              0u)
        << waited.output;
    EXPECT_EQ(waited.exitStatus, 0);
}

}  // namespace
