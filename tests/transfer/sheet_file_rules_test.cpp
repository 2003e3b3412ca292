// Sheet files are never read or written through links, over a ROM, or
// against their read-only bit; a refusal writes nothing anywhere, and a check
// refuses as the real run would. Sizes past 4 GiB are reported whole.

#include <filesystem>
#include <map>
#include <system_error>

#include "rom/sheet_catalogue.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

// Every entry of a folder (and of its subfolders) with its content; a link
// as where it points.
std::map<std::string, Bytes> snapshot(const fs::path& folder)
{
    std::map<std::string, Bytes> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const fs::path relative = fs::relative(entry.path(), folder);
        if (entry.is_symlink()) {
            const std::string target = "-> " + fs::read_symlink(entry.path()).string();
            entries[relative.string()] = Bytes(target.begin(), target.end());
        } else if (entry.is_regular_file()) {
            entries[relative.string()] = readFile(entry.path());
        } else {
            entries[relative.string()] = Bytes{};
        }
    }
    return entries;
}

class SheetFileRules : public TransferTest {
protected:
    // Runs `arguments` and expects the refusal `expected` (after the start
    // message) with not one byte of the folder changed.
    void expectRefusal(const std::vector<std::string>& arguments, const std::string& expected)
    {
        const std::map<std::string, Bytes> before = snapshot(dir.path());
        const RunResult result = run(arguments);
        EXPECT_EQ(afterBanner(result.output), expected) << arguments[0];
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_TRUE(snapshot(dir.path()) == before) << arguments[0] << ": something was written";
    }

    // A symbolic link, where the platform lets the test make one.
    bool link(const fs::path& target, const std::string& name)
    {
        std::error_code error;
        fs::create_symlink(target, dir / name, error);
        return !error;
    }
};

TEST_F(SheetFileRules, PerSheetFilesAreNeverReadOrWrittenThroughLinks)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 9);  // other sheets than the ROM's
    fs::create_directory(dir / "elsewhere");
    writeFile(dir / "elsewhere" / "kept.bin", Bytes(2048, 0x5A));
    fs::remove(dir / "GFX10.bin");
    if (!link(fs::path("elsewhere") / "kept.bin", "GFX10.bin")) {
        GTEST_SKIP() << "no symbolic links here";
    }
    const std::string linkRefused = "GFX10.bin is a symbolic link: sheet files are never read or written through links.\n";
    // The link comes first, before a file that is a ROM and one that cannot be had.
    rom.save(dir / "GFX30.bin");
    fs::remove(dir / "GFX50.bin");
    fs::create_directory(dir / "GFX50.bin");
    expectRefusal({"0", "zelda.smc"}, "Decompressing..." + linkRefused + "Failed!\n");
    expectRefusal({"140", "zelda.smc"}, "Checking..." + linkRefused + "Failed!\n");
    expectRefusal({"1", "87000", "zelda.smc"}, "Recompressing..." + linkRefused + "Failed!\n");
    fs::remove(dir / "GFX10.bin");
    expectRefusal({"0", "zelda.smc"}, "Decompressing...The sheet file GFX30.bin is a ROM of the game; sheets are "
                                      "never written over a ROM.\nFailed!\n");
    fs::remove(dir / "GFX30.bin");
    expectRefusal({"0", "zelda.smc"}, "Decompressing...Couldn't open GFX50.bin\nFailed!\n");
    fs::remove(dir / "GFX50.bin");

    // A link to nothing would create a file outside the folder; pictures
    // alike (alone: raw files of other sheets beside them are refused first).
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        fs::remove(dir / sheetName(sheet));
    }
    ASSERT_EQ(run({"20", "zelda.smc"}).exitStatus, 0);
    fs::remove(dir / "GFX44.png");
    ASSERT_TRUE(link(fs::path("elsewhere") / "new.png", "GFX44.png"));
    const std::string pictureRefused =
        "GFX44.png is a symbolic link: sheet files are never read or written through links.\n";
    expectRefusal({"20", "zelda.smc"}, "Decompressing..." + pictureRefused + "Failed!\n");
    expectRefusal({"21", "87000", "zelda.smc"}, "Recompressing..." + pictureRefused + "Failed!\n");

    // The combined file keeps following links: the file it points to is replaced.
    ASSERT_TRUE(link(fs::path("elsewhere") / "all.bin", "all.bin"));
    EXPECT_EQ(run({"0", "zelda.smc", "all.bin"}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(dir / "all.bin"));
    EXPECT_EQ(readFile(dir / "elsewhere" / "all.bin"), combinedSampleFile(kUsLayout, 1));
}

TEST_F(SheetFileRules, ReadOnlySheetFilesWithOtherBytesAreLeftAsTheyAreWhateverTheFlags)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 9);
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(dir / "GFX12.bin", readOnly);
    const std::string refused = "GFX12.bin is read-only: it is left as it is.\n";
    // Not even 0x800, which replaces files that hold changes, replaces it.
    expectRefusal({"800", "zelda.smc"}, "Decompressing..." + refused + "Failed!\n");
    expectRefusal({"910", "zelda.smc"}, "Decompressing..." + refused + "Failed!\n");
    expectRefusal({"840", "zelda.smc"}, "Checking..." + refused + "Failed!\n");

    // Holding what extraction would write, it is no obstacle and stays as it is.
    fs::permissions(dir / "GFX12.bin", fs::perms::owner_write, fs::perm_options::add);
    writeFile(dir / "GFX12.bin", sampleSheet(0x12, kUsLayout, 1));
    fs::permissions(dir / "GFX12.bin", readOnly);
    const RunResult same = run({"800", "zelda.smc"});
    EXPECT_EQ(afterBanner(same.output), "Decompressing...Done!\n");
    EXPECT_EQ(fs::status(dir / "GFX12.bin").permissions(), readOnly);
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        ASSERT_EQ(sheetFile(sheet), sampleSheet(sheet, kUsLayout, 1)) << sheetName(sheet);
    }

    // The combined file, raw or a picture.
    for (const char* name : {"all.bin", "all.png"}) {
        writeFile(dir / name, Bytes(100, 7));
        fs::permissions(dir / name, readOnly);
        const std::string mode = name[5] == 'p' ? "820" : "800";
        expectRefusal({mode, "zelda.smc", name},
                      "Decompressing..." + std::string(name) + " is read-only: it is left as it is.\nFailed!\n");
    }
}

TEST_F(SheetFileRules, SheetFilesPast4GiBAreReportedWithTheirWholeSize)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 1);
    std::error_code error;
    fs::resize_file(dir / "GFX00.bin", 0x100000800u, error);
    if (error) {
        GTEST_SKIP() << "no 4 GiB file here";
    }
    const RunResult perSheet = run({"141", "87000", "zelda.smc"});
    EXPECT_EQ(afterBanner(perSheet.output).rfind("Checking...Warning, GFX 0x00 was too large!\n"
                                                 "Warning, GFX 0x00 holds 0x100000800 bytes; the game keeps 0x800.\n",
                                                 0),
              0u)
        << perSheet.output;
    fs::remove(dir / "GFX00.bin");

    writeFile(dir / "all.bin", combinedSampleFile(kUsLayout, 1));
    fs::resize_file(dir / "all.bin", 0x100076800u, error);
    ASSERT_FALSE(error);
    const RunResult combined = run({"141", "87000", "zelda.smc", "all.bin"});
    EXPECT_EQ(afterBanner(combined.output), "Checking...The sheet file all.bin holds 0x100076800 bytes; for this "
                                            "ROM it must hold exactly 0x76800.\nFailed!\n");
    fs::remove(dir / "all.bin");
}

}  // namespace

namespace {

// A sheet's file of the other kind beside the one an insertion reads, that
// would store another sheet, is most likely the one the user edited: the
// insertion (and its check) is refused with nothing written, naming the
// first three pairs; equal pairs never stand in the way.
TEST_F(SheetFileRules, AFileOfTheOtherKindBesideTheOneReadThatHoldsAnotherSheetRefusesTheInsertion)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    ASSERT_EQ(run({"20", "zelda.smc"}).exitStatus, 0);
    EXPECT_EQ(afterBanner(run({"401", "87000", "zelda.smc"}).output),
              "Recompressing...0 of 223 sheets changed: 0 written in place, 0 moved.\nDone!\n");
    EXPECT_EQ(run({"421", "87000", "zelda.smc"}).exitStatus, 0);

    // Pictures of another ROM's sheets for 0x21 and 0x72, as an image editor
    // would leave the edited ones.
    fs::create_directory(dir / "other");
    sampleRom({.seed = 5}).save(dir / "other" / "other.smc");
    ASSERT_EQ(runSheetpakBinary({"20", "other.smc"}, dir / "other").exitStatus, 0);
    for (const char* name : {"GFX21.png", "GFX72.png"}) {
        // Not fs::copy_file: MinGW's refuses to overwrite whatever the options say.
        writeFile(dir / name, readFile(dir / "other" / name));
    }
    fs::remove_all(dir / "other");
    const std::string pairs = "GFX21.png differs from GFX21.bin beside it.\nGFX72.png differs from GFX72.bin beside it.\n";
    const std::string away = ", or move the files you do not mean to insert away.\nFailed!\n";
    expectRefusal({"1", "87000", "zelda.smc"},
                  "Recompressing..." + pairs + "Add 20 to the mode word to insert the pictures (mode 21)" + away);
    expectRefusal({"441", "87000", "zelda.smc"},
                  "Checking..." + pairs + "Add 20 to the mode word to insert the pictures (mode 461)" + away);
    // Read as pictures, the raw files beside them are the stale ones; moved
    // away, the pictures go in.
    expectRefusal({"421", "87000", "zelda.smc"},
                  "Recompressing...GFX21.bin differs from GFX21.png beside it.\nGFX72.bin differs from GFX72.png "
                  "beside it.\nTake 20 off the mode word to insert the raw files (mode 401)" +
                      away);
    fs::remove(dir / "GFX21.bin");
    fs::remove(dir / "GFX72.bin");
    const RunResult pictures = run({"421", "87000", "zelda.smc"});
    EXPECT_EQ(pictures.exitStatus, 0);
    EXPECT_EQ(afterBanner(pictures.output).rfind("Recompressing...2 of 223 sheets changed:", 0), 0u) << pictures.output;

    // The other way round: raw files edited beside the pictures read; four
    // of them, the first three named in sheet order.
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"820", "zelda.smc"}).exitStatus, 0);
    for (const std::uint32_t sheet : {0xDAu, 0x05u, 0x75u, 0x40u}) {
        Bytes edited = sheetFile(sheet);
        edited[3] ^= 0x01;
        writeFile(dir / sheetName(sheet), edited);
    }
    expectRefusal({"421", "87000", "zelda.smc"},
                  "Recompressing...GFX05.bin differs from GFX05.png beside it.\nGFX40.bin differs from GFX40.png "
                  "beside it.\nGFX75.bin differs from GFX75.png beside it.\nTake 20 off the mode word to insert the "
                  "raw files (mode 401)" +
                      away);
    // A combined file is read alone: no pair is looked for.
    ASSERT_EQ(run({"20", "zelda.smc", "all.png"}).exitStatus, 0);
    EXPECT_EQ(run({"421", "87000", "zelda.smc", "all.png"}).exitStatus, 0);
}

}  // namespace
