// The whole command line through the real binary: exact output after the
// banner, exit status, and what is (not) touched on disk.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "rom/sheet_catalogue.h"
#include "support/rom_fixture.h"
#include "support/run_binary.h"

#include <cstdio>
#include <system_error>

namespace fs = std::filesystem;

namespace {

const std::string kUsageText =
    "Usage: sheetpak 0 ROMFileName [FileToSaveAs]\n"
    "       sheetpak 1 PCHexAddressToInsert ROMFileName [FileToInsert]\n\n"
    "Example: sheetpak 0 zelda.smc AllGFX.bin\n"
    "         sheetpak 1 87200 zelda.smc AllGFX.bin\n";

class CommandLine : public ::testing::Test {
protected:
    TempDir dir;

    RunResult run(const std::vector<std::string>& arguments) { return runSheetpakBinary(arguments, dir.path()); }

    // Runs and checks the whole output: the banner first, then `expected`.
    void expectRun(const std::vector<std::string>& arguments, const std::string& expected, int status)
    {
        const RunResult result = run(arguments);
        EXPECT_EQ(result.output, bannerText() + expected);
        EXPECT_EQ(result.exitStatus, status);
        EXPECT_EQ(result.errors, "");
    }

    void saveRom(const std::string& name, const RomOptions& options = {})
    {
        makeSyntheticRom(options).save(dir / name);
    }
};

TEST_F(CommandLine, BannerIsPrintedLiterallyWithTitleAndGameLines)
{
    const std::string& banner = bannerText();
    EXPECT_EQ(banner.front(), '\n');
    EXPECT_EQ(banner.substr(banner.size() - 2), "\n\n");
    EXPECT_NE(banner.find(" Version 1.20\nCreated for Zelda : A Link to the Past (SNES)\n"), std::string::npos);
    // The banner holds a per cent sign; it must come out as typed.
    EXPECT_NE(banner.find('%'), std::string::npos);
    EXPECT_EQ(run({}).output.substr(0, banner.size()), banner);
}

TEST_F(CommandLine, TooFewArgumentsShowUsage)
{
    expectRun({}, kUsageText, 1);
    expectRun({"0"}, kUsageText, 1);
}

TEST_F(CommandLine, ArgumentCountsAreCheckedPerOperation)
{
    // Five arguments are refused before the mode word is read, even an invalid one.
    expectRun({"4", "a", "b", "c", "d"}, "Too many parameters!\n", 1);
    expectRun({"0", "rom", "sheets", "extra"}, "Too many parameters!\n", 1);
    expectRun({"2", "rom", "extra"}, "Too many parameters!\n", 1);
    expectRun({"3", "rom", "extra", "more"}, "Too many parameters!\n", 1);
    expectRun({"1", "rom"}, "Not enough parameters!\n", 1);
}

TEST_F(CommandLine, InvalidModesPrintTheWholeModeWord)
{
    expectRun({"4", "a", "b", "c"}, "Mode 4 is not valid.\n", 1);
    expectRun({"1A", "rom"}, "Mode 1A is not valid.\n", 1);
    expectRun({"104", "rom"}, "Mode 104 is not valid.\n", 1);
    expectRun({"0xF", "rom"}, "Mode F is not valid.\n", 1);
    // A minus negates modulo 2^32: -1 is FFFFFFFF, whose low bits are F.
    expectRun({"-1", "rom"}, "Mode FFFFFFFF is not valid.\n", 1);
}

TEST_F(CommandLine, SameFileNamedTwiceIsRefused)
{
    saveRom("zelda.smc");
    const std::string rom = (dir / "zelda.smc").string();
    expectRun({"0", rom, rom}, "File names are identical...bad idea!\n", 1);
    expectRun({"1", "87000", rom, rom}, "File names are identical...bad idea!\n", 1);
    // Another spelling of the same file.
    const std::string dotted = (dir.path() / "." / "zelda.smc").string();
    expectRun({"0", rom, dotted}, "File names are identical...bad idea!\n", 1);
    // Links, where the file system has them.
    std::error_code noSymlink;
    fs::create_symlink(dir / "zelda.smc", dir / "symlink.smc", noSymlink);
    if (!noSymlink) {
        expectRun({"0", (dir / "symlink.smc").string(), rom}, "File names are identical...bad idea!\n", 1);
    }
    std::error_code noHardLink;
    fs::create_hard_link(dir / "zelda.smc", dir / "hardlink.smc", noHardLink);
    if (!noHardLink) {
        expectRun({"0", "hardlink.smc", "zelda.smc"}, "File names are identical...bad idea!\n", 1);
    }
    EXPECT_FALSE(noSymlink && noHardLink) << "no kind of link could be made";
    // A ROM that is one of the per-sheet files would be truncated or read as a sheet.
    saveRom("GFX05.bin");
    expectRun({"0", "GFX05.bin"}, "File names are identical...bad idea!\n", 1);
    expectRun({"1", "87000", "./GFX05.bin"}, "File names are identical...bad idea!\n", 1);
    EXPECT_EQ(fs::file_size(dir / "GFX05.bin"), 0x100000u);
    EXPECT_EQ(fs::file_size(dir / "zelda.smc"), 0x100000u);
}

TEST_F(CommandLine, SameNameRefusedEvenWhenTheFileDoesNotExist)
{
    expectRun({"0", "missing.smc", "missing.smc"}, "File names are identical...bad idea!\n", 1);
}

TEST_F(CommandLine, RomThatCannotBeOpened)
{
    expectRun({"0", "missing.smc"}, "Unable to open the ROM: missing.smc\n" + systemSays(ENOENT), 1);
    expectRun({"2", "missing.smc"}, "Unable to open the ROM: missing.smc\n" + systemSays(ENOENT), 1);
    fs::create_directory(dir / "folder");
    expectRun({"0", "folder"}, "Unable to open the ROM: folder\n" + systemSays(EISDIR), 1);
    // A sheet file that does not exist yet is never the same file as the ROM.
    expectRun({"0", "missing.smc", "new.bin"}, "Unable to open the ROM: missing.smc\n" + systemSays(ENOENT), 1);
    EXPECT_FALSE(fs::exists(dir / "new.bin"));
}

TEST_F(CommandLine, AWriteProtectedRomIsOnlyReadAndChecksSayTheRealRunWouldFail)
{
    const SyntheticRom rom = makeSyntheticRom({.imageSize = 0x200000});
    rom.save(dir / "zelda.smc");
    const fs::perms readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(dir / "zelda.smc", readable);
    fs::permissions(dir.path(), fs::perms::all);
    if (!writeProtectionBindsUser(dir / "zelda.smc")) {
        GTEST_SKIP() << "the read-only attribute does not bind this user";
    }
    const auto asUser = [this](const std::vector<std::string>& arguments) {
        return runSheetpakBinaryAsUser(arguments, dir.path());
    };
    // The runs that write cannot open it.
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"3", "zelda.smc"}, {"1", "87000", "zelda.smc"}}) {
        const RunResult result = asUser(arguments);
        EXPECT_EQ(afterBanner(result.output), "Unable to open the ROM: zelda.smc\n" + systemSays(EACCES)) << arguments[0];
        EXPECT_EQ(result.exitStatus, 1);
    }
    // Their checks read it, report everything, then say why the run would fail.
    const std::string notWritable = "The ROM zelda.smc cannot be opened for writing, so the real run would fail.\n";
    RunResult check = asUser({"43", "zelda.smc"});
    EXPECT_EQ(afterBanner(check.output),
              "Checking...The ROM would grow from 0x200000 to 0x300000 bytes.\n" + notWritable + "Failed!\n");
    EXPECT_EQ(check.exitStatus, 1);
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        char name[16];
        std::snprintf(name, sizeof name, "GFX%02X.bin", static_cast<unsigned>(sheet));
        writeFile(dir / name, Bytes(sheetSize(sheet, kUsLayout), 0));
    }
    check = asUser({"41", "87000", "zelda.smc"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_EQ(afterBanner(check.output).rfind("Checking...", 0), 0u) << check.output;
    EXPECT_NE(check.output.find("\nThe sheets need 0x"), std::string::npos) << check.output;
    EXPECT_EQ(check.output.substr(check.output.size() - notWritable.size() - 8), notWritable + "Failed!\n");
    // Extraction only reads it.
    EXPECT_EQ(afterBanner(asUser({"40", "zelda.smc"}).output).rfind("Checking...", 0), 0u);
    EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes);
}

TEST_F(CommandLine, UnrecognisedRomsAreRefusedWithTheirReason)
{
    saveRom("small.smc", {.imageSize = 0xFFFFF});
    expectRun({"2", "small.smc"}, "This ROM is too small to be the Zelda ROM.\n", 1);
    saveRom("foreign.smc", {.destinationCode = 2});
    expectRun({"100", "foreign.smc"},
              "This ROM is from the wrong country.  Only the US and Japanese ROMs are supported.\n", 1);
    SyntheticRom wrong = makeSyntheticRom();
    wrong.put(0x7FC0, {'t', 'h', 'e'});
    wrong.save(dir / "wrong.smc");
    expectRun({"3", "wrong.smc"}, "The ROM either has the wrong game title, or is in the wrong format.\n", 1);
    EXPECT_EQ(readFile(dir / "wrong.smc"), wrong.bytes);
}

TEST_F(CommandLine, RomsLargerThanSixteenMebibytesAreRefusedBeforeAnythingIsRead)
{
    const std::string refusal = "This ROM is larger than 16 MiB; no release or expansion of the game is that large.\n";
    // 16 MiB after the copier header is the most any ROM of the game holds.
    for (const bool header : {false, true}) {
        saveRom("largest.smc", {.imageSize = 0x1000000, .copierHeader = header});
        EXPECT_EQ(afterBanner(run({"140", "largest.smc"}).output).rfind("Checking...", 0), 0u);
    }
    // One byte more, with or without a header (bit 9 of the size decides).
    SyntheticRom rom = makeSyntheticRom({.imageSize = 0x1000000});
    for (const std::uint64_t size : {0x1000001ull, 0x1000400ull, 0x1000600ull}) {
        rom.bytes.resize(size, 0);
        rom.save(dir / "large.smc");
        expectRun({"0", "large.smc"}, refusal, 1);
    }
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"1", "1000000", "large.smc"}, {"2", "large.smc"}, {"43", "large.smc"}}) {
        expectRun(arguments, refusal, 1);
    }
    EXPECT_EQ(readFile(dir / "large.smc"), rom.bytes);
    // A sparse file of 4 GiB and more is refused at once, without reading it.
    std::error_code error;
    fs::resize_file(dir / "large.smc", 0x100000200ull, error);
    if (!error && fs::file_size(dir / "large.smc") == 0x100000200ull) {
        expectRun({"1", "87000", "large.smc"}, refusal, 1);
        EXPECT_EQ(fs::file_size(dir / "large.smc"), 0x100000200ull);
    }
}

TEST_F(CommandLine, CopierHeaderFollowsBitNineOfTheSize)
{
    // 0x100300 bytes: bit 9 set, so the title is read at 0x81C0.
    saveRom("headered.smc", {.imageSize = 0x100100, .copierHeader = true});
    expectRun({"12", "headered.smc"}, "Expanding ROM to 2 megs...Done!\n", 0);
    EXPECT_EQ(fs::file_size(dir / "headered.smc"), 0x200200u);
    // Only the size counts: a plain image with 0x200 bytes appended is taken
    // as headered, so its title is looked for 0x200 bytes too far on.
    SyntheticRom padded = makeSyntheticRom();
    padded.bytes.resize(0x100200, 0);
    padded.save(dir / "padded.smc");
    expectRun({"2", "padded.smc"}, "The ROM either has the wrong game title, or is in the wrong format.\n", 1);
}

TEST_F(CommandLine, HexArgumentsReadLikeFormattedInput)
{
    saveRom("zelda.smc");
    // A word without any hex digit is no mode word: nothing runs.
    for (const char* word : {"Q", "xyz", "$"}) {
        expectRun({word, "zelda.smc", "sheets.bin"}, std::string("Mode ") + word + " is not valid.\n", 1);
    }
    // Command words and options choose the other form of the command line,
    // where these are an insertion from a file that is not there and two
    // errors of use: none writes anything.
    EXPECT_EQ(run({"insert", "zelda.smc", "sheets.bin"}).exitStatus, 1);
    EXPECT_EQ(run({"help", "zelda.smc", "sheets.bin"}).exitStatus, 2);
    EXPECT_EQ(run({"-x", "zelda.smc", "sheets.bin"}).exitStatus, 2);
    EXPECT_FALSE(fs::exists(dir / "sheets.bin"));
    // Leading blanks, a 0x prefix and trailing junk: mode 3 with the 0x100 flag.
    expectRun({"  0x103junk", "zelda.smc"}, "Expanding ROM to 3 megs...Done!\n", 0);
    EXPECT_EQ(fs::file_size(dir / "zelda.smc"), 0x300000u);
}

TEST_F(CommandLine, ExpansionThatCannotGrowFails)
{
    saveRom("big.smc", {.imageSize = 0x200000});
    const Bytes before = readFile(dir / "big.smc");
    expectRun({"2", "big.smc"}, "Expanding ROM to 2 megs...The ROM is already 2 MiB or larger.\nFailed!\n", 1);
    EXPECT_EQ(readFile(dir / "big.smc"), before);
}

}  // namespace

namespace {

TEST_F(CommandLine, NumbersMustHoldADigitAndMayStartWithADollar)
{
    saveRom("zelda.smc");
    const Bytes before = readFile(dir / "zelda.smc");
    expectRun({"1", "zz", "zelda.smc"}, "The insert address zz is not a hexadecimal number.\n", 1);
    expectRun({"1", "$", "zelda.smc"}, "The insert address $ is not a hexadecimal number.\n", 1);
    expectRun({"$", "zelda.smc"}, "Mode $ is not valid.\n", 1);
    EXPECT_EQ(readFile(dir / "zelda.smc"), before);
    // "$" is a prefix where "0x" is: $103 is expansion to 3 MiB with flag 0x100.
    expectRun({"$103", "zelda.smc"}, "Expanding ROM to 3 megs...Done!\n", 0);
    EXPECT_EQ(fs::file_size(dir / "zelda.smc"), 0x300000u);
}

TEST_F(CommandLine, HelpAndVersionAnswerAndExitWithoutAPrompt)
{
    // The help of every command, then the mode word's, without a banner.
    for (const char* word : {"-h", "--help", "-?", "/?"}) {
        const RunResult result = run({word, "zelda.smc"});
        EXPECT_EQ(result.exitStatus, 0) << word;
        const std::string& text = result.output;
        EXPECT_EQ(text.rfind("sheetpak 1.20: ", 0), 0u) << word;
        EXPECT_NE(text.find("\n  sheetpak insert ROM [SOURCE...]"), std::string::npos) << word;
        EXPECT_NE(text.find(kUsageText), std::string::npos) << word;
        for (const char* line : {"\n  0    extract", "\n  3    enlarge", "\n  10   ", "\n  20   ", "\n  40   check only",
                                 "\n  80   ", "\n  100  ", "\n  200  ", "\n  1000 "}) {
            EXPECT_NE(text.find(line), std::string::npos) << word << ": " << line;
        }
        EXPECT_EQ(result.errors, "");
    }
    const RunResult version = run({"--version"});
    EXPECT_EQ(version.output, "sheetpak 1.20\n");
    EXPECT_EQ(version.exitStatus, 0);
}

}  // namespace

namespace {

TEST_F(CommandLine, ACheckedExpansionSaysWhatItWouldDoAndWritesNothing)
{
    saveRom("zelda.smc", {.copierHeader = true});
    const Bytes before = readFile(dir / "zelda.smc");
    expectRun({"42", "zelda.smc"}, "Checking...The ROM would grow from 0x100200 to 0x200200 bytes.\nDone!\n", 0);
    expectRun({"43", "zelda.smc"}, "Checking...The ROM would grow from 0x100200 to 0x300200 bytes.\nDone!\n", 0);
    EXPECT_EQ(readFile(dir / "zelda.smc"), before);
    saveRom("big.smc", {.imageSize = 0x300000});
    expectRun({"43", "big.smc"}, "Checking...The ROM is already 3 MiB or larger.\nFailed!\n", 1);
}

}  // namespace

namespace {

TEST_F(CommandLine, ModeWordsWithBitsOfNoFlagAndOptionLookingNamesRunNothing)
{
    saveRom("zelda.smc");
    const Bytes before = readFile(dir / "zelda.smc");
    // An insert address typed as the mode word, and two other words with a
    // bit that is no flag; the low digit is still checked first.
    expectRun({"87000", "zelda.smc"}, "Mode 87000 is not valid: 86000 are no flags of sheetpak.\n", 1);
    expectRun({"2001", "87000", "zelda.smc"}, "Mode 2001 is not valid: 2000 are no flags of sheetpak.\n", 1);
    expectRun({"10000002", "zelda.smc"}, "Mode 10000002 is not valid: 10000000 are no flags of sheetpak.\n", 1);
    expectRun({"87004", "zelda.smc"}, "Mode 87004 is not valid.\n", 1);
    // Every flag of the tool passes, whether or not it applies (0x1000: a patch).
    expectRun({"1F42", "zelda.smc"},
              "Checking...The ROM would grow from 0x100000 to 0x200000 bytes.\nThe patch would hold 39 bytes.\nDone!\n", 0);

    // Names that look like options are no files for this form.
    const std::string option = " looks like an option, but this form of the command line takes none; for a file of "
                               "that name write ./";
    expectRun({"0", "zelda.smc", "--verbose"}, "--verbose" + option + "--verbose.\n", 1);
    expectRun({"0", "-o", "sheets.bin"}, "-o" + option + "-o.\n", 1);
    expectRun({"1", "87000", "zelda.smc", "-"}, "-" + option + "-.\n", 1);
    expectRun({"20", "--rom"}, "--rom" + option + "--rom.\n", 1);
    EXPECT_EQ(readFile(dir / "zelda.smc"), before);
    for (const char* name : {"--verbose", "-o", "-", "sheets.bin", "GFX00.bin", "GFX00.png"}) {
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    }
    // Written as a path, such a name is a file like any other.
    const RunResult extracted = run({"0", "zelda.smc", "./-o"});
    EXPECT_EQ(extracted.exitStatus, 0);
    EXPECT_EQ(extracted.output.substr(extracted.output.size() - 6), "Done!\n");
    EXPECT_EQ(fs::file_size(dir / "-o"), 0x76800u);
}

}  // namespace
