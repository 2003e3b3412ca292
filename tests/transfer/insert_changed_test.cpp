// Flag 0x400 through the real binary: only the changed sheets are written,
// every other byte of the ROM stays, and the check says what the run does.

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "rom/sheet_catalogue.h"
#include "support/test_random.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

struct Extent {
    std::uint32_t start;   // file offset
    std::uint32_t length;  // stream bytes
};

class ChangedSheets : public TransferTest {
protected:
    // Where every sheet's data lies now, from a check-only extraction's table.
    std::map<std::uint32_t, Extent> extents(const std::string& rom)
    {
        const std::string text = run({"40", rom}).output;
        std::map<std::uint32_t, Extent> found;
        for (std::size_t at = text.find('+'); at != std::string::npos; at = text.find('+', at + 1)) {
            if (at >= 9 && text[at - 7] == ' ') {
                const std::uint32_t sheet = static_cast<std::uint32_t>(std::stoul(text.substr(at - 9, 2), nullptr, 16));
                found[sheet] = {static_cast<std::uint32_t>(std::stoul(text.substr(at - 6, 6), nullptr, 16)),
                                static_cast<std::uint32_t>(std::stoul(text.substr(at + 1, 4), nullptr, 16))};
            }
        }
        return found;
    }

    // Re-extracts into a folder of its own and checks every sheet file equals
    // the one the insertion read.
    void expectExtractsAsEdited(const std::string& what)
    {
        const fs::path again = dir / "again";
        fs::create_directories(again);
        ASSERT_EQ(runSheetpakBinary({"800", "../zelda.smc"}, again).exitStatus, 0) << what;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            ASSERT_EQ(readFile(again / sheetName(sheet)), sheetFile(sheet)) << what << ", " << sheetName(sheet);
        }
    }
};

// A sheet drawn anew: random 3-bit pixels compress far worse than the sample's.
Bytes noisySheet(std::uint32_t seed)
{
    Bytes sheet = TestRandom(seed).bytes(2048);
    for (std::size_t at = 17; at < sheet.size(); at += 2) {
        if ((at & 16) != 0) {
            sheet[at] = 0;
        }
    }
    return sheet;
}

TEST_F(ChangedSheets, OnlyWhatChangedIsWrittenAndTheCheckSaysSoFirst)
{
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const bool header : {false, true}) {
            const std::string what = std::string(version == RomVersion::Us ? "US" : "Japanese") +
                                     (header ? ", headered" : ", plain");
            std::uint32_t end = 0;
            const SyntheticRom original = sampleRom({.version = version, .copierHeader = header}, &end);
            original.save(dir / "zelda.smc");
            ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);
            const auto before = extents("zelda.smc");

            // Nothing changed: the file is not even written again.
            const fs::file_time_type stamp = fs::last_write_time(dir / "zelda.smc") - std::chrono::hours(1);
            fs::last_write_time(dir / "zelda.smc", stamp);
            RunResult result = run({"401", "87000", "zelda.smc"});
            EXPECT_EQ(afterBanner(result.output),
                      "Recompressing...0 of 223 sheets changed: 0 written in place, 0 moved.\nDone!\n")
                << what;
            EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes) << what;
            EXPECT_EQ(fs::last_write_time(dir / "zelda.smc"), stamp) << what;

            // One sheet made smaller, one raw sheet edited, 0xDD edited, and one
            // sheet made larger: three in place, one moved to the first free
            // place, which is just past the last sheet.
            Bytes smaller = sheetFile(0x21);
            for (std::size_t at = 0; at < smaller.size(); at += 32) {
                smaller[at] = 0;
                smaller[at + 1] = 0;
            }
            writeFile(dir / sheetName(0x21), smaller);
            Bytes raw = sheetFile(0x75);
            raw[5] ^= 0x10;
            writeFile(dir / sheetName(0x75), raw);
            Bytes fixed = sheetFile(0xDD);
            fixed[100] ^= 0xFF;
            writeFile(dir / sheetName(0xDD), fixed);
            writeFile(dir / sheetName(0x30), noisySheet(30));

            const RunResult check = run({"441", "87000", "zelda.smc"});
            EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes) << what;
            result = run({"401", "87000", "zelda.smc"});
            ASSERT_EQ(result.exitStatus, 0) << what << result.output;
            const SyntheticRom after{readFile(dir / "zelda.smc"), original.headerOffset, original.layout};
            const auto now = extents("zelda.smc");
            const std::uint32_t h = original.headerOffset;
            const std::uint32_t moved = now.at(0x30).length;
            char last[64];
            std::snprintf(last, sizeof last, "0x%06X\n", end + moved - 1);
            EXPECT_EQ(afterBanner(result.output), "Recompressing...4 of 223 sheets changed: 3 written in place, 1 "
                                                  "moved.\nDone!\nLast address written to: " +
                                                      std::string(last))
                << what;
            // The check listed the same places, the in-place ones marked, and
            // the same figures.
            const std::string listed = afterBanner(check.output);
            for (const std::uint32_t sheet : {0x75u, 0x21u, 0x30u, 0xDDu}) {
                char span[32];
                std::snprintf(span, sizeof span, "%02X %06X+%04X%s", sheet, now.at(sheet).start,
                              sheet == 0x30 ? moved : (sheet == 0x21 ? now.at(0x21).length : before.at(sheet).length),
                              sheet == 0x30 ? "" : "*");
                EXPECT_NE(listed.find(span), std::string::npos) << what << "\n" << span << "\n" << listed;
            }
            EXPECT_NE(listed.find("4 of 223 sheets changed: 3 written in place, 1 moved.\nDone!\nLast address to be "
                                  "written: " +
                                  std::string(last)),
                      std::string::npos)
                << listed;

            EXPECT_EQ(now.at(0x30).start, end) << what;
            EXPECT_EQ(after.pointer(0x30), end - h) << what;
            EXPECT_LT(now.at(0x21).length, before.at(0x21).length) << what;
            // Every byte outside the changed extents and the moved sheet's
            // pointer is as it was; what the changed sheets left is 0xFF.
            Bytes expected = original.bytes;
            for (const std::uint32_t sheet : {0x21u, 0x30u}) {
                std::fill_n(expected.begin() + before.at(sheet).start, before.at(sheet).length, 0xFF);
            }
            for (const std::uint32_t sheet : {0x21u, 0x75u, 0xDDu}) {
                const Extent& extent = now.at(sheet);
                std::copy_n(after.bytes.begin() + extent.start, extent.length, expected.begin() + extent.start);
            }
            std::copy_n(after.bytes.begin() + end, moved, expected.begin() + end);
            SyntheticRom pointed{expected, original.headerOffset, original.layout};
            pointed.setPointer(0x30, end - h);
            EXPECT_EQ(firstDifference(after.bytes, pointed.bytes), -1) << what;
            expectExtractsAsEdited(what);
        }
    }
}

TEST_F(ChangedSheets, ASheetSharingItsStreamMovesAndTheOtherKeepsIt)
{
    // After a smallest-packing insertion, equal sheets share one stream.
    const SyntheticRom original = sampleRom({.copierHeader = true});
    original.save(dir / "zelda.smc");
    ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);
    writeFile(dir / sheetName(0x41), sheetFile(0x40));
    ASSERT_EQ(run({"181", "87000", "zelda.smc"}).exitStatus, 0);
    const SyntheticRom shared{readFile(dir / "zelda.smc"), original.headerOffset, original.layout};
    ASSERT_EQ(shared.pointer(0x40), shared.pointer(0x41));

    // 0x41 changes, and its old bytes are 0x40's too: it must move.
    Bytes edited = sheetFile(0x41);
    edited[64] ^= 0x01;
    writeFile(dir / sheetName(0x41), edited);
    const RunResult result = run({"401", "87000", "zelda.smc"});
    EXPECT_NE(result.output.find("1 of 223 sheets changed: 0 written in place, 1 moved.\n"), std::string::npos)
        << result.output;
    const SyntheticRom after{readFile(dir / "zelda.smc"), original.headerOffset, original.layout};
    EXPECT_EQ(after.pointer(0x40), shared.pointer(0x40));
    EXPECT_NE(after.pointer(0x41), shared.pointer(0x41));
    expectExtractsAsEdited("shared stream");
}

TEST_F(ChangedSheets, NoRoomLeavesTheRomAsItWas)
{
    // 0x100 bytes of expansion area: too few for the sheet.
    const SyntheticRom original = sampleRom({.imageSize = 0x100100});
    original.save(dir / "zelda.smc");
    ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);
    writeFile(dir / sheetName(0x30), noisySheet(31));
    const RunResult result = run({"401", "100000", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output),
              "Recompressing...Aborted in mid-operation: Not enough room.\nYou must expand the ROM and reinsert.\n"
              "1 of 223 sheets changed: 0 written in place, 1 moved.\n"
              "Mode 441 checks the insertion and shows how much room the sheets need, without writing.\nFailed!\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes);
    const RunResult check = run({"441", "100000", "zelda.smc"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.output.find("1 of 223 sheets changed: 0 written in place, 1 moved.\nFailed!\n"), std::string::npos)
        << check.output;
    // Expanded, the same sheet goes to the start of the new room.
    ASSERT_EQ(run({"102", "zelda.smc"}).exitStatus, 0);
    const RunResult expanded = run({"401", "100000", "zelda.smc"});
    ASSERT_EQ(expanded.exitStatus, 0) << expanded.output;
    const SyntheticRom after{readFile(dir / "zelda.smc"), 0, original.layout};
    EXPECT_EQ(after.pointer(0x30), 0x100000u);
    expectExtractsAsEdited("after expansion");
}

TEST_F(ChangedSheets, AFixedSheetWrittenOverAKeptSheetsStreamNeverLosesIt)
{
    // 0x30's stream lies inside 0xDD's bytes: a copy of 0x21's.
    SyntheticRom original = sampleRom({});
    original.save(dir / "zelda.smc");
    const Extent source = extents("zelda.smc").at(0x21);
    constexpr PcOffset kInsideDD = 0x70400;
    original.put(kInsideDD, original.get(source.start, source.length));
    original.setPointer(0x30, kInsideDD);
    original.save(dir / "zelda.smc");
    ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);
    ASSERT_EQ(sheetFile(0x30), sheetFile(0x21));

    // 0xDD changes where 0x30's stream lies; 0x30 does not change, so the
    // run, and its check alike, refuse to write over it.
    Bytes fixed = sheetFile(0xDD);
    fixed[0x410] ^= 0x77;
    writeFile(dir / sheetName(0xDD), fixed);
    const std::string refusal =
        "GFX 0x30 did not change, but its stream lies in bytes this run writes for other sheets, from 0x70400.\n";
    const std::string summary = "1 of 223 sheets changed: 1 written in place, 0 moved.\n";
    const RunResult result = run({"401", "87000", "zelda.smc"});
    EXPECT_EQ(afterBanner(result.output),
              "Recompressing..." + refusal + summary +
                  "An insertion of every sheet lays them all out anew: take 400 off the mode word (mode 1).\nFailed!\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(readFile(dir / "zelda.smc"), original.bytes);
    const RunResult check = run({"441", "87000", "zelda.smc"});
    EXPECT_EQ(check.exitStatus, 1);
    EXPECT_NE(check.output.find(refusal), std::string::npos) << check.output;
    EXPECT_NE(check.output.find(summary + "An insertion of every sheet lays them all out anew: take 400 off the mode "
                                          "word (mode 41).\nFailed!\n"),
              std::string::npos)
        << check.output;

    // Every sheet laid out anew keeps both.
    ASSERT_EQ(run({"1", "87000", "zelda.smc"}).exitStatus, 0);
    expectExtractsAsEdited("0xDD over 0x30's stream, all sheets inserted");
}

TEST_F(ChangedSheets, AStreamAcrossTheProtectedBoundaryIsNeitherReusedNorFilled)
{
    // 0x30's stream, a copy of 0x21's, starts 0x80 bytes below the boundary.
    SyntheticRom original = sampleRom({});
    original.save(dir / "zelda.smc");
    const Extent source = extents("zelda.smc").at(0x21);
    const PcOffset across = original.layout->protectedBoundary - 0x80;
    original.put(across, original.get(source.start, source.length));
    original.setPointer(0x30, across);
    original.save(dir / "zelda.smc");
    ASSERT_EQ(run({"800", "zelda.smc"}).exitStatus, 0);

    // A far smaller 0x30 would fit, yet moves; not one byte there changes.
    writeFile(dir / sheetName(0x30), Bytes(2048, 0));
    const RunResult result = run({"401", "87000", "zelda.smc"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find("1 of 223 sheets changed: 0 written in place, 1 moved.\n"), std::string::npos)
        << result.output;
    const SyntheticRom after{readFile(dir / "zelda.smc"), 0, original.layout};
    EXPECT_NE(after.pointer(0x30), across);
    EXPECT_EQ(after.get(across, source.length), original.get(across, source.length));
    expectExtractsAsEdited("a stream across the protected boundary");
}

}  // namespace
