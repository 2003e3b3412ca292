// Mode 0 through the real binary, on generated sample ROMs.

#include <filesystem>

#include "rom/sheet_catalogue.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

class Extraction : public TransferTest {};

TEST_F(Extraction, PerSheetFilesOfBothReleasesWithAndWithoutHeader)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const bool header : {false, true}) {
            const SyntheticRom rom = sampleRom({.version = version, .copierHeader = header, .seed = 7});
            rom.save(dir / "zelda.smc");
            const RunResult result = run({"0", "zelda.smc"});
            EXPECT_EQ(afterBanner(result.output), "Decompressing...Done!\n");
            EXPECT_EQ(result.exitStatus, 0);
            for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
                const Bytes expected = sampleSheet(sheet, *rom.layout, 7);
                const Bytes actual = sheetFile(sheet);
                ASSERT_EQ(actual.size(), expected.size()) << sheetName(sheet);
                ASSERT_EQ(firstDifference(actual, expected), -1) << sheetName(sheet);
            }
            EXPECT_EQ(fs::file_size(dir / "GFXDD.bin"), version == RomVersion::Us ? 4096u : 14400u);
            EXPECT_EQ(fs::file_size(dir / "GFXDE.bin"), 28672u);
            EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes);
        }
    }
}

TEST_F(Extraction, CombinedFileHasOneSlotPerSheetAtTheReleasesOffsets)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        const SyntheticRom rom = sampleRom({.version = version, .copierHeader = true});
        rom.save(dir / "zelda.smc");
        const RunResult result = run({"0", "zelda.smc", "all.bin"});
        EXPECT_EQ(afterBanner(result.output), "Decompressing...Done!\n");
        const Bytes combined = readFile(dir / "all.bin");
        EXPECT_EQ(combined.size(), version == RomVersion::Us ? 0x76800u : 0x79040u);
        EXPECT_EQ(firstDifference(combined, combinedSampleFile(*rom.layout, 1)), -1);
        EXPECT_FALSE(fs::exists(dir / "GFX00.bin"));
    }
}

TEST_F(Extraction, FixedSheetsComeFromTheirOffsetsWhateverTheirPointersSay)
{
    SyntheticRom rom = sampleRom({});
    rom.setPointer(0xDD, 0x12345);
    rom.setPointer(0xDE, 0xF0000);
    rom.save(dir / "zelda.smc");
    EXPECT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    EXPECT_EQ(sheetFile(0xDD), rom.get(0x70000, 4096));
    EXPECT_EQ(sheetFile(0xDE), rom.get(0x80000, 28672));
}

TEST_F(Extraction, StreamThatDecodesToNothingEndsTheRunAtThatSheet)
{
    SyntheticRom rom = sampleRom({});
    rom.put(0xF0000, {0xFF});
    rom.setPointer(0x05, 0xF0000);
    rom.save(dir / "zelda.smc");
    const RunResult perSheet = run({"100", "zelda.smc"});
    EXPECT_EQ(afterBanner(perSheet.output), "Decompressing...Error decompressing GFX 0x05\nFailed!\n");
    EXPECT_EQ(perSheet.exitStatus, 1);
    // Every sheet is decoded before any file is written: none is.
    EXPECT_FALSE(fs::exists(dir / "GFX04.bin"));
    EXPECT_FALSE(fs::exists(dir / "GFX05.bin"));

    // The combined file is written whole or not at all: a failed walk leaves
    // none where there was none, and an earlier one as it was.
    const RunResult combined = run({"0", "zelda.smc", "all.bin"});
    EXPECT_EQ(afterBanner(combined.output), "Decompressing...Error decompressing GFX 0x05\nFailed!\n");
    EXPECT_FALSE(fs::exists(dir / "all.bin"));
    const Bytes earlier(1000, 0x5A);
    writeFile(dir / "all.bin", earlier);
    EXPECT_EQ(run({"0", "zelda.smc", "all.bin"}).exitStatus, 1);
    EXPECT_EQ(readFile(dir / "all.bin"), earlier);
}

TEST_F(Extraction, SheetDecodingPastTheSheetBufferIsCutWithAWarning)
{
    // 40 byte fills of 1024 bytes: 0xA000 bytes for plain sheet 0x71.
    SyntheticRom rom = sampleRom({});
    Bytes stream;
    for (int i = 0; i < 40; ++i) {
        stream.insert(stream.end(), {0xE7, 0xFF, static_cast<std::uint8_t>(i)});
    }
    stream.push_back(0xFF);
    rom.put(0xF0000, stream);
    rom.setPointer(0x71, 0xF0000);
    rom.save(dir / "zelda.smc");
    const RunResult result = run({"0", "zelda.smc", "all.bin"});
    EXPECT_EQ(afterBanner(result.output), "Decompressing...Warning, GFX 0x71 was too large!\nDone!\n");
    // The slot holds the first 2048 of those bytes.
    EXPECT_EQ(readFile(dir / "all.bin").at(0x71 * 2048 + 2047), 1);

    run({"0", "zelda.smc"});
    const Bytes file = sheetFile(0x71);
    ASSERT_EQ(file.size(), 0x8000u);
    EXPECT_EQ(file[0x7FFF], 31);
}

TEST_F(Extraction, FilesThatCannotBeCreatedOrWrittenFailTheRun)
{
    sampleRom({}).save(dir / "zelda.smc");
    fs::create_directory(dir / "folder");
    EXPECT_EQ(afterBanner(run({"0", "zelda.smc", "folder"}).output), "Decompressing...Couldn't open folder\nFailed!\n");
    fs::create_directory(dir / "GFX10.bin");
    const RunResult blocked = run({"0", "zelda.smc"});
    EXPECT_EQ(afterBanner(blocked.output), "Decompressing...Couldn't open GFX10.bin\nFailed!\n");
    EXPECT_EQ(blocked.exitStatus, 1);
    fs::remove(dir / "GFX10.bin");

    if (!canLimitFileSize()) {
        GTEST_SKIP() << "no way to make writes fail on this platform";
    }
    // As on a full disk: every GFX file fits under 0x1000 bytes but GFXDE.bin.
    const RunResult full = run({"0", "zelda.smc"}, 0x1000);
    EXPECT_EQ(afterBanner(full.output), "Decompressing...Couldn't write GFXDE.bin\nFailed!\n");
    EXPECT_EQ(full.exitStatus, 1);
    const RunResult fullCombined = run({"0", "zelda.smc", "all.bin"}, 0x10000);
    EXPECT_EQ(afterBanner(fullCombined.output), "Decompressing...Couldn't write all.bin\nFailed!\n");
    EXPECT_EQ(fullCombined.exitStatus, 1);
}

}  // namespace

namespace {

TEST_F(Extraction, NeverWritesSheetsOverAGameRom)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        const SyntheticRom rom = sampleRom({.version = version});
        rom.save(dir / "zelda.smc");
        // Any release, header or not, expanded or not: the title and size decide.
        const SyntheticRom other = sampleRom({.version = version == RomVersion::Us ? RomVersion::Japan : RomVersion::Us,
                                              .copierHeader = true, .imageSize = 0x200000});
        other.save(dir / "hack.smc");
        const RunResult result = run({"0", "zelda.smc", "hack.smc"});
        EXPECT_EQ(afterBanner(result.output), "Decompressing...The sheet file hack.smc is a ROM of the game; sheets "
                                              "are never written over a ROM.\nFailed!\n");
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(readFile(dir / "hack.smc"), other.bytes);
        // A file of that size but another title is the user's to replace.
        writeFile(dir / "notarom.bin", Bytes(0x100000, 0));
        EXPECT_EQ(run({"0", "zelda.smc", "notarom.bin"}).exitStatus, 0);
    }
}

TEST_F(Extraction, ACheckOnlyRunShowsWhereEverySheetLiesAndWritesNothing)
{
    std::uint32_t end = 0;
    const SyntheticRom rom = sampleRom({.copierHeader = true}, &end);
    rom.save(dir / "zelda.smc");
    const RunResult result = run({"40", "zelda.smc", "all.bin"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_FALSE(fs::exists(dir / "all.bin"));
    EXPECT_FALSE(fs::exists(dir / "GFX00.bin"));
    const std::string text = afterBanner(result.output);
    // Raw sheets take 1536 bytes at their pointers; the compressed sheets as
    // many bytes as the decoder read, end marker included, back to back.
    EXPECT_EQ(text.rfind("Checking...\nSheet at file offset + bytes:\n00 ", 0), 0u) << text;
    EXPECT_NE(text.find("73 087200+0600"), std::string::npos);
    EXPECT_NE(text.find("DD 070200+1000   DE 080200+7000\n"), std::string::npos);
    char span[160];
    std::snprintf(span, sizeof span,
                  "The sheets use the bytes from 0x70200 to 0x%X; without 0xDD and 0xDE, from 0x87200 to 0x%X.\nDone!\n",
                  end - 1, end - 1);
    EXPECT_NE(text.find(span), std::string::npos) << text;
    // Where the real run could not write, neither does the check pass.
    fs::create_directory(dir / "folder");
    EXPECT_EQ(afterBanner(run({"40", "zelda.smc", "folder"}).output), "Checking...Couldn't open folder\nFailed!\n");
    fs::create_directory(dir / "GFX07.png");
    EXPECT_EQ(afterBanner(run({"60", "zelda.smc"}).output), "Checking...Couldn't open GFX07.png\nFailed!\n");
    // The lengths add up to the laid area: the sheets lie back to back.
    std::uint32_t total = 0;
    for (std::size_t at = text.find('+', text.find(":\n")); at != std::string::npos; at = text.find('+', at + 1)) {
        total += static_cast<std::uint32_t>(std::stoul(text.substr(at + 1, 4), nullptr, 16));
    }
    EXPECT_EQ(total, end - 0x87200 + 0x1000 + 0x7000);
}

}  // namespace
