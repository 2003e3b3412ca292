// Mode 1 through the real binary: byte-exact layouts, every room check, and
// a ROM left untouched by every failure before the writing starts.

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "rom/sheet_catalogue.h"
#include "support/test_random.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

// Length of the laid area for all-zero sheet files: 12 raw sheets of 1536
// bytes and 209 compressed ones of 7 bytes each.
constexpr std::uint32_t kZeroSheetsLength = 12 * 1536 + 209 * 7;

std::string lastAddressLine(std::uint32_t end)
{
    char line[64];
    std::snprintf(line, sizeof line, "Done!\nLast address written to: 0x%06X\n", end - 1);
    return line;
}

class Insertion : public TransferTest {
protected:
    // Saves `rom`, runs the arguments, and checks the ROM is unchanged and
    // the output after the banner is `expected`.
    void expectRefused(const SyntheticRom& rom, const std::vector<std::string>& arguments,
                       const std::string& expected)
    {
        rom.save(dir / "zelda.smc");
        const RunResult result = run(arguments);
        EXPECT_EQ(afterBanner(result.output), expected);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(firstDifference(readFile(dir / "zelda.smc"), rom.bytes), -1) << "the ROM was changed";
    }
};

// The no-room refusal of a run with mode word 1, which names mode 41 for a check.
const std::string kNoRoom =
    "Recompressing...Aborted in mid-operation: Not enough room.\nYou must expand the ROM and reinsert.\n"
    "Mode 41 checks the insertion and shows how much room the sheets need, without writing.\nFailed!\n";

// The no-room refusal of a start at or past the end of the file.
std::string startPastEnd(std::uint32_t start, std::uint32_t size)
{
    char line[128];
    std::snprintf(line, sizeof line, "The start offset 0x%X is at or past the end of the ROM, which holds 0x%X bytes.\n",
                  start, size);
    return kNoRoom.substr(0, kNoRoom.find("Mode 41")) + line + "Failed!\n";
}

TEST_F(Insertion, ReinsertingExtractedSheetsRebuildsTheRomExactly)
{
    // The sample ROM is laid out the way insertion lays sheets, so putting its
    // own sheets back at 87000 gives it back, plus the fill up to the boundary.
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const bool header : {false, true}) {
            std::uint32_t end = 0;
            const SyntheticRom original = sampleRom({.version = version, .copierHeader = header, .seed = 3}, &end);
            original.save(dir / "zelda.smc");
            // Over the last release's sheet files: 0x800 replaces them.
            ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);

            // 87200 is taken as 87000 on a plain image, 87000 as 87200 on a headered one.
            const RunResult result = run({"1", header ? "87000" : "87200", "zelda.smc"});
            EXPECT_EQ(afterBanner(result.output), "Recompressing..." + lastAddressLine(end));
            EXPECT_EQ(result.exitStatus, 0);
            SyntheticRom expected = original;
            const std::uint32_t boundary = original.headerOffset + original.layout->protectedBoundary;
            std::fill(expected.bytes.begin() + end, expected.bytes.begin() + boundary, 0xFF);
            EXPECT_EQ(firstDifference(readFile(dir / "zelda.smc"), expected.bytes), -1);
        }
    }
}

TEST_F(Insertion, EditedSheetsSurviveARoundTripThroughACombinedFile)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        const SyntheticRom original = sampleRom({.version = version});
        original.save(dir / "zelda.smc");
        // Sheets of another seed, as if edited, inserted without fill.
        writeFile(dir / "edited.bin", combinedSampleFile(*original.layout, 9));
        const RunResult result = run({"11", "87000", "zelda.smc", "edited.bin"});
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        ASSERT_EQ(run({"800", "zelda.smc", "again.bin"}).exitStatus, 0);
        EXPECT_EQ(firstDifference(readFile(dir / "again.bin"), readFile(dir / "edited.bin")), -1);
        ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);
        EXPECT_EQ(sheetFile(0xDD), sampleSheet(0xDD, *original.layout, 9));
    }
}

TEST_F(Insertion, LaysRawSheetsFirstThenEverySheetInOrder)
{
    SyntheticRom rom = sampleRom({.copierHeader = true, .imageSize = 0x200000});
    rom.save(dir / "zelda.smc");
    writeZeroSheetFiles(*rom.layout);
    // 100000 on a headered image starts at file offset 100200.
    const RunResult result = run({"1", "100000", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output), "Recompressing..." + lastAddressLine(0x100200 + kZeroSheetsLength));
    const SyntheticRom after{readFile(dir / "zelda.smc"), 0x200, &kUsLayout};
    EXPECT_EQ(after.pointer(0x73), 0x100000u);
    EXPECT_EQ(after.pointer(0x7E), 0x100000u + 11 * 1536);
    EXPECT_EQ(after.pointer(0x00), 0x104800u);
    EXPECT_EQ(after.pointer(0x72), 0x104800u + 0x72 * 7);
    EXPECT_EQ(after.pointer(0x7F), 0x104800u + 0x73 * 7);
    EXPECT_EQ(after.get(0x104800, 8), (Bytes{0xE7, 0xFF, 0x00, 0xE5, 0xFF, 0x00, 0xFF, 0xE7}));
    // The fixed sheets' entries copy 0x71 and 0x72's in all three tables.
    EXPECT_EQ(after.pointerBytes(0xDD), after.pointerBytes(0x71));
    EXPECT_EQ(after.pointerBytes(0xDE), after.pointerBytes(0x72));
    // Fixed sheets at their offsets; no fill past the boundary.
    EXPECT_EQ(after.get(0x70000, 4096), Bytes(4096, 0));
    EXPECT_EQ(after.get(0x80000, 28672), Bytes(28672, 0));
    EXPECT_EQ(after.get(0x8B800, 0x1000), rom.get(0x8B800, 0x1000));

    // Other start offsets are taken as they stand.
    SyntheticRom plain = sampleRom({.imageSize = 0x200000});
    plain.save(dir / "plain.smc");
    EXPECT_EQ(afterBanner(run({"1", "100200", "plain.smc"}).output),
              "Recompressing..." + lastAddressLine(0x100200 + kZeroSheetsLength));
}

TEST_F(Insertion, RoomChecksAtTheirExactBoundaries)
{
    writeZeroSheetFiles(kUsLayout);
    const SyntheticRom rom = sampleRom({.imageSize = 0x200000});
    const auto hex = [](std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "%X", value);
        return std::string(text);
    };
    // The last sheet ending at the file size is refused; a byte earlier fits.
    expectRefused(rom, {"1", hex(0x200000 - kZeroSheetsLength), "zelda.smc"}, kNoRoom);
    rom.save(dir / "zelda.smc");
    EXPECT_EQ(afterBanner(run({"1", hex(0x200000 - kZeroSheetsLength - 1), "zelda.smc"}).output),
              "Recompressing..." + lastAddressLine(0x200000 - 1));
    // A sheet starting at the protected boundary is refused, as is one across it;
    // one ending exactly there fits.
    expectRefused(rom, {"201", "C4000", "zelda.smc"}, kNoRoom.substr(0, kNoRoom.find("Mode 41")) +
                      "Mode 241 checks the insertion and shows how much room the sheets need, without writing.\n"
                      "Failed!\n");
    expectRefused(rom, {"1", hex(0xC4000 - kZeroSheetsLength + 1), "zelda.smc"}, kNoRoom);
    rom.save(dir / "zelda.smc");
    EXPECT_EQ(afterBanner(run({"1", hex(0xC4000 - kZeroSheetsLength), "zelda.smc"}).output),
              "Recompressing..." + lastAddressLine(0xC4000));
    // At or past the file size, without wrapping around 4 GiB: no expansion helps.
    expectRefused(rom, {"1", "200000", "zelda.smc"}, startPastEnd(0x200000, 0x200000));
    expectRefused(rom, {"1", "FFFFFF00", "zelda.smc"}, startPastEnd(0xFFFFFF00, 0x200000));
    // A start one byte inside the file is only short of room.
    expectRefused(rom, {"1", "1FFFFF", "zelda.smc"}, kNoRoom);
}

TEST_F(Insertion, FillsFreedSpaceAboveTheThresholdUnlessTold)
{
    writeZeroSheetFiles(kUsLayout);
    const SyntheticRom rom = sampleRom({});
    const auto insertEndingAt = [&](std::uint32_t end, const char* mode) {
        rom.save(dir / "zelda.smc");
        char start[16];
        std::snprintf(start, sizeof start, "%X", end - kZeroSheetsLength);
        EXPECT_EQ(run({mode, start, "zelda.smc"}).exitStatus, 0);
        return SyntheticRom{readFile(dir / "zelda.smc"), 0, &kUsLayout};
    };
    const SyntheticRom filled = insertEndingAt(0x90000, "1");
    EXPECT_EQ(filled.get(0x90000, 0xC4000 - 0x90000), Bytes(0xC4000 - 0x90000, 0xFF));
    EXPECT_EQ(filled.at(0xC4000), rom.at(0xC4000));
    EXPECT_EQ(insertEndingAt(0x90000, "11").get(0x90000, 0x34000), rom.get(0x90000, 0x34000));
    // The fill threshold lies inside the laid sheets of any start in the
    // graphics area; a start low enough to end there would overwrite 0xDE.
    char start[16];
    std::snprintf(start, sizeof start, "%X", 0x8B801 - kZeroSheetsLength);
    rom.save(dir / "zelda.smc");
    EXPECT_EQ(afterBanner(run({"201", start, "zelda.smc"}).output),
              "Recompressing...GFX 0x73 can't be placed at 0x" + std::string(start) +
                  ": it would overwrite GFX 0xDE.\nFailed!\n");
}

TEST_F(Insertion, SheetFilesAreReadAsTheyStand)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 1);
    // A file over 0x8000 bytes is used from its first 0x8000 bytes.
    Bytes large(0x9000, 0);
    large[0x7FFF] = 0x11;
    writeFile(dir / "GFX71.bin", large);
    // A short fixed sheet is written in full, the rest as zeros.
    writeFile(dir / "GFXDD.bin", Bytes(100, 0xAB));
    const RunResult result = run({"1", "87000", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output).rfind("Recompressing...Warning, GFX 0x71 was too large!\n"
                                               "Warning, GFX 0xDD holds 0x64 bytes; the game keeps 0x1000.\nDone!\n",
                                               0),
              0u);
    const SyntheticRom after{readFile(dir / "zelda.smc"), 0, &kUsLayout};
    Bytes expectedDD(4096, 0);
    std::fill_n(expectedDD.begin(), 100, 0xAB);
    EXPECT_EQ(after.get(0x70000, 4096), expectedDD);
    ASSERT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    EXPECT_EQ(sheetFile(0x71), Bytes(large.begin(), large.begin() + 0x8000));
}

TEST_F(Insertion, AnyFailureLeavesTheRomUntouched)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 2);
    // A missing file halfway: the raw sheets and 0x00-0x4F would have been written.
    fs::remove(dir / "GFX50.bin");
    expectRefused(rom, {"1", "87000", "zelda.smc"}, "Recompressing...Couldn't open GFX50.bin\n" + systemSays(ENOENT) + "Failed!\n");
    fs::remove(dir / "GFX73.bin");
    expectRefused(rom, {"1", "87000", "zelda.smc"},
                  "Recompressing...Couldn't open GFX73.bin\n" + systemSays(ENOENT) + "2 of the 223 sheet files are missing.\nFailed!\n");
    // A folder is no sheet file, whatever the system lets open.
    fs::create_directory(dir / "GFX73.bin");
    expectRefused(rom, {"1", "87000", "zelda.smc"}, "Recompressing...Couldn't open GFX73.bin\n" + systemSays(EISDIR) + "Failed!\n");
    expectRefused(rom, {"1", "87000", "zelda.smc", "GFX73.bin"}, "Recompressing...Couldn't open GFX73.bin\n" + systemSays(EISDIR) + "Failed!\n");
    fs::remove(dir / "GFX73.bin");

    // A sheet that does not compress to 0x8000 bytes or fewer.
    writeSampleSheetFiles(kUsLayout, 2);
    const Bytes noise = TestRandom(5).bytes(0x8000);
    writeFile(dir / "GFXDA.bin", noise);
    expectRefused(rom, {"1", "87000", "zelda.smc"}, "Recompressing...Error compressing GFX 0xDA\nFailed!\n");

    // No room for the last sheets only.
    writeSampleSheetFiles(kUsLayout, 2);
    expectRefused(rom, {"1", "B0000", "zelda.smc"}, kNoRoom);

    // A combined file too short for the release.
    Bytes shortFile = combinedSampleFile(kUsLayout, 2);
    shortFile.pop_back();
    writeFile(dir / "short.bin", shortFile);
    expectRefused(rom, {"1", "87000", "zelda.smc", "short.bin"},
                  "Recompressing...The sheet file short.bin holds 0x767FF bytes; for this ROM it must hold exactly "
                  "0x76800.\n"
                  "Failed!\n");
    expectRefused(rom, {"1", "87000", "zelda.smc", "missing.bin"}, "Recompressing...Couldn't open missing.bin\n" + systemSays(ENOENT) + "Failed!\n");
    // A Japanese ROM needs the longer file.
    writeFile(dir / "us.bin", combinedSampleFile(kUsLayout, 2));
    expectRefused(sampleRom({.version = RomVersion::Japan}), {"1", "87000", "zelda.smc", "us.bin"},
                  "Recompressing...The sheet file us.bin was made for the US release; this ROM is the Japanese "
                  "release.\n"
                  "Failed!\n");
}

TEST_F(Insertion, OffsetsBeyondThePointersReachAreRefused)
{
    writeZeroSheetFiles(kUsLayout);
    const SyntheticRom big = sampleRom({.imageSize = 0x500000});
    expectRefused(big, {"1", "400000", "zelda.smc"},
                  "Recompressing...GFX 0x73 can't be placed at 0x400000: sheet pointers reach only the first 4 MiB "
                  "of the ROM.\nFailed!\n");
    // Only the sheets past 4 MiB are refused, but nothing is written either way.
    expectRefused(big, {"1", "3FF000", "zelda.smc"},
                  "Recompressing...GFX 0x76 can't be placed at 0x400200: sheet pointers reach only the first 4 MiB "
                  "of the ROM.\nFailed!\n");
    // Inside the copier header no pointer can point either.
    const SyntheticRom headered = sampleRom({.copierHeader = true});
    expectRefused(headered, {"201", "100", "zelda.smc"},
                  "Recompressing...GFX 0x73 can't be placed at 0x100: that is inside the copier header.\nFailed!\n");
}

TEST_F(Insertion, FailedRomWriteIsReported)
{
    if (!canLimitFileSize()) {
        GTEST_SKIP() << "no way to make writes fail on this platform";
    }
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    writeZeroSheetFiles(kUsLayout);
    const RunResult result = run({"1", "87000", "zelda.smc"}, 0x88000);
    EXPECT_EQ(afterBanner(result.output),
              "Recompressing...Couldn't write to the ROM: zelda.smc\n" + systemSays(EFBIG) + "The ROM has not been changed.\nFailed!\n");
    EXPECT_EQ(result.exitStatus, 1);
    // The new image never took the ROM's place, and its temporary file is gone.
    EXPECT_EQ(firstDifference(readFile(dir / "zelda.smc"), rom.bytes), -1);
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().filename().string().find(".sheetpak-"), std::string::npos) << entry.path();
    }
}

}  // namespace

namespace {

TEST_F(Insertion, JapaneseBoundaryAndFillAreTheirOwn)
{
    // 0xC3C00, not the US 0xC4000: a sheet ending there fits, one ending a
    // byte later does not, and the fill stops right before it.
    writeZeroSheetFiles(kJapanLayout);
    const SyntheticRom rom = sampleRom({.version = RomVersion::Japan});
    char start[16];
    std::snprintf(start, sizeof start, "%X", 0xC3C00 - kZeroSheetsLength + 1);
    expectRefused(rom, {"1", start, "zelda.smc"}, kNoRoom);

    rom.save(dir / "zelda.smc");
    std::snprintf(start, sizeof start, "%X", 0x90000 - kZeroSheetsLength);
    EXPECT_EQ(afterBanner(run({"1", start, "zelda.smc"}).output), "Recompressing..." + lastAddressLine(0x90000));
    const SyntheticRom after{readFile(dir / "zelda.smc"), 0, &kJapanLayout};
    EXPECT_EQ(after.get(0x90000, 0xC3C00 - 0x90000), Bytes(0xC3C00 - 0x90000, 0xFF));
    EXPECT_EQ(after.get(0xC3C00, 0x400), rom.get(0xC3C00, 0x400));

    rom.save(dir / "zelda.smc");
    std::snprintf(start, sizeof start, "%X", 0xC3C00 - kZeroSheetsLength);
    EXPECT_EQ(afterBanner(run({"1", start, "zelda.smc"}).output), "Recompressing..." + lastAddressLine(0xC3C00));
}

TEST_F(Insertion, AShortRawSheetIsPackedFromZeros)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    writeSampleSheetFiles(kUsLayout, 1);
    const Bytes shortSheet = TestRandom(7).bytes(100);
    writeFile(dir / "GFX73.bin", shortSheet);
    ASSERT_EQ(run({"1", "87000", "zelda.smc"}).exitStatus, 0);
    // Its plane-3 bytes are dropped, and the positions past its 100 bytes are
    // packed as zeros.
    const SyntheticRom after{readFile(dir / "zelda.smc"), 0, &kUsLayout};
    Bytes expected(1536, 0);
    for (std::uint32_t from = 0, to = 0; from < 100; ++from) {
        const bool planeThree = from % 32 >= 16 && from % 2 == 1;
        if (!planeThree) {
            expected[to++] = shortSheet[from];
        }
    }
    EXPECT_EQ(after.get(0x87000, 1536), expected);
}

}  // namespace

namespace {

std::string hexText(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", value);
    return text;
}

TEST_F(Insertion, StartsOutsideTheSheetAreasAreRefused)
{
    writeZeroSheetFiles(kUsLayout);
    for (const bool header : {false, true}) {
        const std::uint32_t h = header ? 0x200 : 0;
        const SyntheticRom rom = sampleRom({.copierHeader = header, .imageSize = 0x200000});
        const auto outside = [&](std::uint32_t start) {
            char line[200];
            std::snprintf(line, sizeof line,
                          "Recompressing...The insert address 0x%X is outside the graphics area (0x%X to 0x%X) and "
                          "the expansion area (from 0x%X).\nFailed!\n",
                          start, h + 0x87000, h + 0xC4000, h + 0x100000);
            return std::string(line);
        };
        const auto accepted = [&](const std::string& mode, std::uint32_t start) {
            rom.save(dir / "zelda.smc");
            const RunResult result = run({mode, hexText(start), "zelda.smc"});
            EXPECT_EQ(result.exitStatus, 0) << hexText(start) << result.output;
        };
        // Typed forms of one number; 87000 is taken as 87200 on a headered image.
        for (const std::string& typed : {std::string("$87000"), std::string("0x87000"), std::string("87000h")}) {
            rom.save(dir / "zelda.smc");
            EXPECT_EQ(run({"1", typed, "zelda.smc"}).exitStatus, 0) << typed;
        }
        // -87000 is 0xFFF79000, in the expansion area but past the file's end.
        expectRefused(rom, {"1", "-87000", "zelda.smc"}, startPastEnd(0xFFF79000, h + 0x200000));
        expectRefused(rom, {"1", "87", "zelda.smc"}, outside(0x87));
        accepted("1", h + 0x87000);
        expectRefused(rom, {"1", hexText(h + 0x86FFF), "zelda.smc"}, outside(h + 0x86FFF));
        expectRefused(rom, {"1", hexText(h + 0xC4000), "zelda.smc"}, outside(h + 0xC4000));
        expectRefused(rom, {"1", hexText(h + 0xFFFFF), "zelda.smc"}, outside(h + 0xFFFFF));
        accepted("1", h + 0x100000);
        // Flag 0x200 takes any start, but never over the header, tables or fixed sheets.
        expectRefused(rom, {"201", hexText(h), "zelda.smc"},
                      "Recompressing...GFX 0x73 can't be placed at 0x" + hexText(h) +
                          ": it would overwrite the ROM header and pointer tables.\nFailed!\n");
        expectRefused(rom, {"201", hexText(h + 0x6FFFF), "zelda.smc"},
                      "Recompressing...GFX 0x73 can't be placed at 0x" + hexText(h + 0x6FFFF) +
                          ": it would overwrite GFX 0xDD.\nFailed!\n");
        accepted("201", h + 0x10000);
        accepted("201", h + 0x150000);
    }
}

TEST_F(Insertion, SheetFilesThatCannotBeRightAreRefusedOrWarnedAbout)
{
    const SyntheticRom rom = sampleRom({});
    writeSampleSheetFiles(kUsLayout, 1);
    writeFile(dir / "GFX21.bin", {});
    expectRefused(rom, {"1", "87000", "zelda.smc"}, "Recompressing...The sheet file GFX21.bin is empty.\nFailed!\n");

    // Lengths the game does not keep, and colours 8-15 in 3bpp sheets: warned
    // about, and inserted as before. Type-0 sheets (0x71) have no set length.
    writeSampleSheetFiles(kUsLayout, 1);
    writeFile(dir / "GFXDE.bin", Bytes(2048, 0));
    writeFile(dir / "GFX71.bin", Bytes(100, 1));
    Bytes colourful = sampleSheet(0x05, kUsLayout, 1);
    colourful[2047] = 0x80;  // plane 3 of the last row of the last tile
    writeFile(dir / "GFX05.bin", colourful);
    Bytes rawColourful = sampleSheet(0x74, kUsLayout, 1);
    rawColourful[17] = 0x01;
    writeFile(dir / "GFX74.bin", rawColourful);
    writeFile(dir / "GFX06.bin", Bytes(2047, 0));
    rom.save(dir / "zelda.smc");
    const RunResult result = run({"1", "87000", "zelda.smc"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(afterBanner(result.output).substr(0, afterBanner(result.output).find("Done!")),
              "Recompressing..."
              "Warning, GFX 0x74 uses colours 8 to 15, which become 0 to 7: the game keeps 3 bits per pixel there.\n"
              "Warning, GFX 0x05 uses colours 8 to 15, which become 0 to 7: the game keeps 3 bits per pixel there.\n"
              "Warning, GFX 0x06 holds 0x7FF bytes; the game keeps 0x800.\n"
              "Warning, GFX 0xDE holds 0x800 bytes; the game keeps 0x7000.\n");

    // The same colours through a combined file are warned about too.
    rom.save(dir / "zelda.smc");
    Bytes combined = combinedSampleFile(kUsLayout, 1);
    combined[combinedFileOffset(0x10, kUsLayout) + 31] = 0x02;
    writeFile(dir / "all.bin", combined);
    EXPECT_EQ(afterBanner(run({"1", "87000", "zelda.smc", "all.bin"}).output).rfind(
                  "Recompressing...Warning, GFX 0x10 uses colours 8 to 15", 0),
              0u);

    // A whole ROM is no combined sheet file.
    expectRefused(rom, {"1", "87000", "zelda.smc", "hack.smc"}, "Recompressing...Couldn't open hack.smc\n" + systemSays(ENOENT) + "Failed!\n");
    rom.save(dir / "hack.smc");
    expectRefused(rom, {"1", "87000", "zelda.smc", "hack.smc"},
                  "Recompressing...The sheet file hack.smc holds 0x100000 bytes; for this ROM it must hold exactly "
                  "0x76800.\nFailed!\n");
}

TEST_F(Insertion, ACheckOnlyRunReportsWhatTheRealOneWouldDo)
{
    for (const bool header : {false, true}) {
        std::uint32_t end = 0;
        const SyntheticRom rom = sampleRom({.copierHeader = header, .seed = 4}, &end);
        const std::uint32_t h = rom.headerOffset;
        rom.save(dir / "zelda.smc");
        ASSERT_EQ(run({"100", "zelda.smc"}).exitStatus, 0);

        // Fits: every figure as the real run then has it, and nothing written.
        RunResult check = run({"141", "87000", "zelda.smc"});
        EXPECT_EQ(check.exitStatus, 0);
        EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes);
        const std::string text = afterBanner(check.output);
        EXPECT_EQ(text.rfind("Checking...\nSheet at file offset + bytes:\n73 " + hexText(h + 0x87000).insert(0, 6 - hexText(h + 0x87000).size(), '0') + "+0600   ", 0), 0u) << text;
        // What the sheets leave of the graphics area, and what the fill
        // writes over: the sample ROM holds zeros past its sheets, no 0xFF.
        const std::uint32_t needed = end - h - 0x87000;
        char figures[400];
        std::snprintf(figures, sizeof figures,
                      "The sheets need 0x%X bytes from 0x%X; 0x%X of the 0x%X bytes up to 0x%X are left.\n"
                      "The fill writes 0xFF from 0x%06X to 0x%06X; add 10 to the mode word to leave those bytes as "
                      "they are.\n0x%X of those bytes belong to no sheet, the first at 0x%06X.\nDone!\n",
                      needed, h + 0x87000, 0xC4000 - 0x87000 - needed, 0xC4000 - 0x87000, h + 0xC4000, end,
                      h + 0xC4000 - 1, h + 0xC4000 - end, end);
        // The same last address, as one still to be written.
        char toBeWritten[64];
        std::snprintf(toBeWritten, sizeof toBeWritten, "Last address to be written: 0x%06X\n", end - 1);
        EXPECT_NE(text.find(std::string(figures) + toBeWritten), std::string::npos) << text;
        const RunResult real = run({"101", "87000", "zelda.smc"});
        EXPECT_EQ(afterBanner(real.output), "Recompressing..." + lastAddressLine(end));

        // Does not fit: the refusal, the figures and a way out; status 1, nothing written.
        rom.save(dir / "zelda.smc");
        check = run({"141", hexText(h + 0xB0000), "zelda.smc"});
        EXPECT_EQ(check.exitStatus, 1);
        EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes);
        const std::string refused = afterBanner(check.output);
        EXPECT_EQ(refused.rfind("Checking...Aborted in mid-operation: Not enough room.\nYou must expand the ROM and "
                                "reinsert.\n\nSheet at",
                                0),
                  0u)
            << refused;
        EXPECT_EQ(refused.find("Mode "), std::string::npos);
        // A start outside the areas is no lack of room: the graphics area is named.
        const RunResult outside = run({"141", hexText(h + 0x86FFF), "zelda.smc"});
        EXPECT_EQ(outside.exitStatus, 1);
        EXPECT_NE(outside.output.find("They would fit from 0x" + hexText(h + 0x87000) +
                                      ", the start of the graphics area.\nFailed!\n"),
                  std::string::npos)
            << outside.output;
        EXPECT_NE(refused.find("0x0 of the 0x14000 bytes up to 0x" + hexText(h + 0xC4000) + " are left" +
                               ".\nThey would fit after mode 2 expands the ROM, from 0x" + hexText(h + 0x100000) +
                               " on.\nFailed!\n"),
                  std::string::npos)
            << refused;
    }
}

}  // namespace

namespace {

TEST_F(Insertion, SmallestPackingIsShorterSharesEqualSheetsAndExtractsBackExactly)
{
    // The US release plain and the Japanese one headered: both layouts, both header states.
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        {
            const bool header = version == RomVersion::Japan;
            const SyntheticRom rom = sampleRom({.version = version, .copierHeader = header, .seed = 6});
            rom.save(dir / "zelda.smc");
            ASSERT_EQ(run({"900", "zelda.smc"}).exitStatus, 0);
            // Two copies of sheet 0x05 and a blank sheet twice.
            writeFile(dir / "GFX30.bin", readFile(dir / "GFX05.bin"));
            writeFile(dir / "GFX40.bin", Bytes(2048, 0));
            writeFile(dir / "GFX41.bin", Bytes(2048, 0));
            std::vector<Bytes> edited;
            for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
                edited.push_back(sheetFile(sheet));
            }

            const RunResult byDefault = run({"101", "87000", "zelda.smc"});
            ASSERT_EQ(byDefault.exitStatus, 0);
            rom.save(dir / "zelda.smc");
            const RunResult smallest = run({"181", "87000", "zelda.smc"});
            ASSERT_EQ(smallest.exitStatus, 0);
            const auto lastAddress = [](const std::string& output) {
                return std::stoul(output.substr(output.rfind("0x") + 2), nullptr, 16);
            };
            EXPECT_LT(lastAddress(smallest.output), lastAddress(byDefault.output));

            const SyntheticRom after{readFile(dir / "zelda.smc"), rom.headerOffset, rom.layout};
            EXPECT_EQ(after.pointerBytes(0x30), after.pointerBytes(0x05));
            EXPECT_EQ(after.pointerBytes(0x41), after.pointerBytes(0x40));
            EXPECT_NE(after.pointerBytes(0x40), after.pointerBytes(0x05));
            ASSERT_EQ(run({"100", "zelda.smc"}).exitStatus, 0);
            for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
                ASSERT_EQ(sheetFile(sheet), edited[sheet]) << sheetName(sheet);
            }

            // A check of it names the saving against the default packing.
            const RunResult check = run({"1C1", "87000", "zelda.smc"});
            EXPECT_EQ(check.exitStatus, 0);
            EXPECT_NE(check.output.find("against the default one"), std::string::npos);
            EXPECT_NE(check.output.find("; 2 sheets share an earlier one's bytes.\n"), std::string::npos);
        }
    }
}

}  // namespace

namespace {

TEST_F(Insertion, RefusalsSayWhichModeWordOrFileWouldHaveWorked)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    // Pictures extracted, then inserted without flag 0x20, and the reverse.
    ASSERT_EQ(run({"120", "zelda.smc"}).exitStatus, 0);
    expectRefused(rom, {"1", "87000", "zelda.smc"},
                  "Recompressing...Couldn't open GFX73.bin\n" + systemSays(ENOENT) + ""
                  "GFX73.png is there: add 20 to the mode word to insert pictures (mode 21).\n"
                  "223 of the 223 sheet files are missing.\nFailed!\n");
    writeSampleSheetFiles(kUsLayout, 1);
    fs::remove(dir / "GFX73.png");
    expectRefused(rom, {"161", "87000", "zelda.smc"},
                  "Checking...Couldn't open GFX73.png\n" + systemSays(ENOENT) + ""
                  "GFX73.bin is there: take 20 off the mode word to insert raw sheet files (mode 141).\nFailed!\n");
    // From the wrong folder: nothing of either kind.
    fs::create_directory(dir / "elsewhere");
    const RunResult elsewhere = runSheetpakBinary({"1", "87000", "../zelda.smc"}, dir / "elsewhere");
    EXPECT_EQ(afterBanner(elsewhere.output),
              "Recompressing...Couldn't open GFX73.bin\n" + systemSays(ENOENT) + "223 of the 223 sheet files are missing.\nFailed!\n");
    // One file missing is named, and no count follows.
    fs::remove(dir / "GFX10.bin");
    fs::remove(dir / "GFX10.png");
    expectRefused(rom, {"1", "87000", "zelda.smc"}, "Recompressing...Couldn't open GFX10.bin\n" + systemSays(ENOENT) + "Failed!\n");

    // A picture given as the combined file without 0x20, raw sheets with it.
    ASSERT_EQ(run({"120", "zelda.smc", "all.png"}).exitStatus, 0);
    char sizeRefusal[128];
    std::snprintf(sizeRefusal, sizeof sizeRefusal,
                  "The sheet file all.png holds 0x%X bytes; for this ROM it must hold exactly 0x76800.\n",
                  static_cast<unsigned>(fs::file_size(dir / "all.png")));
    expectRefused(rom, {"1", "87000", "zelda.smc", "all.png"},
                  std::string("Recompressing...") + sizeRefusal +
                      "all.png is a PNG picture: add 20 to the mode word to insert it (mode 21).\nFailed!\n");
    writeFile(dir / "all.bin", combinedSampleFile(kUsLayout, 1));
    expectRefused(rom, {"21", "87000", "zelda.smc", "all.bin"},
                  "Recompressing...The picture all.bin, GFX 0x00 to 0xDE: the file is not a PNG picture.\n"
                  "all.bin holds raw sheets: take 20 off the mode word to insert it (mode 1).\nFailed!\n");
    // Another file that is no picture gets no such advice.
    writeFile(dir / "other.bin", Bytes(100, 0));
    expectRefused(rom, {"21", "87000", "zelda.smc", "other.bin"},
                  "Recompressing...The picture other.bin, GFX 0x00 to 0xDE: the file is not a PNG picture.\nFailed!\n");
}

TEST_F(Insertion, AStartPastTheEndIsSaidSoAndNoExpansionIsProposed)
{
    const SyntheticRom rom = sampleRom({.copierHeader = true});
    writeSampleSheetFiles(kUsLayout, 1);
    // One zero too many on a 1 MiB ROM.
    expectRefused(rom, {"1", "870000", "zelda.smc"}, startPastEnd(0x870000, 0x100200));
    rom.save(dir / "zelda.smc");
    const RunResult check = run({"41", "870000", "zelda.smc"});
    EXPECT_EQ(check.exitStatus, 1);
    const std::string text = afterBanner(check.output);
    EXPECT_NE(text.find(".\nThe start offset 0x870000 is at or past the end of the ROM, which holds 0x100200 "
                        "bytes.\nFailed!\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("mode 2"), std::string::npos) << text;
    EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes);
}

}  // namespace

namespace {

// A check of a full insertion with the fill names the bytes the fill writes
// and those among them that no sheet holds; the room line gives what the
// sheets leave of the room they are laid in.
TEST_F(Insertion, ACheckShowsWhatTheFillWritesOverAndWhatTheSheetsLeave)
{
    std::uint32_t end = 0;
    SyntheticRom rom = sampleRom({}, &end);
    // The game's free room holds 0xFF: the fill then writes over nothing.
    std::fill(rom.bytes.begin() + end, rom.bytes.begin() + 0xC4000, 0xFF);
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"100", "zelda.smc"}).exitStatus, 0);
    char fill[160];
    std::snprintf(fill, sizeof fill,
                  "The fill writes 0xFF from 0x%06X to 0x0C3FFF; add 10 to the mode word to leave those bytes as "
                  "they are.\nDone!\n",
                  end);
    std::string check = afterBanner(run({"141", "87000", "zelda.smc"}).output);
    EXPECT_NE(check.find(std::string("are left.\n") + fill), std::string::npos) << check;

    // 16 bytes of the user's at 0xB0000, in the room the fill takes.
    const Bytes own = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    rom.put(0xB0000, own);
    rom.save(dir / "zelda.smc");
    check = afterBanner(run({"141", "87000", "zelda.smc"}).output);
    std::string withForeign = fill;
    withForeign.insert(withForeign.find("Done!"), "0x10 of those bytes belong to no sheet, the first at 0x0B0000.\n");
    EXPECT_NE(check.find(withForeign), std::string::npos) << check;
    // Without the fill, no such line; the real run writes what it always has.
    EXPECT_EQ(afterBanner(run({"151", "87000", "zelda.smc"}).output).find("The fill writes"), std::string::npos);
    EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes);
    const RunResult real = run({"101", "87000", "zelda.smc"});
    EXPECT_EQ(afterBanner(real.output), "Recompressing..." + lastAddressLine(end));
    EXPECT_EQ(readFile(dir / "zelda.smc")[0xB0000], 0xFF);

    // With any start, the room ends at the first region no sheet may
    // overwrite: a start below 0xDD's bytes counts up to them.
    rom.save(dir / "zelda.smc");
    check = afterBanner(run({"341", "60000", "zelda.smc"}).output);
    char room[160];
    std::snprintf(room, sizeof room, "The sheets need 0x%X bytes from 0x60000; 0x0 of the 0x10000 bytes up to 0x70000 are left.\n",
                  end - 0x87000);
    EXPECT_NE(check.find(room), std::string::npos) << check;
}

}  // namespace
