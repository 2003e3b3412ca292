// Extraction over sheet files that hold a user's changes, through the real
// binary: refused with nothing written unless 0x800 asks for it; files whose
// changes the game could not keep, or that insertion reads the same, are no
// obstacle.

#include <filesystem>
#include <map>
#include <string>

#include "rom/sheet_catalogue.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

class EditedFiles : public TransferTest {
protected:
    // Every file of the folder and its bytes.
    std::map<std::string, Bytes> snapshot()
    {
        std::map<std::string, Bytes> entries;
        for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) {
            entries[entry.path().filename().string()] = entry.is_regular_file() ? readFile(entry.path()) : Bytes{};
        }
        return entries;
    }

    // Runs `arguments`, expects `expected` after the banner and status 1, and
    // that not one file of the folder changed.
    void expectRefused(const std::vector<std::string>& arguments, const std::string& expected)
    {
        const std::map<std::string, Bytes> before = snapshot();
        const RunResult result = run(arguments);
        EXPECT_EQ(afterBanner(result.output), expected);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_TRUE(snapshot() == before) << arguments[0] << ": something was written";
    }
};

const std::string kAdvice = " of your sheet files: insert them first, move them away, or add 800 to the mode word";

TEST_F(EditedFiles, EditedRawFilesAreNamedAndNothingIsWritten)
{
    const SyntheticRom rom = sampleRom({.copierHeader = true});
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    // Four sheets edited, one file gone: the first three are named in sheet order.
    for (const std::uint32_t sheet : {0xDAu, 0x05u, 0x75u, 0x40u}) {
        Bytes edited = sheetFile(sheet);
        edited[40] ^= 0x01;
        writeFile(dir / sheetName(sheet), edited);
    }
    fs::remove(dir / sheetName(0x10));
    const std::string named = "GFX05.bin differs from sheet 0x05 of the ROM.\n"
                              "GFX40.bin differs from sheet 0x40 of the ROM.\n"
                              "GFX75.bin differs from sheet 0x75 of the ROM.\n"
                              "Extraction would replace changes in 4" +
                              kAdvice;
    expectRefused({"0", "zelda.smc"}, "Decompressing..." + named + " (mode 800) to replace them.\nFailed!\n");
    expectRefused({"140", "zelda.smc"}, "Checking..." + named + " (mode 940) to replace them.\nFailed!\n");

    // With 0x800 every file is the ROM's again, the missing one too.
    const RunResult replaced = run({"800", "zelda.smc"});
    EXPECT_EQ(afterBanner(replaced.output), "Decompressing...Done!\n");
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        ASSERT_EQ(sheetFile(sheet), sampleSheet(sheet, kUsLayout, 1)) << sheetName(sheet);
    }
}

TEST_F(EditedFiles, WhatInsertionWouldStoreTheSameIsNoChange)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    // Colours 8 to 15 in a 3-bit sheet, which insertion drops; a raw sheet's
    // file cut short where it was zero; an empty file.
    Bytes coloured = sheetFile(0x21);
    coloured[17] = 0xFF;
    writeFile(dir / sheetName(0x21), coloured);
    Bytes raw = sheetFile(0x74);
    raw[2047] = 0;
    raw.resize(2047);
    writeFile(dir / sheetName(0x74), raw);
    writeFile(dir / sheetName(0x30), Bytes{});
    const RunResult result = run({"0", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output), "Decompressing...Done!\n");
    EXPECT_EQ(sheetFile(0x21), sampleSheet(0x21, kUsLayout, 1));
    EXPECT_EQ(sheetFile(0x74), sampleSheet(0x74, kUsLayout, 1));
    EXPECT_EQ(sheetFile(0x30), sampleSheet(0x30, kUsLayout, 1));

    // A type-0 sheet keeps every bit: there the same colour is a change.
    Bytes plain = sheetFile(0x71);
    plain[17] ^= 0x80;
    writeFile(dir / sheetName(0x71), plain);
    expectRefused({"0", "zelda.smc"}, "Decompressing...GFX71.bin differs from sheet 0x71 of the ROM.\n"
                                      "Extraction would replace changes in 1" +
                                          kAdvice + " (mode 800) to replace them.\nFailed!\n");
}

TEST_F(EditedFiles, CombinedFilesAndPicturesCompareByWhatInsertionReads)
{
    const SyntheticRom rom = sampleRom({.version = RomVersion::Japan});
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"0", "zelda.smc", "all.bin"}).exitStatus, 0);
    ASSERT_EQ(run({"20", "zelda.smc", "all.png"}).exitStatus, 0);
    ASSERT_EQ(run({"20", "zelda.smc"}).exitStatus, 0);

    // A slot edited, or a file of another length: the combined file is named.
    Bytes combined = readFile(dir / "all.bin");
    combined[combinedFileOffset(0xDD, kJapanLayout) + 5] ^= 0x10;
    writeFile(dir / "all.bin", combined);
    const std::string allBin = "Decompressing...all.bin differs from the ROM's sheets.\nExtraction would replace "
                               "changes in 1" +
                               kAdvice + " (mode 800) to replace them.\nFailed!\n";
    expectRefused({"0", "zelda.smc", "all.bin"}, allBin);
    writeFile(dir / "all.bin", Bytes(1000, 0));
    expectRefused({"0", "zelda.smc", "all.bin"}, allBin);

    // A picture that cannot be read holds changes; so does one drawn on.
    writeFile(dir / "GFX00.png", Bytes(10, 0x42));
    Bytes picture = readFile(dir / "all.png");
    picture.resize(picture.size() / 2);
    writeFile(dir / "all.png", picture);
    expectRefused({"20", "zelda.smc"}, "Decompressing...GFX00.png differs from sheet 0x00 of the ROM.\nExtraction "
                                       "would replace changes in 1" +
                                           kAdvice + " (mode 820) to replace them.\nFailed!\n");
    expectRefused({"20", "zelda.smc", "all.png"},
                  "Decompressing...all.png differs from the ROM's sheets.\nExtraction would replace changes in 1" +
                      kAdvice + " (mode 820) to replace them.\nFailed!\n");

}

TEST_F(EditedFiles, AGameRomAmongTheSheetFilesIsStillRefusedFirst)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    Bytes edited = sheetFile(0x01);
    edited[0] ^= 0xFF;
    writeFile(dir / sheetName(0x01), edited);
    rom.save(dir / "GFX02.bin");
    expectRefused({"800", "zelda.smc"}, "Decompressing...The sheet file GFX02.bin is a ROM of the game; sheets are "
                                        "never written over a ROM.\nFailed!\n");
    expectRefused({"0", "zelda.smc"}, "Decompressing...The sheet file GFX02.bin is a ROM of the game; sheets are "
                                      "never written over a ROM.\nFailed!\n");
}

}  // namespace
