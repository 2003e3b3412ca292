// The file seam on its own: whole-file writes over hard links with the
// in-place route and its write-back, the journal that route leaves when it is
// stopped and the restoration from it, folders held against other runs, and
// folders it refuses (named pipes: replacement_test.cpp, through the binary).

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr bool kOnWindows = true;
#else
constexpr bool kOnWindows = false;
#endif

// Sets the fault hook for one scope and clears it after.
struct FaultScope {
    explicit FaultScope(const FileFaultForTests& fault) { setFileFaultForTests(fault); }
    ~FaultScope() { setFileFaultForTests({}); }
};

// The journal rewriteInPlace keeps beside `path`.
fs::path journalOf(const fs::path& path)
{
    // Appended piece by piece: GCC 12 misreads "." + string at -O3 (-Wrestrict).
    std::string name(1, '.');
    name += path.filename().string();
    name += ".sheetpak-journal";
    return path.parent_path() / name;
}

// Writes `newBytes` over the file in place and leaves its journal there, as
// a run stopped before the journal's removal would: the removal fails, so
// the file is rolled back to its old bytes and the journal stays.
void leaveJournal(const fs::path& path, const Bytes& newBytes)
{
    std::FILE* file = openExistingFile(path.string().c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    {
        const FaultScope fault({FileFaultAction::FailFromThen, 1, FileStep::Remove});
        EXPECT_EQ(rewriteInPlace(file, path.string().c_str(), newBytes.data(), newBytes.size()),
                  InPlaceRewrite::Restored);
    }
    std::fclose(file);
    ASSERT_TRUE(fs::exists(journalOf(path)));
}

HalfWritten restore(const fs::path& path)
{
    const std::string name = path.string();
    const char* paths[] = {name.c_str()};
    HalfWritten result = HalfWritten::No;
    restoreHalfWrittenFiles(paths, 1, true, &result);
    return result;
}

TEST(FileSeam, HardLinkedFilesAreRewrittenInPlaceAndWrittenBackOnFailure)
{
#if defined(_WIN32)
    GTEST_SKIP() << "needs hard links of the POSIX kind";
#else
    TempDir dir;
    const std::string path = (dir / "sheet.bin").string();
    const Bytes longOld(5000, 0x11);
    Bytes shortNew(3000, 0x11);
    shortNew[10] = 0x22;
    shortNew[2999] = 0x33;

    // Shorter content over a longer file: cut to length, seen by both names.
    writeFile(dir / "sheet.bin", longOld);
    fs::create_hard_link(dir / "sheet.bin", dir / "other.bin");
    EXPECT_EQ(writeWholeFile(path.c_str(), shortNew.data(), shortNew.size()), WholeFileWrite::Written);
    EXPECT_EQ(readFile(dir / "other.bin"), shortNew);

    // Longer content whose tail cannot be written: the old bytes and length return.
    {
        const FaultScope fault({FileFaultAction::FailOnce, 2, FileStep::Write});
        EXPECT_EQ(writeWholeFile(path.c_str(), longOld.data(), longOld.size()), WholeFileWrite::Restored);
    }
    EXPECT_EQ(readFile(dir / "other.bin"), shortNew);
    // The file itself tells whether the old bytes are back: a resize that
    // failed left the length as it was, and the changed byte is written back.
    {
        const FaultScope fault({FileFaultAction::FailFromThen, 1, FileStep::Resize});
        EXPECT_EQ(writeWholeFile(path.c_str(), longOld.data(), 1000), WholeFileWrite::Restored);
    }
    EXPECT_EQ(readFile(dir / "other.bin"), shortNew);
    // The first range written, every later write failing: it stays changed.
    {
        const FaultScope fault({FileFaultAction::FailFromThen, 2, FileStep::Write});
        EXPECT_EQ(writeWholeFile(path.c_str(), longOld.data(), longOld.size()), WholeFileWrite::NotRestored);
    }
    EXPECT_NE(readFile(dir / "other.bin"), shortNew);
#endif
}

TEST(FileSeam, AJournalBringsBackTheOldBytesOfAFileLeftHalfWrittenInPlace)
{
    TempDir dir;
    const fs::path path = dir / "sheet.bin";
    TestRandom random(3);
    const Bytes old = random.bytes(5000);
    Bytes sameLength = old;
    sameLength[10] ^= 1;
    sameLength[4000] ^= 1;
    const Bytes longer = random.bytes(0x50000);
    const Bytes shorter(old.begin(), old.begin() + 1234);
    for (const Bytes* written : {static_cast<const Bytes*>(&sameLength), &longer, &shorter}) {
        writeFile(path, old);
        leaveJournal(path, *written);
        EXPECT_EQ(readFile(path), old);
        // What a stopped run leaves, at worst every new byte (the same file:
        // writeFile keeps it): the ranges, the new tail, or the cut.
        writeFile(path, *written);
        EXPECT_EQ(restore(path), HalfWritten::Restored) << written->size();
        EXPECT_EQ(readFile(path), old) << written->size();
        EXPECT_FALSE(fs::exists(journalOf(path)));
        EXPECT_EQ(restore(path), HalfWritten::No);
    }
#if !defined(_WIN32)
    // Under another name of the same file: it records the file, not the name.
    writeFile(path, old);
    fs::create_hard_link(path, dir / "other.bin");
    leaveJournal(path, longer);
    writeFile(path, longer);
    EXPECT_EQ(restore(dir / "other.bin"), HalfWritten::Restored);
    EXPECT_EQ(readFile(path), old);
    EXPECT_FALSE(fs::exists(journalOf(path)));
#endif
}

TEST(FileSeam, JournalsCutShortOrOfAnotherFileAreRemovedOrLeftAsTheyTell)
{
    TempDir dir;
    const Bytes old(3000, 0x11);
    const Bytes written(3000, 0x22);
    // A checksum that fails: its run was stopped before it wrote the file.
    writeFile(dir / "a.bin", old);
    leaveJournal(dir / "a.bin", written);
    Bytes journal = readFile(journalOf(dir / "a.bin"));
    journal[40] ^= 0x80;
    writeFile(journalOf(dir / "a.bin"), journal);
    writeFile(dir / "a.bin", written);
    EXPECT_EQ(restore(dir / "a.bin"), HalfWritten::No);
    EXPECT_FALSE(fs::exists(journalOf(dir / "a.bin")));
    EXPECT_EQ(readFile(dir / "a.bin"), written);

    // Another file's journal is that file's business.
    writeFile(dir / "a.bin", old);
    leaveJournal(dir / "a.bin", written);
    writeFile(dir / "b.bin", written);
    EXPECT_EQ(restore(dir / "b.bin"), HalfWritten::No);
    EXPECT_TRUE(fs::exists(journalOf(dir / "a.bin")));
    EXPECT_EQ(readFile(dir / "b.bin"), written);

    // The name now another file, and the file it recorded gone: removed.
    fs::rename(dir / "b.bin", dir / "a.bin");
    EXPECT_EQ(restore(dir / "a.bin"), HalfWritten::No);
    EXPECT_FALSE(fs::exists(journalOf(dir / "a.bin")));
    EXPECT_EQ(readFile(dir / "a.bin"), written);
}

TEST(FileSeam, AFileWhoseJournalCannotBeMadeIsNotWrittenInPlace)
{
    TempDir dir;
    const std::string path = (dir / "sheet.bin").string();
    const Bytes old(3000, 0x11);
    const Bytes written(4000, 0x22);
    writeFile(dir / "sheet.bin", old);
    // Neither a temporary file nor a journal: a folder that takes no new file.
    {
        const FaultScope fault({FileFaultAction::FailFromThen, 1, FileStep::Create});
        EXPECT_EQ(writeWholeFile(path.c_str(), written.data(), written.size()), WholeFileWrite::NotWritten);
    }
    EXPECT_EQ(readFile(dir / "sheet.bin"), old);
    // A journal whose write fails is removed, and nothing is written either.
    std::FILE* file = openExistingFile(path.c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    {
        const FaultScope fault({FileFaultAction::FailOnce, 1, FileStep::JournalWrite});
        EXPECT_EQ(rewriteInPlace(file, path.c_str(), written.data(), written.size()), InPlaceRewrite::NotWritten);
    }
    std::fclose(file);
    EXPECT_EQ(readFile(dir / "sheet.bin"), old);
    EXPECT_FALSE(fs::exists(journalOf(dir / "sheet.bin")));
}

TEST(FileSeam, AFolderThisRunHoldsTakesItsFilesAndLosesLeftoversOnlyWhenHeldAlone)
{
    TempDir dir;
    const std::string folder = dir.path().string();
    const std::string path = (dir / "a.bin").string();
    const char* paths[] = {path.c_str()};
    const fs::path dead = dir / ".a.bin.sheetpak-AAAAAA";
    const Bytes bytes(100, 0x33);
    {
        // Its own lock must not keep this run from making its temporary file.
        const HeldRunLock held = lockFolder(folder.c_str(), FileLock::Exclusive);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(fs::exists(dir / ".sheetpak-lock"), kOnWindows);
        writeFile(dead, Bytes(1, 0));
        EXPECT_EQ(writeWholeFile(path.c_str(), bytes.data(), bytes.size()), WholeFileWrite::Written);
        removeLeftoverTemporaries(paths, 1, false);
        EXPECT_FALSE(fs::exists(dead));
    }
    EXPECT_FALSE(fs::exists(dir / ".sheetpak-lock"));
    writeFile(dead, Bytes(1, 0));
    {
        const HeldRunLock held = lockFolder(folder.c_str(), FileLock::Shared);
        ASSERT_NE(held, nullptr);
        EXPECT_EQ(writeWholeFile(path.c_str(), bytes.data(), bytes.size()), WholeFileWrite::Written);
        removeLeftoverTemporaries(paths, 1, false);
        // Held shared, others may be making temporary files there (POSIX
        // asks the folder; Windows each file).
        EXPECT_EQ(fs::exists(dead), !kOnWindows);
    }
    removeLeftoverTemporaries(paths, 1, false);
    EXPECT_FALSE(fs::exists(dead));
    EXPECT_EQ(readFile(dir / "a.bin"), bytes);
}

TEST(FileSeam, FoldersAreNeitherOpenedNorReplaced)
{
    TempDir dir;
    fs::create_directory(dir / "folder");
    const std::string folder = (dir / "folder").string();
    const std::uint8_t byte = 0;
    EXPECT_EQ(openExistingFile(folder.c_str(), "rb"), nullptr);
    EXPECT_EQ(writeWholeFile(folder.c_str(), &byte, 1), WholeFileWrite::CannotOpen);
    EXPECT_FALSE(mayCreateOrReplace(folder.c_str()));
    EXPECT_FALSE(mayCreateOrReplace((dir / "missing" / "file.bin").string().c_str()));
    EXPECT_TRUE(mayCreateOrReplace((dir / "new.bin").string().c_str()));
}

}  // namespace
