// Whole extraction and insertion of the 1 MiB sample ROM, each next to its
// floor: reading the ROM and writing the same number of bytes to the same kind
// of files with the same C file API, in the same run.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "rom/identify.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "sample_rom.h"
#include "sheetfile/png_sheet_file.h"
#include "sheetfile/sheet_file_name.h"
#include "transfer/commit.h"
#include "transfer/extract.h"
#include "transfer/insert.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

void writeWhole(const char* path, const std::uint8_t* bytes, std::size_t length)
{
    std::FILE* file = std::fopen(path, "wb");
    std::fwrite(bytes, 1, length, file);
    std::fclose(file);
}

void writeWhole(const char* path, const Bytes& bytes)
{
    writeWhole(path, bytes.data(), bytes.size());
}

Bytes readWhole(const char* path)
{
    Bytes bytes(static_cast<std::size_t>(fs::file_size(path)));
    std::FILE* file = std::fopen(path, "rb");
    benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return bytes;
}

// A scratch folder holding the sample ROM, its sheet files and its combined
// file; the benchmarks run with it as the current folder.
struct Workspace {
    fs::path folder;
    Bytes rom;
    std::vector<Bytes> sheets;  // as extraction writes them
    std::uint32_t insertEnd = 0;  // file offset past the last laid sheet
    Workspace()
    {
        // A name of this run's own: two benchmark runs at once must not share a folder.
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder = fs::temp_directory_path() / ("sheetpak-bench-" + std::to_string(stamp));
        fs::create_directories(folder);
        fs::current_path(folder);
        insertEnd = buildSampleRom({}, rom);
        writeWhole("sample.smc", rom);
        // Other graphics, for extractions that replace every sheet file.
        SampleRomOptions other;
        other.seed = 2;
        Bytes otherRom;
        buildSampleRom(other, otherRom);
        writeWhole("other.smc", otherRom);
        Bytes combined;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            const Bytes bytes = sampleSheet(sheet, kUsLayout, 1);
            writeWhole(sheetFileName(sheet).text, bytes);
            combined.insert(combined.end(), bytes.begin(), bytes.end());
            sheets.push_back(bytes);
        }
        writeWhole("all.bin", combined);
        // The same sheets with one of them edited: every pixel of 0x21 one
        // colour brighter where it has room.
        for (std::uint32_t at = 0x21 * 2048; at < 0x22 * 2048; at += 32) {
            combined[at] = static_cast<std::uint8_t>(combined[at] ^ 0x81);
        }
        writeWhole("one_changed.bin", combined);
    }
    ~Workspace()
    {
        fs::current_path(fs::temp_directory_path());
        fs::remove_all(folder);
    }
};

Workspace& workspace()
{
    static Workspace instance;
    return instance;
}

// The sample ROM read into its image and identified, as the driver does it.
RomImage openSample(const char* path = "sample.smc")
{
    RomImage rom;
    rom.path = path;
    std::FILE* file = std::fopen(rom.path, "rb");
    if (file == nullptr || !loadRomImage(rom, file) || !identifyRom(rom)) {
        std::fprintf(stderr, "the sample ROM cannot be read\n");
        std::exit(1);
    }
    std::fclose(file);
    return rom;
}

// An extraction as the driver runs it: studied, then committed.
bool extractAndCommit(const RomImage& rom, const ExtractRequest& request)
{
    std::unique_ptr<ExtractPlan> plan(new ExtractPlan);
    return studyExtraction(rom, request, *plan) && commitSheetFiles(plan->files);
}

// An insertion as the driver runs it: studied, then committed.
bool insertAndCommit(RomImage& rom, const InsertRequest& request)
{
    RomPlan plan;
    std::unique_ptr<InsertReport> report(new InsertReport);
    return studyInsertion(rom, request, plan, *report) && commitRom(rom, plan);
}

// Where the sheets are: per-sheet files in the current folder, or a combined file.
SheetFiles sheetFiles(const char* combinedPath, bool pictures)
{
    if (combinedPath == nullptr) {
        return {pictures ? SheetFileFormat::PicturePerSheet : SheetFileFormat::RawPerSheet, ""};
    }
    return {pictures ? SheetFileFormat::PictureCombined : SheetFileFormat::RawCombined, combinedPath};
}

// The sheets as pictures too, per sheet and combined, as extraction writes them.
void makePictures()
{
    static bool made = false;
    if (!made) {
        for (const char* path : {static_cast<const char*>(nullptr), "all.png"}) {
            const RomImage rom = openSample();
            ExtractRequest request;
            request.files = sheetFiles(path, true);
            extractAndCommit(rom, request);
        }
        made = true;
    }
}

// Extraction over the files of the run before: of the same ROM (the files
// already hold what is extracted), or, with `replacing`, of the two sample
// ROMs in turn, so that every file gets other bytes and is replaced.
void BM_Extract(benchmark::State& state, bool combinedFile, bool pictures, bool replacing)
{
    workspace();
    ExtractRequest request;
    request.files = sheetFiles(combinedFile ? (pictures ? "out.png" : "out.bin") : nullptr, pictures);
    // The files of the other ROM hold other sheets: replacing them is asked for.
    request.replaceEdited = replacing;
    bool other = false;
    for (auto _ : state) {
        const RomImage rom = openSample(other ? "other.smc" : "sample.smc");
        benchmark::DoNotOptimize(extractAndCommit(rom, request));
        other = replacing && !other;
    }
    if (replacing && !other) {
        // The files of the sample ROM again, for the insertion benchmarks.
        extractAndCommit(openSample(), request);
    }
}
BENCHMARK_CAPTURE(BM_Extract, per_sheet_files, false, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, combined_file, true, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, per_sheet_pictures, false, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, combined_picture, true, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, per_sheet_files_replaced, false, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, combined_file_replaced, true, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, per_sheet_pictures_replaced, false, true, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Extract, combined_picture_replaced, true, true, true)->Unit(benchmark::kMillisecond);

// Floor of extraction: read the ROM, write the sheets' bytes to as many files.
void BM_ExtractFloor(benchmark::State& state, bool combinedFile)
{
    workspace();
    Bytes sheet(0x8000, 0x11);
    for (auto _ : state) {
        const Bytes rom = readWhole("sample.smc");
        benchmark::DoNotOptimize(rom.data());
        std::FILE* combined = combinedFile ? std::fopen("floor.bin", "wb") : nullptr;
        for (std::uint32_t n = 0; n < kSheetCount; ++n) {
            const std::uint32_t size = sheetSize(n, kUsLayout);
            // Other names than the sheet files, which the insertion benchmarks read.
            char name[16];
            std::snprintf(name, sizeof name, "F%02X.bin", static_cast<unsigned>(n));
            std::FILE* file = combinedFile ? combined : std::fopen(name, "wb");
            std::fwrite(sheet.data(), 1, size, file);
            if (!combinedFile) {
                std::fclose(file);
            }
        }
        if (combined != nullptr) {
            std::fclose(combined);
        }
    }
}
BENCHMARK_CAPTURE(BM_ExtractFloor, per_sheet_files, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExtractFloor, combined_file, true)->Unit(benchmark::kMillisecond);

// The PNG part of an extraction to pictures: the same sheets written as one
// picture per sheet or as one combined picture (the ROM is not read).
void BM_WritePictures(benchmark::State& state, bool combinedFile)
{
    Workspace& space = workspace();
    std::vector<PictureSheet> layout;
    for (std::uint32_t n = 0; n < kSheetCount; ++n) {
        Bytes& bytes = space.sheets[n];
        layout.push_back({n, bytes.data(), static_cast<std::uint32_t>(bytes.size()), false});
    }
    EncodedPicture picture;
    for (auto _ : state) {
        if (combinedFile) {
            benchmark::DoNotOptimize(encodeSheetPicture("all.png", layout.data(), kSheetCount, picture));
            writeWhole("all.png", picture.bytes, picture.length);
            continue;
        }
        for (std::uint32_t n = 0; n < kSheetCount; ++n) {
            char name[16];
            std::snprintf(name, sizeof name, "GFX%02X.png", static_cast<unsigned>(n));
            benchmark::DoNotOptimize(encodeSheetPicture(name, &layout[n], 1, picture));
            writeWhole(name, picture.bytes, picture.length);
        }
    }
}
BENCHMARK_CAPTURE(BM_WritePictures, per_sheet_files, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WritePictures, combined_file, true)->Unit(benchmark::kMillisecond);

// The PNG part of an insertion from pictures: the pictures extraction wrote,
// read back into sheets, per sheet or combined (the ROM is not touched).
void BM_ReadPictures(benchmark::State& state, bool combinedFile)
{
    workspace();
    makePictures();
    Bytes sheets(kSheetCount * std::size_t{0x8000});
    std::vector<PictureSheet> layout;
    for (std::uint32_t n = 0; n < kSheetCount; ++n) {
        layout.push_back({n, sheets.data() + n * std::size_t{0x8000}, sheetSize(n, kUsLayout),
                          sheetKeeps3BitsPerPixel(n)});
    }
    for (auto _ : state) {
        const std::uint32_t files = combinedFile ? 1 : kSheetCount;
        for (std::uint32_t n = 0; n < files; ++n) {
            const SheetFileName sheetName = sheetFileName(n, true);
            const char* name = combinedFile ? "all.png" : sheetName.text;
            std::FILE* file = std::fopen(name, "rb");
            benchmark::DoNotOptimize(readSheetPicture(file, name, &layout[n], combinedFile ? kSheetCount : 1));
            std::fclose(file);
        }
    }
}
BENCHMARK_CAPTURE(BM_ReadPictures, per_sheet_files, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReadPictures, combined_file, true)->Unit(benchmark::kMillisecond);

// An insertion of the changed sheets only, one sheet changed, against the
// full insertion of the same files (BM_Insert/combined_file).
void BM_InsertChangedOnly(benchmark::State& state, const char* sheetFile)
{
    Workspace& space = workspace();
    for (auto _ : state) {
        state.PauseTiming();
        writeWhole("sample.smc", space.rom);
        state.ResumeTiming();
        RomImage rom = openSample();
        InsertRequest request;
        request.startOffset = 0x87000;
        request.files = sheetFiles(sheetFile, false);
        request.changedOnly = true;
        benchmark::DoNotOptimize(insertAndCommit(rom, request));
    }
}
BENCHMARK_CAPTURE(BM_InsertChangedOnly, one_sheet_changed, "one_changed.bin")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InsertChangedOnly, nothing_changed, "all.bin")->Unit(benchmark::kMillisecond);

// With `hardLinked` the ROM has a second name, so that insertion writes it in
// place under a journal instead of replacing it whole.
void BM_Insert(benchmark::State& state, bool combinedFile, bool pictures, bool smallest, bool hardLinked = false)
{
    Workspace& space = workspace();
    makePictures();
    const char* path = hardLinked ? "linked.smc" : "sample.smc";
    if (hardLinked && !fs::exists("linked-too.smc")) {
        writeWhole(path, space.rom);
        fs::create_hard_link(path, "linked-too.smc");
    }
    for (auto _ : state) {
        state.PauseTiming();
        writeWhole(path, space.rom);  // the same file: both names stay
        state.ResumeTiming();
        RomImage rom = openSample(path);
        InsertRequest request;
        request.startOffset = 0x87000;
        request.files = sheetFiles(combinedFile ? (pictures ? "all.png" : "all.bin") : nullptr, pictures);
        request.packing = smallest ? LzPacking::Smallest : LzPacking::Default;
        benchmark::DoNotOptimize(insertAndCommit(rom, request));
    }
}
BENCHMARK_CAPTURE(BM_Insert, per_sheet_files, false, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, combined_file, true, false, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, per_sheet_pictures, false, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, combined_picture, true, true, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, smallest_packing, true, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, combined_file_hard_linked, true, false, false, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Insert, per_sheet_files_hard_linked, false, false, false, true)->Unit(benchmark::kMillisecond);

// Floor of insertion: read the sheet files and the ROM, write as many bytes
// into the ROM as insertion does (laid sheets, fixed sheets and the fill).
void BM_InsertFloor(benchmark::State& state, bool combinedFile)
{
    Workspace& space = workspace();
    const std::uint32_t written = 0xC4000 - 0x87000 + 4096 + 28672;
    Bytes sheet(0x8000);
    const Bytes block(written, 0xFF);
    for (auto _ : state) {
        state.PauseTiming();
        writeWhole("sample.smc", space.rom);
        state.ResumeTiming();
        if (combinedFile) {
            benchmark::DoNotOptimize(readWhole("all.bin").data());
        } else {
            for (std::uint32_t n = 0; n < kSheetCount; ++n) {
                std::FILE* file = std::fopen(sheetFileName(n).text, "rb");
                benchmark::DoNotOptimize(std::fread(sheet.data(), 1, sheet.size(), file));
                std::fclose(file);
            }
        }
        std::FILE* rom = std::fopen("sample.smc", "r+b");
        Bytes image(space.rom.size());
        benchmark::DoNotOptimize(std::fread(image.data(), 1, image.size(), rom));
        std::fseek(rom, 0x87000, SEEK_SET);
        std::fwrite(block.data(), 1, block.size(), rom);
        std::fclose(rom);
    }
}
BENCHMARK_CAPTURE(BM_InsertFloor, per_sheet_files, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InsertFloor, combined_file, true)->Unit(benchmark::kMillisecond);

// What replacing the ROM whole adds at most to an insertion: one ROM-sized
// file written and flushed to the disk.
void BM_WriteAndFlushRomSizedFile(benchmark::State& state)
{
    Workspace& space = workspace();
    for (auto _ : state) {
        std::FILE* file = std::fopen("flushed.bin", "wb");
        std::fwrite(space.rom.data(), 1, space.rom.size(), file);
        benchmark::DoNotOptimize(flushToDisk(file));
        std::fclose(file);
    }
}
BENCHMARK(BM_WriteAndFlushRomSizedFile)->Unit(benchmark::kMillisecond);

// The same insertions writing a patch beside the ROM instead of the ROM:
// the ROM is only read; the patch is made of the old image and the new one.
void BM_InsertAsPatch(benchmark::State& state, const char* sheetFile, bool changedOnly, PatchFormat format)
{
    Workspace& space = workspace();
    for (auto _ : state) {
        state.PauseTiming();
        writeWhole("sample.smc", space.rom);
        state.ResumeTiming();
        const RomImage rom = openSample();
        InsertRequest request;
        request.startOffset = 0x87000;
        request.files = sheetFiles(sheetFile, false);
        request.changedOnly = changedOnly;
        RomPlan plan;
        std::unique_ptr<InsertReport> report(new InsertReport);
        PatchBytes patch;
        benchmark::DoNotOptimize(studyInsertion(rom, request, plan, *report) &&
                                 makeRunPatch(rom, plan, format, patch) && commitPatch("sample.patch", patch));
    }
}
BENCHMARK_CAPTURE(BM_InsertAsPatch, one_sheet_changed_bps, "one_changed.bin", true, PatchFormat::Bps)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InsertAsPatch, one_sheet_changed_ips, "one_changed.bin", true, PatchFormat::Ips)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InsertAsPatch, every_sheet_bps, "all.bin", false, PatchFormat::Bps)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_InsertAsPatch, every_sheet_ips, "all.bin", false, PatchFormat::Ips)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
