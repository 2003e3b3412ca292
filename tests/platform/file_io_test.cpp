// The file seam on its own: whole-file writes over hard links with the
// in-place route and its write-back, and folders it refuses (named pipes:
// replacement_test.cpp, through the binary).

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Sets the fault hook for one scope and clears it after.
struct FaultScope {
    explicit FaultScope(const FileFaultForTests& fault) { setFileFaultForTests(fault); }
    ~FaultScope() { setFileFaultForTests({}); }
};

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
