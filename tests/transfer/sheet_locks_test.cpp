// The per-sheet files' folder and the combined file, held against other runs
// through the real binary: a run waits for the holder and says so, two
// extractions into one folder run one after the other, and an insertion
// reads the whole set before or after an extraction rewrites it.

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"
#include "support/test_random.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

class SheetFileLocks : public TransferTest {
protected:
    // Runs `arguments` while this process holds `lock`, which a thread lets
    // go of after 1.5 seconds.
    RunResult runWhileHeld(HeldRunLock& lock, const std::vector<std::string>& arguments)
    {
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            lock.reset();
        });
        const RunResult result = runSheetpakBinary(arguments, dir.path(), 0, 30);
        releaser.join();
        return result;
    }

    // Whether the folder holds a lock file (Windows) or nothing but the ROM (POSIX).
    bool folderShowsItsLock() const { return fs::exists(dir / ".sheetpak-lock"); }

    void removeSheetFiles()
    {
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            fs::remove(dir / sheetName(sheet));
        }
    }
};

TEST_F(SheetFileLocks, AnExtractionWaitsForTheRunHoldingItsSheetFilesAndSaysForWhat)
{
    sampleRom({}).save(dir / "zelda.smc");
    const std::string folder = dir.path().string();
    HeldRunLock held = lockFolder(folder.c_str(), FileLock::Exclusive);
    ASSERT_NE(held, nullptr);
#if defined(_WIN32)
    EXPECT_TRUE(folderShowsItsLock());
#else
    EXPECT_FALSE(folderShowsItsLock()) << "a flock on the folder leaves no file in it";
#endif
    RunResult result = runWhileHeld(held, {"100", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output),
              "Decompressing...Waiting for another run on the current folder to finish...\nDone!\n");
    EXPECT_FALSE(folderShowsItsLock());
    EXPECT_EQ(sheetFile(0x21), sampleSheet(0x21, kUsLayout, 1));

    // A check reads the files shared with other readers, not with a writer.
    held = lockFolder(folder.c_str(), FileLock::Shared);
    EXPECT_EQ(afterBanner(run({"141", "87000", "zelda.smc"}).output).rfind("Checking...", 0), 0u);
    result = runWhileHeld(held, {"100", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output),
              "Decompressing...Waiting for another run on the current folder to finish...\nDone!\n");

    // A combined file not there yet: its folder, named as the file.
    const std::string combined = (dir / "all.bin").string();
    held = lockFileOrFolder(combined.c_str(), FileLock::Exclusive);
    ASSERT_NE(held, nullptr);
    result = runWhileHeld(held, {"100", "zelda.smc", "all.bin"});
    EXPECT_EQ(afterBanner(result.output), "Decompressing...Waiting for another run on all.bin to finish...\nDone!\n");
    EXPECT_EQ(readFile(dir / "all.bin"), combinedSampleFile(kUsLayout, 1));
    // One that is there, read by another run: the extraction over it waits.
    held = lockFileOrFolder(combined.c_str(), FileLock::Shared);
    ASSERT_NE(held, nullptr);
    result = runWhileHeld(held, {"900", "zelda.smc", "all.bin"});
    EXPECT_EQ(afterBanner(result.output), "Decompressing...Waiting for another run on all.bin to finish...\nDone!\n");
    EXPECT_FALSE(folderShowsItsLock());
}

TEST_F(SheetFileLocks, TwoExtractionsOfDifferentRomsIntoOneFolderRunOneAfterTheOther)
{
    sampleRom({}).save(dir / "a.smc");
    sampleRom({.seed = 5}).save(dir / "b.smc");
    TestRandom random(21);
    for (int round = 0; round < 20; ++round) {
        removeSheetFiles();
        // The second started up to 20 ms after the first.
        const std::chrono::milliseconds stagger(random.below(21));
        RunResult first;
        std::thread other([&] { first = runSheetpakBinary({"100", "a.smc"}, dir.path()); });
        std::this_thread::sleep_for(stagger);
        const RunResult second = runSheetpakBinary({"100", "b.smc"}, dir.path());
        other.join();
        // One writes its sheets; the other finds them and refuses to replace them.
        ASSERT_NE(first.exitStatus == 0, second.exitStatus == 0)
            << "round " << round << ":\n" << first.output << second.output;
        const RunResult& refused = first.exitStatus == 0 ? second : first;
        EXPECT_NE(refused.output.find("Extraction would replace changes in "), std::string::npos) << refused.output;
        const std::uint32_t seed = first.exitStatus == 0 ? 1 : 5;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            ASSERT_EQ(sheetFile(sheet), sampleSheet(sheet, kUsLayout, seed)) << sheetName(sheet) << ", round " << round;
        }
    }
}

TEST_F(SheetFileLocks, AnInsertionReadsTheSheetFilesWhollyBeforeOrAfterAnExtractionRewritesThem)
{
    const SyntheticRom rom = sampleRom({});
    sampleRom({.seed = 5}).save(dir / "source.smc");
    const std::vector<std::string> insert = {"101", "87000", "zelda.smc"};
    const std::vector<std::string> extract = {"900", "source.smc"};
    // What inserting either whole set gives.
    writeSampleSheetFiles(kUsLayout, 2);
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run(insert).exitStatus, 0);
    const Bytes fromOldSet = readFile(dir / "zelda.smc");
    ASSERT_EQ(run(extract).exitStatus, 0);
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run(insert).exitStatus, 0);
    const Bytes fromNewSet = readFile(dir / "zelda.smc");
    ASSERT_NE(fromOldSet, fromNewSet);
    // The extraction decodes every sheet before it touches the folder: the
    // insertion starts somewhere within that.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run(extract).exitStatus, 0);
    const auto extraction = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    TestRandom random(22);
    int oldSets = 0;
    int newSets = 0;
    // Under wine a run costs the better part of a second: fewer rounds there.
#if defined(_WIN32)
    constexpr int kRounds = 10;
#else
    constexpr int kRounds = 20;
#endif
    for (int round = 0; round < kRounds; ++round) {
        writeSampleSheetFiles(kUsLayout, 2);
        rom.save(dir / "zelda.smc");
        const std::chrono::microseconds stagger(random.below(static_cast<std::uint32_t>(extraction.count()) + 1));
        RunResult extracted;
        std::thread other([&] { extracted = runSheetpakBinary(extract, dir.path()); });
        std::this_thread::sleep_for(stagger);
        const RunResult inserted = runSheetpakBinary(insert, dir.path());
        other.join();
        EXPECT_EQ(extracted.exitStatus, 0) << extracted.output;
        EXPECT_EQ(inserted.exitStatus, 0) << inserted.output;
        const Bytes now = readFile(dir / "zelda.smc");
        EXPECT_TRUE(now == fromOldSet || now == fromNewSet)
            << "round " << round << ": the insertion read a mix of both sets";
        oldSets += now == fromOldSet ? 1 : 0;
        newSets += now == fromNewSet ? 1 : 0;
    }
    std::printf("insertion during an extraction: %d rounds read the old set, %d the new one\n", oldSets, newSets);
}

}  // namespace
