// Mode 0 through the real binary, on generated sample ROMs.

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "codec/bitplane.h"
#include "codec/codec_test_support.h"
#include "codec/reference_decoders.h"
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
            // Each ROM's sheets replace the last one's: 0x800 says so.
            const RunResult result = run({"800", "zelda.smc"});
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
        const RunResult result = run({"800", "zelda.smc", "all.bin"});
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
    EXPECT_EQ(afterBanner(full.output), "Decompressing...Couldn't write GFXDE.bin\n" + systemSays(EFBIG) + "Failed!\n");
    EXPECT_EQ(full.exitStatus, 1);
    const RunResult fullCombined = run({"0", "zelda.smc", "all.bin"}, 0x10000);
    EXPECT_EQ(afterBanner(fullCombined.output), "Decompressing...Couldn't write all.bin\n" + systemSays(EFBIG) + "Failed!\n");
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
        EXPECT_EQ(run({"800", "zelda.smc", "notarom.bin"}).exitStatus, 0);
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

namespace {

// What extraction writes for every pointer-addressed sheet, worked out with
// the byte-by-byte reference decoders, the scratch bytes carried from sheet
// to sheet as the walk carries them: the expected per-sheet files, or an
// empty vector for a sheet that decodes to nothing.
std::vector<Bytes> expectedSheetFiles(const SyntheticRom& rom)
{
    std::vector<Bytes> files(kSheetCount);
    std::uint8_t header = 0, secondHeader = 0, first = 0, second = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheetStorage(sheet) != SheetStorage::Compressed) {
            continue;
        }
        const std::size_t start = std::size_t{rom.headerOffset} + rom.pointer(sheet);
        const Bytes stream(rom.bytes.begin() + static_cast<std::ptrdiff_t>(std::min(start, rom.bytes.size())),
                           rom.bytes.end());
        reference::Reference decoded{stream};
        decoded.output.assign(reference::kBound, 0);
        decoded.header = header;
        decoded.secondHeader = secondHeader;
        decoded.first = first;
        decoded.second = second;
        reference::referenceLz(decoded);
        header = decoded.header;
        secondHeader = decoded.secondHeader;
        first = decoded.first;
        second = decoded.second;
        std::uint32_t length = decoded.length;
        if (sheetCodecType(sheet) == LzSheet3bpp) {
            length = expandTiles3To4(decoded.output.data(), length);
        }
        files[sheet].assign(decoded.output.begin(), decoded.output.begin() + std::min(length, 0x8000u));
    }
    return files;
}

TEST_F(Extraction, StreamsCutOffByTheEndOfTheFileDecodeAsReadByteByByte)
{
    // Each stream lies at the very end of the file, cut off inside a command
    // or at the 0x10000-byte bound; a type-1 sheet (0x01), a type-0 sheet
    // (0x72) and the last compressed sheet (0xDC) point at it.
    Bytes toFFF0;
    for (std::uint32_t left = 0xFFF0; left > 0; left -= std::min(left, 1024u)) {
        const std::uint32_t length = std::min(left, 1024u);
        toFFF0.insert(toFFF0.end(), {static_cast<std::uint8_t>(0xE4 | (length - 1) >> 8),
                                     static_cast<std::uint8_t>(length - 1), 0x3C});
    }
    const struct {
        const char* name;
        Bytes tail;
    } cases[] = {
        {"literal", {0x07, 0x01, 0x02, 0x03}},
        {"byte fill without its byte", {0x22, 0x05, 0x2F}},
        {"word fill with one byte", {0x45, 0x09}},
        {"increasing fill, no end marker", {0x63, 0x10}},
        {"copy without its high byte", {0x01, 0x55, 0x66, 0x83, 0x00}},
        {"extended header alone", {0x02, 0x0A, 0x0B, 0x0C, 0xE4}},
        {"extended copy header cut", {0x00, 0x77, 0xF0}},
        {"literal stopped at the bound", toFFF0 + Bytes{0x1F, 0x01, 0x02}},
        {"word fill stopped at the bound", toFFF0 + Bytes{0x5F, 0x0D, 0x0E}},
        {"copy reaching past the bound", toFFF0 + Bytes{0x9F, 0xF0, 0xFF}},
    };
    const SyntheticRom sample = sampleRom({.copierHeader = true});
    for (const auto& c : cases) {
        SyntheticRom rom = sample;
        const PcOffset at = static_cast<PcOffset>(rom.bytes.size() - rom.headerOffset - c.tail.size());
        rom.put(at, c.tail);
        for (const std::uint32_t sheet : {0x01u, 0x72u, 0xDCu}) {
            rom.setPointer(sheet, at);
        }
        rom.save(dir / "zelda.smc");
        const std::vector<Bytes> expected = expectedSheetFiles(rom);
        const RunResult result = run({"900", "zelda.smc"});
        ASSERT_EQ(result.exitStatus, 0) << c.name << "\n" << result.output;
        for (const std::uint32_t sheet : {0x00u, 0x01u, 0x02u, 0x72u, 0xDBu, 0xDCu}) {
            ASSERT_FALSE(expected[sheet].empty()) << c.name;
            EXPECT_EQ(sheetFile(sheet), expected[sheet]) << c.name << ", " << sheetName(sheet);
        }
        // A sheet decoded past the sheet buffer is cut to it, with a warning.
        for (const std::uint32_t sheet : {0x01u, 0x72u, 0xDCu}) {
            char warning[48];
            std::snprintf(warning, sizeof warning, "Warning, GFX 0x%02X was too large!\n", sheet);
            EXPECT_EQ(result.output.find(warning) != std::string::npos, expected[sheet].size() == 0x8000u)
                << c.name << "\n" << result.output;
        }
    }
}

}  // namespace
