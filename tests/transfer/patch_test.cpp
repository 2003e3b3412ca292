// Patches instead of a changed ROM, through the real binary: every patch is
// applied by an applier nobody here wrote (the npm bps tool) or by the tests'
// own, written from the format's description, and must give exactly the ROM
// that the same run without the patch option writes; the ROM itself is never
// touched.

#include <chrono>
#include <filesystem>
#include <string>

#include "rom/sheet_catalogue.h"
#include "support/bps_tool.h"
#include "support/patch_apply.h"
#include "transfer_fixture.h"

namespace fs = std::filesystem;

namespace {

class Patches : public TransferTest {
protected:
    void SetUp() override { bpsTool = findBpsTool(); }
    BpsToolState bpsTool = BpsToolState::Missing;

    // Runs `arguments` with `--patch NAME` added (or the mode word given
    // with 0x1000, whose patch is zelda.bps) on `rom` saved as zelda.smc, and
    // the same run without it on a copy; the patch must turn the ROM into
    // exactly what the run without it wrote, and the ROM must stay as it
    // was, date included. Returns the patch's size.
    std::size_t expectPatchOf(const SyntheticRom& rom, std::vector<std::string> arguments, const std::string& patch,
                              const std::string& what)
    {
        rom.save(dir / "zelda.smc");
        const auto stamp = fs::last_write_time(dir / "zelda.smc") - std::chrono::hours(2);
        fs::last_write_time(dir / "zelda.smc", stamp);
        const bool modeWord = arguments[0] != "insert" && arguments[0] != "expand";
        std::vector<std::string> withPatch = arguments;
        if (modeWord) {
            withPatch[0] = hexOf(std::stoul(arguments[0], nullptr, 16) | 0x1000);
        } else {
            withPatch.insert(withPatch.end(), {"--patch", patch});
        }
        const RunResult patched = run(withPatch);
        EXPECT_EQ(patched.exitStatus, 0) << what << ": " << patched.output << patched.errors;
        EXPECT_EQ(readFile(dir / "zelda.smc"), rom.bytes) << what;
        EXPECT_EQ(fs::last_write_time(dir / "zelda.smc"), stamp) << what;
        const Bytes bytes = readFile(dir / patch);
        EXPECT_NE((patched.output + patched.errors).find("Patch written: " + patch + " (" +
                                                         std::to_string(bytes.size()) + " bytes); zelda.smc is unchanged.\n"),
                  std::string::npos)
            << what << ": " << patched.output;

        // The real run, on a copy.
        const RunResult real = run(arguments);
        EXPECT_EQ(real.exitStatus, 0) << what;
        const Bytes expected = readFile(dir / "zelda.smc");
        EXPECT_NE(expected, rom.bytes) << what;

        const bool bps = patch.size() > 4 && patch.substr(patch.size() - 4) == ".bps";
        const AppliedPatch applied = bps ? applyBpsPatch(bytes, rom.bytes) : applyIpsPatch(bytes, rom.bytes);
        EXPECT_TRUE(applied.ok) << what << ": " << applied.fault;
        EXPECT_EQ(firstDifference(applied.target, expected), -1) << what;
        if (bps && bpsTool == BpsToolState::Available) {
            rom.save(dir / "source.smc");
            const std::string said = runBpsApply(dir / patch, dir / "source.smc", dir / "applied.smc");
            EXPECT_NE(said.find(kBpsApplied), std::string::npos) << what << ": " << said;
            EXPECT_EQ(firstDifference(readFile(dir / "applied.smc"), expected), -1) << what;
        }
        fs::remove(dir / patch);
        return bytes.size();
    }

    static std::string hexOf(unsigned long value)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%lX", value);
        return text;
    }
};

TEST_F(Patches, EveryPatchGivesExactlyTheRomTheRunWouldWrite)
{
    if (bpsTool == BpsToolState::Required) {
        FAIL() << "SHEETPAK_REQUIRE_BPS is 1 but no bps command is found (npm install -g bps)";
    }
    for (const RomVersion version : {RomVersion::Us, RomVersion::Japan}) {
        for (const bool header : {false, true}) {
            const std::string what = std::string(version == RomVersion::Us ? "US" : "Japanese") +
                                     (header ? ", headered" : ", plain");
            std::uint32_t end = 0;
            const SyntheticRom rom = sampleRom({.version = version, .copierHeader = header}, &end);
            rom.save(dir / "zelda.smc");
            ASSERT_EQ(run({"900", "zelda.smc"}).exitStatus, 0);
            // One sheet changed, moved past the last one: at most its stream,
            // its pointer and 64 bytes.
            Bytes noisy(2048);
            for (std::size_t k = 0; k < noisy.size(); ++k) {
                noisy[k] = static_cast<std::uint8_t>((k * 37 + k / 5) & 0xFF);
            }
            writeFile(dir / "GFX30.bin", noisy);
            const RunResult check = run({"441", "87000", "zelda.smc"});
            const std::string span = check.output.substr(check.output.find("\n30 ") + 11, 4);
            const std::size_t stream = std::stoul(span, nullptr, 16);
            EXPECT_LE(expectPatchOf(rom, {"insert", "zelda.smc", "--raw"}, "one.bps", what + ": one sheet"),
                      stream + 3 + 64)
                << what;
            expectPatchOf(rom, {"401", "87000", "zelda.smc"}, "zelda.bps", what + ": mode word 0x1000");
            // Every case on two of the four: the US plain and the Japanese headered.
            if (header != (version == RomVersion::Japan)) {
                EXPECT_LT(expectPatchOf(rom, {"2", "zelda.smc"}, "zelda.bps", what + ": 2M"), 100u) << what;
                continue;
            }
            // Several: one in place, one moved, one raw sheet, 0xDD.
            Bytes smaller = sampleSheet(0x21, *rom.layout, 1);
            std::fill(smaller.begin(), smaller.begin() + 512, 0);
            writeFile(dir / "GFX21.bin", smaller);
            Bytes raw = sampleSheet(0x75, *rom.layout, 1);
            raw[5] ^= 0x10;
            writeFile(dir / "GFX75.bin", raw);
            Bytes fixed = sampleSheet(0xDD, *rom.layout, 1);
            fixed[9] ^= 0xFF;
            writeFile(dir / "GFXDD.bin", fixed);
            expectPatchOf(rom, {"insert", "zelda.smc", "--raw"}, "several.ips", what + ": several, IPS");
            expectPatchOf(rom, {"insert", "zelda.smc", "--raw", "--at", "90000"}, "several.bps", what + ": --at");
            // Every sheet laid out anew: at most the streams and 2 KB.
            const std::size_t full = expectPatchOf(rom, {"insert", "zelda.smc", "--raw", "--all"}, "all.bps",
                                                   what + ": every sheet");
            EXPECT_LE(full, end - rom.headerOffset - 0x87000 + 2048) << what;
            expectPatchOf(rom, {"insert", "zelda.smc", "--raw", "--all", "--no-fill"}, "all.ips", what + ": no fill");
            expectPatchOf(rom, {"181", "87000", "zelda.smc"}, "zelda.bps", what + ": smallest");
            // Expansion: a few bytes.
            EXPECT_LT(expectPatchOf(rom, {"expand", "zelda.smc", "2M"}, "two.bps", what + ": 2M"), 100u) << what;
            expectPatchOf(rom, {"3", "zelda.smc"}, "zelda.bps", what + ": 3M");
            expectPatchOf(rom, {"expand", "zelda.smc", "3M"}, "three.ips", what + ": 3M, IPS");
        }
    }
}

TEST_F(Patches, AChecksSizeIsThePatchsAndNothingOrAFailureWritesNone)
{
    const SyntheticRom rom = sampleRom({});
    rom.save(dir / "zelda.smc");
    ASSERT_EQ(run({"0", "zelda.smc"}).exitStatus, 0);
    Bytes edited = sampleSheet(0x44, kUsLayout, 1);
    edited[100] ^= 0x08;
    writeFile(dir / "GFX44.bin", edited);
    // The check names the size the patch then has; it writes nothing.
    for (const char* patch : {"out.bps", "out.ips"}) {
        const RunResult check = run({"insert", "zelda.smc", "--raw", "-n", "--patch", patch});
        EXPECT_EQ(check.exitStatus, 0) << check.errors;
        EXPECT_FALSE(fs::exists(dir / patch));
        const std::size_t at = check.output.find("The patch would hold ");
        ASSERT_NE(at, std::string::npos) << check.output;
        const std::size_t promised = std::stoul(check.output.substr(at + 21));
        ASSERT_EQ(run({"insert", "zelda.smc", "--raw", "--patch", patch}).exitStatus, 0);
        EXPECT_EQ(fs::file_size(dir / patch), promised) << patch;
    }
    // An existing patch of that name is replaced whole.
    writeFile(dir / "out.bps", Bytes(5, 1));
    ASSERT_EQ(run({"insert", "zelda.smc", "--raw", "--patch", "out.bps"}).exitStatus, 0);
    EXPECT_TRUE(applyBpsPatch(readFile(dir / "out.bps"), rom.bytes).ok);

    // Nothing changed: no patch.
    writeFile(dir / "GFX44.bin", sampleSheet(0x44, kUsLayout, 1));
    fs::remove(dir / "out.bps");
    RunResult none = run({"insert", "zelda.smc", "--raw", "--patch", "out.bps"});
    EXPECT_EQ(none.exitStatus, 0);
    EXPECT_NE(none.output.find("No sheet changed, so no patch was written.\n"), std::string::npos) << none.output;
    EXPECT_FALSE(fs::exists(dir / "out.bps"));
    none = run({"1401", "87000", "zelda.smc"});
    EXPECT_EQ(afterBanner(none.output), "Recompressing...0 of 223 sheets changed: 0 written in place, 0 moved.\n"
                                        "No sheet changed, so no patch was written.\nDone!\n");
    EXPECT_FALSE(fs::exists(dir / "zelda.bps"));

    // A run that fails writes no patch.
    RunResult failed = run({"1001", "C3000", "zelda.smc"});
    EXPECT_EQ(failed.exitStatus, 1);
    EXPECT_FALSE(fs::exists(dir / "zelda.bps"));
    failed = run({"expand", "zelda.smc", "2M", "--patch", "z.bps"});
    EXPECT_EQ(failed.exitStatus, 0);
    rom.save(dir / "big.smc");
    ASSERT_EQ(run({"3", "big.smc"}).exitStatus, 0);
    failed = run({"expand", "big.smc", "2M", "--patch", "big.ips"});
    EXPECT_EQ(failed.exitStatus, 1);
    EXPECT_FALSE(fs::exists(dir / "big.ips"));

    // The patch is never the ROM.
    rom.save(dir / "rom.bps");
    const RunResult same = run({"insert", "rom.bps", "--raw", "--patch", "rom.bps"});
    EXPECT_EQ(same.exitStatus, 1);
    EXPECT_EQ(same.errors, "File names are identical...bad idea!\n");
    EXPECT_EQ(afterBanner(run({"1002", "rom.bps"}).output), "File names are identical...bad idea!\n");
    EXPECT_EQ(readFile(dir / "rom.bps"), rom.bytes);
    EXPECT_EQ(run({"insert", "zelda.smc", "--patch", "zelda.txt"}).exitStatus, 2);
}

}  // namespace
