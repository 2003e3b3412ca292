// The command form of the command line through the real binary: each command
// against the mode-word run it stands for, compared byte for byte (ROM, sheet
// files, exit status); its errors of use; its output streams; info.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <filesystem>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "rom/sheet_catalogue.h"
#include "sample_rom.h"
#include "sheetfile/png_sheet_file.h"
#include "support/rom_fixture.h"
#include "support/run_binary.h"

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, Bytes>;

// Every file under `folder` (subfolders included) with its bytes.
Files snapshot(const fs::path& folder)
{
    Files files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), folder).generic_string()] = readFile(entry.path());
        }
    }
    return files;
}

// The files of `files` in `subfolder`, named without it.
Files within(const Files& files, const std::string& subfolder)
{
    Files inside;
    for (const auto& [name, bytes] : files) {
        if (name.rfind(subfolder + "/", 0) == 0) {
            inside[name.substr(subfolder.size() + 1)] = bytes;
        }
    }
    return inside;
}

std::string sheetName(std::uint32_t sheet, bool picture)
{
    char name[16];
    std::snprintf(name, sizeof name, picture ? "GFX%02X.png" : "GFX%02X.bin", static_cast<unsigned>(sheet));
    return name;
}

// Sheet `sheet` of the sample ROM with one byte of tile 2 changed, as a picture.
Bytes editedPicture(std::uint32_t sheet, const RomLayout& layout)
{
    Bytes bytes = sampleSheet(sheet, layout, 1);
    bytes[64 + 3] ^= 0x21;
    const PictureSheet place{sheet, bytes.data(), static_cast<std::uint32_t>(bytes.size()), false};
    EncodedPicture picture;
    EXPECT_TRUE(encodeSheetPicture("edited.png", &place, 1, picture));
    return Bytes(picture.bytes, picture.bytes + picture.length);
}

struct Variant {
    RomVersion version;
    bool header;
    const char* name;
};
constexpr Variant kVariants[] = {{RomVersion::Us, false, "US, plain"},
                                 {RomVersion::Us, true, "US, headered"},
                                 {RomVersion::Japan, false, "Japanese, plain"},
                                 {RomVersion::Japan, true, "Japanese, headered"}};

class Commands : public ::testing::Test {
protected:
    TempDir commands;  // the folder of the command form's runs
    TempDir modeWord;  // the folder of the mode word's runs

    const RomLayout& layout(const Variant& variant) const
    {
        return variant.version == RomVersion::Us ? kUsLayout : kJapanLayout;
    }

    // The sample ROM of `variant` as zelda.smc in both folders.
    void saveRom(const Variant& variant, std::uint32_t imageSize = 0x100000)
    {
        Bytes rom;
        ASSERT_NE(buildSampleRom({variant.version, variant.header, imageSize, 1}, rom), 0u);
        writeFile(commands / "zelda.smc", rom);
        writeFile(modeWord / "zelda.smc", rom);
    }

    void emptyBoth()
    {
        for (const TempDir* folder : {&commands, &modeWord}) {
            for (const fs::directory_entry& entry : fs::directory_iterator(folder->path())) {
                fs::remove_all(entry.path());
            }
        }
    }

    // The same mode-word run in both folders, which must succeed.
    void extractInBoth(const std::vector<std::string>& arguments)
    {
        ASSERT_EQ(runSheetpakBinary(arguments, commands.path()).exitStatus, 0);
        ASSERT_EQ(runSheetpakBinary(arguments, modeWord.path()).exitStatus, 0);
    }

    // Sheet `sheet` of the ROM in the mode word's folder, as extraction writes its picture.
    Bytes extractedPicture(std::uint32_t sheet)
    {
        TempDir scratch;
        fs::copy_file(modeWord / "zelda.smc", scratch / "zelda.smc");
        EXPECT_EQ(runSheetpakBinary({"20", "zelda.smc"}, scratch.path()).exitStatus, 0);
        return readFile(scratch / sheetName(sheet, true));
    }

    // Runs both, the mode word's after `prepare` changed its folder, and
    // expects the same exit status and the same ROM.
    template <typename Prepare>
    void expectSameRom(const std::vector<std::string>& viaCommands, const std::vector<std::string>& viaModeWord,
                       const std::string& what, Prepare prepare)
    {
        Bytes rom = readFile(commands / "zelda.smc");
        writeFile(modeWord / "zelda.smc", rom);
        const RunResult one = runSheetpakBinary(viaCommands, commands.path());
        prepare();
        const RunResult other = runSheetpakBinary(viaModeWord, modeWord.path());
        EXPECT_EQ(one.exitStatus, other.exitStatus) << what << "\n" << one.errors << other.output;
        EXPECT_EQ(firstDifference(readFile(commands / "zelda.smc"), readFile(modeWord / "zelda.smc")), -1) << what;
    }

    void putInBoth(const std::string& name, const Bytes& bytes)
    {
        writeFile(commands / name, bytes);
        writeFile(modeWord / name, bytes);
    }

    // Runs both, and expects the same exit status; then each folder's files,
    // the first in `commandsFolder`, the second at its top.
    void expectSame(const std::vector<std::string>& viaCommands, const std::vector<std::string>& viaModeWord,
                    const std::string& what, const std::string& commandsFolder = "")
    {
        const RunResult one = runSheetpakBinary(viaCommands, commands.path());
        const RunResult other = runSheetpakBinary(viaModeWord, modeWord.path());
        EXPECT_EQ(one.exitStatus, other.exitStatus) << what << "\n" << one.output << one.errors << other.output;
        Files oneFiles = snapshot(commands.path());
        if (!commandsFolder.empty()) {
            Files inside = within(oneFiles, commandsFolder);
            inside["zelda.smc"] = oneFiles["zelda.smc"];
            oneFiles = inside;
        }
        const Files otherFiles = snapshot(modeWord.path());
        EXPECT_TRUE(oneFiles == otherFiles) << what << ": " << oneFiles.size() << " files against "
                                            << otherFiles.size();
        for (const auto& [name, bytes] : otherFiles) {
            EXPECT_TRUE(oneFiles.count(name) == 1 && oneFiles[name] == bytes) << what << ": " << name;
        }
    }
};

TEST_F(Commands, ExtractionWritesWhatItsModeWordWrites)
{
    for (const Variant& variant : kVariants) {
        saveRom(variant);
        const std::string what = variant.name;
        expectSame({"extract", "zelda.smc"}, {"20", "zelda.smc"}, what + ": pictures");
        expectSame({"extract", "zelda.smc", "--raw"}, {"0", "zelda.smc"}, what + ": raw files");
        expectSame({"extract", "zelda.smc", "all.png"}, {"20", "zelda.smc", "all.png"}, what + ": a picture");
        expectSame({"extract", "zelda.smc", "all.bin"}, {"0", "zelda.smc", "all.bin"}, what + ": a combined file");
        emptyBoth();
    }
    // Into a folder, made when missing.
    const Variant& us = kVariants[0];
    saveRom(us);
    expectSame({"extract", "zelda.smc", "sheets", "--raw"}, {"0", "zelda.smc"}, "into a folder", "sheets");
    EXPECT_EQ(runSheetpakBinary({"extract", "zelda.smc", "no/such/folder"}, commands.path()).exitStatus, 1);
    EXPECT_FALSE(fs::exists(commands / "no"));

    // Chosen sheets only: those files, as a whole extraction writes them.
    const RunResult chosen = runSheetpakBinary({"extract", "zelda.smc", "chosen", "--raw", "--sheets", "21,71-73,DD"},
                                               commands.path());
    EXPECT_EQ(chosen.exitStatus, 0) << chosen.errors;
    const Files picked = within(snapshot(commands.path()), "chosen");
    ASSERT_EQ(picked.size(), 5u);
    for (const std::uint32_t sheet : {0x21u, 0x71u, 0x72u, 0x73u, 0xDDu}) {
        EXPECT_EQ(picked.at(sheetName(sheet, false)), readFile(modeWord / sheetName(sheet, false))) << sheet;
    }

    // Files that hold changes: refused alike; --force is flag 0x800.
    const auto edit = [&] {
        writeFile(commands / "sheets" / "GFX30.bin", Bytes(2048, 0x11));
        writeFile(modeWord / "GFX30.bin", Bytes(2048, 0x11));
    };
    edit();
    expectSame({"extract", "zelda.smc", "sheets", "--raw"}, {"0", "zelda.smc"}, "edited files", "sheets");
    const RunResult refused = runSheetpakBinary({"extract", "zelda.smc", "sheets", "--raw"}, commands.path());
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.errors.find("or add --force to replace them.\n"), std::string::npos) << refused.errors;
    // A dry run writes nothing, as a check.
    expectSame({"extract", "zelda.smc", "sheets", "--raw", "-n", "--force"}, {"840", "zelda.smc"}, "--dry-run",
               "sheets");
    expectSame({"extract", "zelda.smc", "sheets", "--raw", "--force"}, {"800", "zelda.smc"}, "--force", "sheets");
}

TEST_F(Commands, InsertionWritesWhatItsModeWordWrites)
{
    // The way a user works: pictures extracted, one edited, inserted back.
    for (const Variant& variant : kVariants) {
        emptyBoth();
        saveRom(variant);
        extractInBoth({"20", "zelda.smc"});
        putInBoth("GFX21.png", editedPicture(0x21, layout(variant)));
        expectSame({"insert", "zelda.smc"}, {"521", "87000", "zelda.smc"}, std::string(variant.name) + ": pictures");
    }
    const Variant& us = kVariants[1];  // headered: the start offsets are adjusted
    const RomLayout& layoutUs = layout(us);
    emptyBoth();
    saveRom(us);
    extractInBoth({"20", "zelda.smc"});
    // Every sheet laid out anew, with each packing and fill option.
    expectSame({"insert", "zelda.smc", "--all"}, {"121", "87000", "zelda.smc"}, "--all");
    expectSame({"insert", "zelda.smc", "--all", "--smallest", "--no-fill"}, {"1B1", "87000", "zelda.smc"},
               "--all --smallest --no-fill");
    expectSame({"insert", "zelda.smc", "--all", "--at", "90200"}, {"121", "90200", "zelda.smc"}, "--all --at");
    expectSame({"insert", "zelda.smc", "--all", "--anywhere", "--at", "50000"}, {"321", "50000", "zelda.smc"},
               "--all --anywhere");
    // A combined file of each kind.
    extractInBoth({"20", "zelda.smc", "all.png"});
    extractInBoth({"0", "zelda.smc", "all.bin"});
    expectSame({"insert", "zelda.smc", "all.png", "--all"}, {"121", "87000", "zelda.smc", "all.png"}, "all.png");
    expectSame({"insert", "zelda.smc", "all.bin", "--smallest"}, {"581", "87000", "zelda.smc", "all.bin"}, "all.bin");

    // Named per-sheet files: those sheets only, the others as the ROM has
    // them whatever their files hold.
    saveRom(us);
    putInBoth("GFX21.png", editedPicture(0x21, layoutUs));
    putInBoth("GFX30.png", editedPicture(0x30, layoutUs));
    expectSameRom({"insert", "zelda.smc", "GFX21.png"}, {"521", "87000", "zelda.smc"}, "named files", [&] {
        writeFile(modeWord / "GFX30.png", extractedPicture(0x30));
    });

    // Raw files alone are read as raw files; with the pictures beside them,
    // --raw or --png chooses, and without either a pair that differs refuses.
    emptyBoth();
    saveRom(us);
    extractInBoth({"0", "zelda.smc"});
    Bytes raw = sampleSheet(0x40, layoutUs, 1);
    raw[7] ^= 0x04;
    putInBoth("GFX40.bin", raw);
    expectSame({"insert", "zelda.smc"}, {"501", "87000", "zelda.smc"}, "raw files");
    saveRom(us);
    extractInBoth({"20", "zelda.smc"});
    putInBoth("GFX21.png", editedPicture(0x21, layoutUs));
    const Bytes before = readFile(commands / "zelda.smc");
    const RunResult both = runSheetpakBinary({"insert", "zelda.smc"}, commands.path());
    EXPECT_EQ(both.exitStatus, 1);
    EXPECT_NE(both.errors.find("GFX21.bin differs from GFX21.png beside it.\n"), std::string::npos) << both.errors;
    EXPECT_NE(both.errors.find("GFX40.bin differs from GFX40.png beside it.\n"), std::string::npos) << both.errors;
    EXPECT_NE(both.errors.find("Add --png to insert the pictures or --raw to insert the raw files"), std::string::npos);
    EXPECT_EQ(readFile(commands / "zelda.smc"), before);
    // Either kind chosen is read alone, as its mode word reads it with the
    // other kind moved away.
    expectSameRom({"insert", "zelda.smc", "--raw"}, {"401", "87000", "zelda.smc"}, "--raw", [&] {
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            fs::remove(modeWord / sheetName(sheet, true));
        }
    });
}

TEST_F(Commands, ExpansionAndChangedSheetsPastTheGraphicsArea)
{
    const Variant& us = kVariants[0];
    saveRom(us);
    expectSame({"expand", "zelda.smc", "2M"}, {"2", "zelda.smc"}, "2M");
    expectSame({"expand", "zelda.smc", "3m"}, {"3", "zelda.smc"}, "3M");
    expectSame({"expand", "zelda.smc", "3M", "-n"}, {"43", "zelda.smc"}, "3M --dry-run");

    // On an expanded ROM, changed sheets with --at go from there; without
    // it, from the graphics area on, and those that find no room there into
    // the expansion area.
    saveRom(us, 0x200000);
    ASSERT_EQ(runSheetpakBinary({"0", "zelda.smc"}, commands.path()).exitStatus, 0);
    ASSERT_EQ(runSheetpakBinary({"0", "zelda.smc"}, modeWord.path()).exitStatus, 0);
    Bytes changed = sampleSheet(0x05, kUsLayout, 1);
    changed[9] ^= 0x40;
    putInBoth("GFX05.bin", changed);
    expectSame({"insert", "zelda.smc", "--at", "100000", "--raw"}, {"401", "100000", "zelda.smc"}, "--at 100000");
    saveRom(us, 0x200000);
    // Noise in every sheet: no stream fits its old place, and far more than
    // the graphics area holds.
    std::uint32_t state = 7;
    for (std::uint32_t sheet = 0; sheet < 0xDD; ++sheet) {
        Bytes noise(2048);
        for (std::uint8_t& byte : noise) {
            state = state * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(state >> 16);
        }
        writeFile(commands / sheetName(sheet, false), noise);
    }
    const RunResult spread = runSheetpakBinary({"insert", "zelda.smc", "--raw"}, commands.path());
    EXPECT_EQ(spread.exitStatus, 0) << spread.errors;
    const std::string last = spread.output.substr(spread.output.rfind("0x") + 2);
    EXPECT_GT(std::stoul(last, nullptr, 16), 0x100000u) << spread.output;
    // The sheets read back as they were written (plane 3 of a 3-bit sheet is not kept).
    ASSERT_EQ(runSheetpakBinary({"extract", "zelda.smc", "back", "--raw"}, commands.path()).exitStatus, 0);
    for (std::uint32_t sheet = 0; sheet < 0xDD; ++sheet) {
        const std::string name = sheetName(sheet, false);
        Bytes written = readFile(commands / name);
        for (std::size_t at = 17; at < written.size() && sheetKeeps3BitsPerPixel(sheet); at += at % 32 == 31 ? std::size_t{18} : std::size_t{2}) {
            written[at] = 0;
        }
        EXPECT_EQ(readFile(commands / "back" / name), written) << name;
    }
    // The same files into a ROM that is not expanded find no room.
    saveRom(us);
    const Bytes plain = readFile(commands / "zelda.smc");
    const RunResult full = runSheetpakBinary({"insert", "zelda.smc", "--raw"}, commands.path());
    EXPECT_EQ(full.exitStatus, 1);
    EXPECT_NE(full.errors.find("Not enough room"), std::string::npos);
    EXPECT_NE(full.errors.find("--dry-run shows how much room the sheets need"), std::string::npos) << full.errors;
    EXPECT_EQ(readFile(commands / "zelda.smc"), plain);
}

TEST_F(Commands, ErrorsOfUseExitWithTwoAndTouchNothing)
{
    saveRom(kVariants[0]);
    writeFile(commands / "GFX21.png", editedPicture(0x21, kUsLayout));
    const Files before = snapshot(commands.path());
    const struct {
        std::vector<std::string> arguments;
        const char* named;  // what the first line names
        const char* help;   // the command to read about
    } cases[] = {
        {{"--raw", "zelda.smc"}, "--raw", ""},
        {{"insert", "zelda.smc", "--verbose"}, "--verbose", "insert"},
        {{"insert", "zelda.smc", "--json"}, "--json", "insert"},
        {{"extract", "zelda.smc", "--patch", "x.bps"}, "--patch", "extract"},
        {{"insert"}, "ROM", "insert"},
        {{"expand", "zelda.smc"}, "2M", "expand"},
        {{"expand", "zelda.smc", "4M"}, "4M", "expand"},
        {{"expand", "zelda.smc", "2M", "more"}, "more", "expand"},
        {{"info", "zelda.smc", "other.smc"}, "other.smc", "info"},
        {{"insert", "zelda.smc", "--sheets", "21,E0"}, "E0", "insert"},
        {{"insert", "zelda.smc", "--sheets", "30-21"}, "30-21", "insert"},
        {{"insert", "zelda.smc", "--png", "--raw"}, "--png", "insert"},
        {{"insert", "zelda.smc", "--at"}, "--at", "insert"},
        {{"insert", "zelda.smc", "--at", "zz"}, "zz", "insert"},
        {{"insert", "zelda.smc", "--patch", "out.zip"}, "out.zip", "insert"},
        {{"insert", "zelda.smc", "GFX21.png", "notes.txt"}, "notes.txt", "insert"},
        {{"extract", "zelda.smc", "all.png", "--raw"}, "all.png", "extract"},
        {{"extract", "zelda.smc", "all.bin", "--sheets", "21"}, "all.bin", "extract"},
        {{"help", "inject"}, "inject", ""},
        {{"insert", "zelda.smc", "--all=yes"}, "--all", "insert"},
    };
    for (const auto& c : cases) {
        const RunResult result = runSheetpakBinary(c.arguments, commands.path());
        const std::string what = c.arguments[0] + " " + c.named;
        EXPECT_EQ(result.exitStatus, 2) << what;
        EXPECT_EQ(result.output, "") << what;
        const std::string tryLine = std::string("Try 'sheetpak help") + (c.help[0] ? " " : "") + c.help + "'.\n";
        EXPECT_NE(result.errors.find(c.named), std::string::npos) << what << ": " << result.errors;
        ASSERT_GE(result.errors.size(), tryLine.size()) << what;
        EXPECT_EQ(result.errors.substr(result.errors.size() - tryLine.size()), tryLine) << what;
        EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 2) << what << ": " << result.errors;
        EXPECT_TRUE(snapshot(commands.path()) == before) << what;
    }
    // Options before, between and after the arguments, and -- before a name that begins with a dash.
    EXPECT_EQ(runSheetpakBinary({"-n", "extract"}, commands.path()).exitStatus, 2);
    EXPECT_EQ(runSheetpakBinary({"extract", "-n", "zelda.smc", "-q", "--force"}, commands.path()).exitStatus, 0);
    writeFile(commands / "-odd.smc", readFile(commands / "zelda.smc"));
    const RunResult dashed = runSheetpakBinary({"info", "--", "-odd.smc"}, commands.path());
    EXPECT_EQ(dashed.exitStatus, 0) << dashed.errors;
}

TEST_F(Commands, WarningsAndRefusalsGoToStandardErrorAndQuietLeavesOnlyThem)
{
    saveRom(kVariants[0]);
    ASSERT_EQ(runSheetpakBinary({"0", "zelda.smc"}, commands.path()).exitStatus, 0);
    // A 3-bit sheet with colour 8: a warning; the run goes on (and, since
    // those colours are dropped, finds the sheet unchanged).
    Bytes coloured = sampleSheet(0x10, kUsLayout, 1);
    coloured[17] = 0x80;
    writeFile(commands / "GFX10.bin", coloured);
    const std::string warning = "Warning, GFX 0x10 uses colours 8 to 15";
    RunResult result = runSheetpakBinary({"insert", "zelda.smc", "-n"}, commands.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.errors.rfind(warning, 0), 0u) << result.errors;
    EXPECT_EQ(result.output.find("Warning"), std::string::npos);
    EXPECT_NE(result.output.find("0 of 223 sheets changed"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.substr(result.output.size() - 41), "Nothing was written: this was a dry run.\n");
    result = runSheetpakBinary({"insert", "zelda.smc", "-q"}, commands.path());
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors.rfind(warning, 0), 0u);
    // A refusal: standard error, and the exit status of the mode word.
    result = runSheetpakBinary({"insert", "missing.smc"}, commands.path());
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.errors, "Unable to open the ROM: missing.smc\n" + systemSays(ENOENT));
    // The mode word keeps everything on standard output, banner first.
    result = runSheetpakBinary({"1", "87000", "missing.smc"}, commands.path());
    EXPECT_EQ(result.errors, "");
    EXPECT_EQ(afterBanner(result.output), "Unable to open the ROM: missing.smc\n" + systemSays(ENOENT));
}

TEST_F(Commands, InfoTellsWhatTheRomHoldsAsTextOrJson)
{
    const Variant& headered = kVariants[1];
    saveRom(headered, 0x200000);
    // Smallest packing stores equal sheets once: two sheets share a stream.
    writeFile(commands / "GFX30.bin", sampleSheet(0x05, kUsLayout, 1));
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheet != 0x30) {
            writeFile(commands / sheetName(sheet, false), sampleSheet(sheet, kUsLayout, 1));
        }
    }
    ASSERT_EQ(runSheetpakBinary({"insert", "zelda.smc", "--all", "--smallest", "--raw"}, commands.path()).exitStatus, 0);
    Bytes rom = readFile(commands / "zelda.smc");
    // Sheet 0xDC's stream moved to the last bytes of the file: cut off.
    SyntheticRom image{rom, 0x200, &kUsLayout};
    image.setPointer(0xDC, 0x200000 - 4);
    image.put(0x200000 - 4, {0x03, 0x01, 0x02, 0x03});
    image.save(commands / "zelda.smc");

    const RunResult text = runSheetpakBinary({"info", "zelda.smc"}, commands.path());
    EXPECT_EQ(text.exitStatus, 0) << text.errors;
    EXPECT_EQ(text.output.rfind("zelda.smc: the US release, with a copier header; 0x200200 bytes", 0), 0u)
        << text.output;
    EXPECT_NE(text.output.find("\n05    1    compressed "), std::string::npos);
    EXPECT_NE(text.output.find("cut off by the end of the file\n"), std::string::npos);

    const RunResult json = runSheetpakBinary({"info", "zelda.smc", "--json"}, commands.path());
    EXPECT_EQ(json.exitStatus, 0);
#if defined(_WIN32)
    GTEST_SKIP() << "the JSON is read back by Python on POSIX systems";
#else
    if (std::system("python3 -c 'import json' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no python3 to read the JSON back";
    }
    writeFile(commands / "info.json", Bytes(json.output.begin(), json.output.end()));
    // Each field checked by a JSON library; prints "ok" when every check holds.
    const std::string script =
        "import json,sys\n"
        "d=json.load(open(sys.argv[1]))\n"
        "s=d['sheets']\n"
        "checks=[d['file']=='zelda.smc', d['release']=='us', d['copierHeader'] is True,\n"
        " d['fileSize']==0x200200, d['declaredSize']==0x100000, d['expanded'] is True,\n"
        " d['graphicsArea']['start']==0x87200, d['graphicsArea']['end']==0xC4200,\n"
        " d['graphicsArea']['used']>0, d['expansionArea']['start']==0x100200, d['expansionArea']['end']==0x200200,\n"
        " len(s)==223, [x['number'] for x in s]==list(range(223)),\n"
        " s[0x05]['sharedWith']==[0x30], s[0x30]['sharedWith']==[0x05], s[0x30]['offset']==s[0x05]['offset'],\n"
        " s[0xDC]['state']=='cutOff', s[0xDC]['offset']==0x200200-4, s[0x10]['state']=='ok',\n"
        " s[0x75]['storage']=='raw', s[0x75]['storedBytes']==1536, s[0xDD]['storage']=='fixed',\n"
        " s[0xDE]['offset']==0x80200, s[0xDE]['storedBytes']==28672, s[0x10]['codecType']==1, s[0x71]['codecType']==0,\n"
        " all(x['storage']=='compressed' for x in s[0:0x73]+s[0x7F:0xDD])]\n"
        "print('ok' if all(checks) else [i for i,c in enumerate(checks) if not c])\n";
    writeFile(commands / "check.py", Bytes(script.begin(), script.end()));
    const std::string command = "python3 '" + (commands / "check.py").string() + "' '" +
                                (commands / "info.json").string() + "' > '" + (commands / "said.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const Bytes said = readFile(commands / "said.txt");
    EXPECT_EQ(std::string(said.begin(), said.end()), "ok\n") << json.output.substr(0, 600);
#endif
}

TEST_F(Commands, ALoneRomIsShownWithTheWayOnAndHelpNamesEveryOption)
{
    saveRom(kVariants[2]);
    const RunResult dropped = runSheetpakBinary({"zelda.smc"}, commands.path());
    EXPECT_EQ(dropped.exitStatus, 0);
    EXPECT_EQ(dropped.output.rfind("zelda.smc: the Japanese release, without a copier header", 0), 0u);
    EXPECT_NE(dropped.output.find("sheetpak extract zelda.smc sheets\n"), std::string::npos);
    EXPECT_NE(dropped.output.find("sheetpak insert zelda.smc sheets\n"), std::string::npos);
    const struct {
        const char* command;
        std::vector<const char*> options;
    } helps[] = {
        {"extract", {"--raw", "--sheets LIST", "--force", "-n, --dry-run", "-q, --quiet"}},
        {"insert", {"--at OFFSET", "--all", "--smallest", "--no-fill", "--anywhere", "--png, --raw", "--sheets LIST",
                    "--patch FILE", "-n, --dry-run", "-q, --quiet"}},
        {"expand", {"--patch FILE", "-n, --dry-run", "-q, --quiet"}},
        {"info", {"--json"}},
    };
    for (const auto& help : helps) {
        const RunResult byWord = runSheetpakBinary({"help", help.command}, commands.path());
        const RunResult byOption = runSheetpakBinary({help.command, "--help"}, commands.path());
        EXPECT_EQ(byWord.exitStatus, 0);
        EXPECT_EQ(byWord.output, byOption.output) << help.command;
        EXPECT_EQ(byWord.output.rfind(std::string("Usage: sheetpak ") + help.command, 0), 0u);
        EXPECT_NE(byWord.output.find(std::string("\nExample: sheetpak ") + help.command), std::string::npos);
        for (const char* option : help.options) {
            EXPECT_NE(byWord.output.find(std::string("\n  ") + option + " "), std::string::npos)
                << help.command << " " << option;
        }
    }
}

}  // namespace

namespace {

// The bash completion script, sourced in bash, completes the commands, each
// command's options, expand's sizes and file names.
TEST(Completion, CompletesCommandsOptionsAndFiles)
{
#if defined(_WIN32)
    GTEST_SKIP() << "bash completion is for POSIX shells";
#else
    if (std::system("bash -c true >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no bash";
    }
    TempDir dir;
    writeFile(dir / "zelda.smc", Bytes(1, 0));
    writeFile(dir / "zelda.bps", Bytes(1, 0));
    const auto complete = [&](const std::string& words, int current) {
        const std::string script = ". '" SHEETPAK_SOURCE_DIR "/docs/completion/sheetpak'; cd '" + dir.path().string() +
                                   "'; COMP_WORDS=(" + words + "); COMP_CWORD=" + std::to_string(current) +
                                   "; _sheetpak; printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' '";
        writeFile(dir / "complete.sh", Bytes(script.begin(), script.end()));
        const std::string command =
            "bash '" + (dir / "complete.sh").string() + "' > '" + (dir / "said.txt").string() + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
        const Bytes said = readFile(dir / "said.txt");
        return std::string(said.begin(), said.end());
    };
    EXPECT_EQ(complete("sheetpak ins", 1), "insert ");
    EXPECT_EQ(complete("sheetpak insert zelda.smc --sm", 3), "--smallest ");
    EXPECT_EQ(complete("sheetpak extract zelda.smc --f", 3), "--force ");
    EXPECT_EQ(complete("sheetpak info z --j", 3), "--json ");
    EXPECT_EQ(complete("sheetpak expand zelda.smc 3", 3), "3M ");
    EXPECT_EQ(complete("sheetpak help ex", 2), "expand extract ");
    EXPECT_EQ(complete("sheetpak info zel", 2), "zelda.bps zelda.smc ");
    EXPECT_EQ(complete("sheetpak insert zelda.smc --patch zel", 4), "zelda.bps ");
#endif
}

}  // namespace
