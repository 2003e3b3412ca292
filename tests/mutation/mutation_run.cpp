// Whole-program mutation run: generated ROMs of both releases, with and
// without a copier header, and their sheet files, mutated at random, then
// extracted and inserted by the real binary (the sanitizer build in CI).
//
//   sheetpak_mutation_run [--seed N] [--iterations N] [--failures FOLDER] [--verbose]
//
// A run fails on a signal, a hang, an exit status other than 0 or 1, any
// output on standard error (where the sanitizers report), an extraction or a
// failed insertion that changed the ROM, a failed re-extraction after a
// successful insertion, or re-extracted sheets other than the ones the
// library predicts from what was inserted. Messages are not judged, so the
// wording of the tool can change. The folder of each failed iteration is
// kept under FOLDER (default mutation-failures) with a description of what
// was mutated; the last line counts passed and failed iterations.

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"
#include "sample_rom.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned kTimeLimitSeconds = 20;
constexpr const char* kRomName = "zelda.smc";
constexpr const char* kCombinedName = "AllGFX.bin";

// One generated ROM and the sheets it was made from.
struct BaseRom {
    const RomLayout* layout;
    bool copierHeader;
    std::uint32_t seed;
    Bytes image;
    std::vector<Bytes> sheets;  // as extraction writes them
};

struct Iteration {
    TestRandom& random;
    bool verbose;
    const BaseRom& base;
    fs::path folder;
    std::vector<std::string> log;  // what was mutated and run
    bool romMutated = false;

    void note(const std::string& line) { log.push_back(line); }

    // The tool's last two lines of output (the message and the outcome), for --verbose.
    void outcome(const RunResult& result)
    {
        if (!verbose) {
            return;
        }
        std::vector<std::string> lines;
        std::string line;
        for (const char c : afterBanner(result.output)) {
            if (c != '\n') {
                line += c;
            } else if (!line.empty()) {
                lines.push_back(line);
                line.clear();
            }
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        std::string last;
        for (std::size_t k = lines.size() > 2 ? lines.size() - 2 : 0; k < lines.size(); ++k) {
            last += (last.empty() ? "" : " / ") + lines[k];
        }
        note("status " + std::to_string(result.exitStatus) + ": " + last);
    }
};

std::string hex(std::uint64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%" PRIX64, value);
    return text;
}

std::string sheetName(std::uint32_t sheet)
{
    char name[16];
    std::snprintf(name, sizeof name, "GFX%02X.bin", sheet);
    return name;
}

// The bytes a file holds, following links; nothing when it is no readable
// regular file.
std::optional<Bytes> contentOf(const fs::path& path)
{
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return std::nullopt;
    }
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) {
        return std::nullopt;
    }
    Bytes bytes;
    std::uint8_t chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    return bytes;
}

// ---- ROM mutations ----

void mutatePointers(Iteration& it, Bytes& rom)
{
    const std::uint32_t header = it.base.copierHeader ? kCopierHeaderSize : 0;
    const PointerTables tables = pointerTables(*it.base.layout);
    const std::uint32_t sheet = it.random.below(kSheetCount);
    const PcOffset choices[] = {tables.bank, tables.high, tables.low};
    const PcOffset table = choices[it.random.below(3)];
    const std::uint32_t at = header + table + sheet;
    if (at < rom.size()) {
        rom[at] = it.random.byte();
        it.note("pointer table byte at " + hex(at) + " (GFX " + hex(sheet) + ") set to " + hex(rom[at]));
    }
}

void mutateStream(Iteration& it, Bytes& rom)
{
    const std::uint32_t header = it.base.copierHeader ? kCopierHeaderSize : 0;
    const PointerTables tables = pointerTables(*it.base.layout);
    std::uint32_t sheet = 0;
    do {
        sheet = it.random.below(kSheetCount);
    } while (sheetStorage(sheet) == SheetStorage::FixedOffset);
    const auto entry = [&](PcOffset table) { return std::uint32_t{it.base.image.at(header + table + sheet)}; };
    const PcOffset start = toPcOffset(entry(tables.bank) << 16 | entry(tables.high) << 8 | entry(tables.low));
    const std::uint32_t count = 1 + it.random.below(8);
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t at = header + start + it.random.below(64);
        if (at < rom.size()) {
            rom[at] = it.random.below(4) == 0 ? std::uint8_t{0xFF} : it.random.byte();
        }
    }
    it.note("stream of GFX " + hex(sheet) + " at " + hex(header + start) + ": " + std::to_string(count) +
            " bytes changed");
}

void mutateInternalHeader(Iteration& it, Bytes& rom)
{
    const std::uint32_t header = it.base.copierHeader ? kCopierHeaderSize : 0;
    std::uint32_t at = 0;
    switch (it.random.below(3)) {
    case 0:
        at = header + kTitleOffset + it.random.below(kRomTitleLength);
        break;
    case 1:
        at = header + kRomSizeCodeOffset;
        break;
    default:
        at = header + kDestinationCodeOffset;
        break;
    }
    if (at >= rom.size()) {
        return;
    }
    rom[at] = it.random.below(2) == 0 ? static_cast<std::uint8_t>(rom[at] ^ (1U << it.random.below(8)))
                                      : it.random.byte();
    it.note("internal header byte at " + hex(at) + " set to " + hex(rom[at]));
}

void mutateSize(Iteration& it, Bytes& rom)
{
    static const std::uint32_t kCuts[] = {0, 1, 0x7FD9, 0x8000, 0xFFFFF, 0x100000, 0x1001FF};
    switch (it.random.below(4)) {
    case 0: {  // truncate
        const std::uint32_t size = it.random.below(2) == 0 || rom.empty()
                                       ? kCuts[it.random.below(7)]
                                       : it.random.below(static_cast<std::uint32_t>(rom.size()));
        if (size < rom.size()) {
            rom.resize(size);
        }
        it.note("truncated to " + hex(rom.size()));
        break;
    }
    case 1: {  // append
        static const std::uint32_t kGrowths[] = {1, 0x200, 0x400, 0x100000, 0x100200};
        const std::uint32_t growth =
            it.random.below(3) == 0 ? 1 + it.random.below(0x1000) : kGrowths[it.random.below(5)];
        const Bytes tail = it.random.below(2) == 0 ? Bytes(growth, 0) : it.random.bytes(growth);
        rom.insert(rom.end(), tail.begin(), tail.end());
        it.note("appended " + hex(growth) + " bytes, size " + hex(rom.size()));
        break;
    }
    case 2: {  // a copier header in front, or the first 0x200 bytes taken off
        if (it.random.below(2) == 0) {
            const Bytes front = it.random.bytes(kCopierHeaderSize);
            rom.insert(rom.begin(), front.begin(), front.end());
            it.note("0x200 bytes put in front, size " + hex(rom.size()));
        } else if (rom.size() >= kCopierHeaderSize) {
            rom.erase(rom.begin(), rom.begin() + kCopierHeaderSize);
            it.note("first 0x200 bytes taken off, size " + hex(rom.size()));
        }
        break;
    }
    default: {  // bit 9 of the size flipped at the end
        if ((rom.size() & kCopierHeaderSize) != 0 && rom.size() >= kCopierHeaderSize) {
            rom.resize(rom.size() - kCopierHeaderSize);
        } else {
            rom.resize(rom.size() + kCopierHeaderSize, 0xCC);
        }
        it.note("bit 9 of the size flipped at the end, size " + hex(rom.size()));
        break;
    }
    }
}

void mutateRom(Iteration& it, Bytes& rom)
{
    const std::uint32_t count = 1 + it.random.below(3);
    for (std::uint32_t k = 0; k < count; ++k) {
        switch (it.random.below(8)) {
        case 0:
        case 1:
            mutatePointers(it, rom);
            break;
        case 2:
        case 3:
        case 4:
            mutateStream(it, rom);
            break;
        case 5:
            mutateInternalHeader(it, rom);
            break;
        default:
            mutateSize(it, rom);
            break;
        }
    }
    it.romMutated = true;
}

// ---- sheet file mutations ----

Bytes oddContent(Iteration& it, const Bytes& original)
{
    static const std::uint32_t kSizes[] = {0, 1, 2047, 2049, 0x8000, 0x8001, 0x100000};
    const std::uint32_t size = it.random.below(4) == 0 ? it.random.below(0x9000) : kSizes[it.random.below(7)];
    if (it.random.below(2) == 0) {
        return it.random.bytes(size);
    }
    // The original cut or padded with random bytes.
    Bytes bytes(original.begin(), original.begin() + std::min<std::ptrdiff_t>(size, std::ssize(original)));
    const Bytes tail = it.random.bytes(size - bytes.size());
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// Puts something other than a plain sheet file at `path`: other contents, a
// folder, a link (to another sheet file, to the ROM, to nothing, to a
// folder), or nothing at all.
void replaceFile(Iteration& it, const fs::path& path, const Bytes& original)
{
    std::error_code error;
    fs::remove_all(path, error);
    const std::string name = path.filename().string();
    switch (it.random.below(10)) {
    case 0:
        fs::create_directory(path, error);
        it.note(name + ": a folder");
        break;
    case 1:
        fs::create_symlink(kRomName, path, error);
        it.note(name + ": a link to the ROM");
        break;
    case 2: {
        const std::string target = sheetName(it.random.below(kSheetCount));
        fs::create_symlink(target, path, error);
        it.note(name + ": a link to " + target);
        break;
    }
    case 3:
        fs::create_symlink("missing.bin", path, error);
        it.note(name + ": a link to nothing");
        break;
    case 4:
        fs::create_directory(it.folder / "folder", error);
        fs::create_symlink("folder", path, error);
        it.note(name + ": a link to a folder");
        break;
    case 5:
        it.note(name + ": missing");
        break;
    default: {
        const Bytes bytes = oddContent(it, original);
        writeFile(path, bytes);
        it.note(name + ": " + hex(bytes.size()) + " bytes");
        break;
    }
    }
}

Bytes combinedFrom(const BaseRom& base)
{
    Bytes combined;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        Bytes slot = base.sheets[sheet];
        slot.resize(sheetSize(sheet, *base.layout), 0);
        combined.insert(combined.end(), slot.begin(), slot.end());
    }
    return combined;
}

// ---- expectations ----

// What extraction must give back for `sheet` after an insertion read `source`
// for it, by the library's own conversions.
Bytes expectedSheet(std::uint32_t sheet, const RomLayout& layout, Bytes source)
{
    if (source.size() > kSheetBufferSize) {
        source.resize(kSheetBufferSize);
    }
    switch (sheetStorage(sheet)) {
    case SheetStorage::FixedOffset:
        source.resize(sheetSize(sheet, layout), 0);
        return source;
    case SheetStorage::Raw3bpp: {
        Bytes buffer(kSheetBufferSize, 0);
        std::copy_n(source.begin(), std::min<std::size_t>(source.size(), kRaw4bppSheetSize), buffer.begin());
        packRawSheet4To3(buffer.data());
        buffer.resize(expandRawSheet3To4(buffer.data()));
        return buffer;
    }
    case SheetStorage::Compressed:
        break;
    }
    if (sheetCodecType(sheet) == LzSheet3bpp) {
        Bytes buffer(kCodecBufferSize, 0);
        std::copy(source.begin(), source.end(), buffer.begin());
        std::uint32_t length = packTiles4To3(buffer.data(), static_cast<std::uint32_t>(source.size()));
        length = expandTiles3To4(buffer.data(), length);
        buffer.resize(std::min(length, kSheetBufferSize));
        return buffer;
    }
    return source;
}

// How the runs ended, to show what the mutations reached.
struct Tally {
    std::uint64_t extracted = 0;
    std::uint64_t extractionsRefused = 0;
    std::uint64_t inserted = 0;
    std::uint64_t insertionsRefused = 0;
};

struct Verdict {
    Tally* tally = nullptr;
    std::vector<std::string> faults;
    void fault(const std::string& what) { faults.push_back(what); }
};

// The checks every run of the binary must pass.
void checkRun(const RunResult& result, const std::string& what, Verdict& verdict)
{
    if (result.exitStatus == -1) {
        verdict.fault(what + ": ended by a signal or by the time limit of " + std::to_string(kTimeLimitSeconds) +
                      " s");
    } else if (result.exitStatus != 0 && result.exitStatus != 1) {
        verdict.fault(what + ": exit status " + std::to_string(result.exitStatus));
    }
    if (!result.errors.empty()) {
        verdict.fault(what + ": standard error: " + result.errors.substr(0, 2000));
    }
}

// Extraction into a fresh folder; the sheets extraction wrote, or nothing
// after a failure (recorded in `verdict`).
std::optional<std::vector<Bytes>> reextract(Iteration& it, Verdict& verdict)
{
    const fs::path folder = it.folder / "reextracted";
    std::error_code error;
    fs::remove_all(folder, error);
    fs::create_directory(folder, error);
    const RunResult result =
        runSheetpakBinary({"100", (it.folder / kRomName).string()}, folder, 0, kTimeLimitSeconds);
    checkRun(result, "re-extraction", verdict);
    if (result.exitStatus != 0) {
        verdict.fault("re-extraction after a successful insertion failed: " + afterBanner(result.output));
        return std::nullopt;
    }
    std::vector<Bytes> sheets;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        sheets.push_back(contentOf(folder / sheetName(sheet)).value_or(Bytes{}));
    }
    return sheets;
}

void compareSheets(const std::vector<Bytes>& actual, const std::vector<Bytes>& expected, const std::string& what,
                   Verdict& verdict)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (actual[sheet] != expected[sheet]) {
            verdict.fault(what + ": GFX " + hex(sheet) + " has " + hex(actual[sheet].size()) + " bytes, expected " +
                          hex(expected[sheet].size()) + ", first difference at " +
                          std::to_string(firstDifference(actual[sheet], expected[sheet])));
        }
    }
}

// ---- the two operations ----

void runExtraction(Iteration& it, const Bytes& rom, Verdict& verdict)
{
    const bool combined = it.random.below(3) == 0;
    // A file in the way (a folder, a link, old contents): what the tool then
    // writes is not compared, only that it neither crashed nor touched the ROM.
    const bool inTheWay = it.random.below(3) == 0;
    if (inTheWay) {
        replaceFile(it, it.folder / (combined ? kCombinedName : sheetName(it.random.below(kSheetCount))), {});
    }
    std::vector<std::string> arguments{"100", kRomName};
    if (combined) {
        arguments.push_back(kCombinedName);
    }
    it.note(std::string("extraction") + (combined ? " into a combined file" : " into sheet files"));
    const RunResult result = runSheetpakBinary(arguments, it.folder, 0, kTimeLimitSeconds);
    checkRun(result, "extraction", verdict);
    it.outcome(result);
    ++(result.exitStatus == 0 ? verdict.tally->extracted : verdict.tally->extractionsRefused);
    if (contentOf(it.folder / kRomName) != rom) {
        verdict.fault("extraction changed the ROM");
    }
    // An unmutated ROM extracts to exactly the sheets it was made from.
    if (result.exitStatus == 0 && !it.romMutated && !inTheWay) {
        std::vector<Bytes> actual;
        if (combined) {
            const Bytes all = contentOf(it.folder / kCombinedName).value_or(Bytes{});
            if (all != combinedFrom(it.base)) {
                verdict.fault("the combined file differs from the sheets the ROM was made from at " +
                              std::to_string(firstDifference(all, combinedFrom(it.base))));
            }
        } else {
            for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
                actual.push_back(contentOf(it.folder / sheetName(sheet)).value_or(Bytes{}));
            }
            compareSheets(actual, it.base.sheets, "extraction of an unmutated ROM", verdict);
        }
    }
}

void runInsertion(Iteration& it, const Bytes& rom, Verdict& verdict)
{
    const RomLayout& layout = *it.base.layout;
    const bool combined = it.random.below(3) == 0;
    // The sources the tool will read, each as it stands before the run.
    std::vector<std::optional<Bytes>> sources(kSheetCount);
    bool readable = true;
    if (combined) {
        Bytes all = combinedFrom(it.base);
        const fs::path path = it.folder / kCombinedName;
        writeFile(path, all);
        if (it.random.below(2) == 0) {
            const std::uint32_t changes = 1 + it.random.below(3);
            for (std::uint32_t k = 0; k < changes; ++k) {
                const std::uint32_t sheet = it.random.below(kSheetCount);
                const Bytes bytes = it.random.bytes(1 + it.random.below(sheetSize(sheet, layout)));
                std::copy(bytes.begin(), bytes.end(), all.begin() + combinedFileOffset(sheet, layout));
                it.note("combined file: " + hex(bytes.size()) + " random bytes at the start of GFX " + hex(sheet));
            }
            writeFile(path, all);
        }
        if (it.random.below(4) == 0) {
            replaceFile(it, path, all);
        }
        const std::optional<Bytes> content = contentOf(path);
        readable = content.has_value();
        for (std::uint32_t sheet = 0; readable && sheet < kSheetCount; ++sheet) {
            const std::size_t start = combinedFileOffset(sheet, layout);
            Bytes slot(sheetSize(sheet, layout), 0);  // a short file: the missing part as zeros
            for (std::size_t k = 0; k < slot.size() && start + k < content->size(); ++k) {
                slot[k] = (*content)[start + k];
            }
            sources[sheet] = slot;
        }
    } else {
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            writeFile(it.folder / sheetName(sheet), it.base.sheets[sheet]);
        }
        const std::uint32_t changes = it.random.below(2) == 0 ? 0 : 1 + it.random.below(2);
        for (std::uint32_t k = 0; k < changes; ++k) {
            const std::uint32_t sheet = it.random.below(kSheetCount);
            replaceFile(it, it.folder / sheetName(sheet), it.base.sheets[sheet]);
        }
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            sources[sheet] = contentOf(it.folder / sheetName(sheet));
            readable = readable && sources[sheet].has_value();
        }
    }
    static const char* kStarts[] = {"87000", "87000", "87000", "87200", "100000", "100200", "0", "C4000"};
    std::string start = kStarts[it.random.below(8)];
    if (it.random.below(8) == 0) {
        start = hex(it.random.below(static_cast<std::uint32_t>(rom.size()) + 0x1000)).substr(2);
    }
    // Flags beside 0x100 (no prompt): 0x10 no fill, 0x80 smallest packing,
    // 0x200 any start, 0x400 changed sheets only, 0x40 check only (which
    // must leave the ROM as it was).
    static const char* kModes[] = {"101", "101", "101", "111", "181", "301", "141",
                                   "501", "501", "511", "581", "701", "541"};
    const std::string mode = kModes[it.random.below(13)];
    const bool checkOnly = mode == "141" || mode == "541";
    std::vector<std::string> arguments{mode, start, kRomName};
    if (combined) {
        arguments.push_back(kCombinedName);
    }
    it.note("insertion (mode " + mode + ") from " + start +
            (combined ? " out of a combined file" : " out of sheet files"));
    const RunResult result = runSheetpakBinary(arguments, it.folder, 0, kTimeLimitSeconds);
    checkRun(result, "insertion", verdict);
    it.outcome(result);
    ++(result.exitStatus == 0 ? verdict.tally->inserted : verdict.tally->insertionsRefused);
    const std::optional<Bytes> after = contentOf(it.folder / kRomName);
    if (!after.has_value()) {
        verdict.fault("the ROM is gone after the insertion");
        return;
    }
    if (result.exitStatus != 0 || checkOnly) {
        if (*after != rom) {
            verdict.fault(std::string(checkOnly ? "a checking run" : "a failed insertion") +
                          " changed the ROM, first at " +
                          hex(static_cast<std::uint64_t>(firstDifference(*after, rom))));
        }
        return;
    }
    if (after->size() != rom.size()) {
        verdict.fault("a successful insertion changed the ROM's size");
    }
    if (!readable) {
        verdict.fault("the insertion succeeded although a sheet file could not be read");
        return;
    }
    std::vector<Bytes> expected;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        expected.push_back(expectedSheet(sheet, layout, *sources[sheet]));
    }
    if (const auto actual = reextract(it, verdict)) {
        compareSheets(*actual, expected, "re-extraction after insertion", verdict);
    }
}

BaseRom makeBase(RomVersion version, bool copierHeader, std::uint32_t seed)
{
    BaseRom base{version == RomVersion::Us ? &kUsLayout : &kJapanLayout, copierHeader, seed, {}, {}};
    SampleRomOptions options;
    options.version = version;
    options.copierHeader = copierHeader;
    options.seed = seed;
    if (buildSampleRom(options, base.image) == 0) {
        std::printf("The sample ROM could not be built\n");
        std::exit(2);
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        base.sheets.push_back(sampleSheet(sheet, *base.layout, seed));
    }
    return base;
}

// Keeps the folder of a failed iteration, with what was done and what failed.
void keepFailure(const Iteration& it, const Verdict& verdict, const fs::path& failures, std::uint64_t iteration)
{
    const fs::path kept = failures / ("iteration-" + std::to_string(iteration));
    std::error_code error;
    fs::create_directories(failures, error);
    fs::remove_all(kept, error);
    fs::copy(it.folder, kept, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    std::string text;
    for (const std::string& line : it.log) {
        text += "done: " + line + "\n";
    }
    for (const std::string& fault : verdict.faults) {
        text += "FAULT: " + fault + "\n";
    }
    writeFile(kept / "what.txt", Bytes(text.begin(), text.end()));
}

std::uint64_t numberArgument(const char* text)
{
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') {
        std::printf("Not a number: %s\n", text);
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv)
{
    std::uint64_t seed = 1;
    std::uint64_t iterations = 100;
    fs::path failures = "mutation-failures";
    bool verbose = false;
    for (int k = 1; k < argc; ++k) {
        const std::string option = argv[k];
        if (option == "--verbose") {
            verbose = true;
            continue;
        }
        if (k + 1 >= argc) {
            std::printf("Usage: sheetpak_mutation_run [--seed N] [--iterations N] [--failures FOLDER] [--verbose]\n");
            return 2;
        }
        if (option == "--seed") {
            seed = numberArgument(argv[++k]);
        } else if (option == "--iterations") {
            iterations = numberArgument(argv[++k]);
        } else if (option == "--failures") {
            failures = argv[++k];
        } else {
            std::printf("Unknown option %s\n", option.c_str());
            return 2;
        }
    }

    const std::vector<BaseRom> bases = {makeBase(RomVersion::Us, false, 1), makeBase(RomVersion::Us, true, 2),
                                        makeBase(RomVersion::Japan, false, 3), makeBase(RomVersion::Japan, true, 4)};
    TestRandom random(seed);
    std::uint64_t passed = 0;
    std::uint64_t failed = 0;
    Tally tally;
    for (std::uint64_t iteration = 0; iteration < iterations; ++iteration) {
        TempDir folder;
        Iteration it{random, verbose, bases[random.below(static_cast<std::uint32_t>(bases.size()))], folder.path(), {}};
        it.note(std::string(it.base.layout->version == RomVersion::Us ? "US" : "Japanese") + " ROM" +
                (it.base.copierHeader ? " with" : " without") + " copier header, seed " +
                std::to_string(it.base.seed));
        Bytes rom = it.base.image;
        if (random.below(2) == 0) {
            mutateRom(it, rom);
        }
        writeFile(it.folder / kRomName, rom);
        Verdict verdict{&tally, {}};
        if (random.below(5) < 2) {
            runExtraction(it, rom, verdict);
        } else {
            runInsertion(it, rom, verdict);
        }
        if (verbose) {
            std::printf("Iteration %" PRIu64 ":\n", iteration);
            for (const std::string& line : it.log) {
                std::printf("  %s\n", line.c_str());
            }
        }
        if (verdict.faults.empty()) {
            ++passed;
        } else {
            ++failed;
            keepFailure(it, verdict, failures, iteration);
            std::printf("Iteration %" PRIu64 " failed (kept in %s):\n", iteration,
                        (failures / ("iteration-" + std::to_string(iteration))).string().c_str());
            for (const std::string& line : it.log) {
                std::printf("  done: %s\n", line.c_str());
            }
            for (const std::string& fault : verdict.faults) {
                std::printf("  FAULT: %s\n", fault.c_str());
            }
        }
        std::fflush(stdout);
    }
    std::printf("Mutation run of %" PRIu64 " iterations from seed %" PRIu64 ": %" PRIu64 " extractions done, %" PRIu64
                " refused; %" PRIu64 " insertions done and re-extracted, %" PRIu64 " refused\n",
                iterations, seed, tally.extracted, tally.extractionsRefused, tally.inserted, tally.insertionsRefused);
    std::printf("mutation: %" PRIu64 " passed, %" PRIu64 " failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
