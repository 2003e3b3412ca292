// Writes seed inputs for the fuzz targets, one folder per target under the
// folder given on the command line:
//
//   write_fuzz_seeds FOLDER
//
// The seeds come from two generated sample ROMs (the US release with seed 1,
// the Japanese one with seed 2): every compressed sheet's LZ stream as stored
// in the image, every sheet as extraction writes it (the encoders' input),
// run-length streams of those sheets, pictures of some sheets for the PNG
// reader, and the worked examples of the stream formats. Exits with status 1
// when a ROM cannot be built or a file cannot be written.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <system_error>
#include <string>
#include <vector>

#include "codec/codec_limits.h"
#include "codec/run_length.h"
#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"
#include "sample_rom.h"
#include "sheetfile/png_sheet_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The targets that get seeds; one folder each.
constexpr const char* kTargets[] = {"fuzz_lz_decoder",         "fuzz_run_length_decoder", "fuzz_lz_encoder",
                                    "fuzz_lz_optimal_encoder", "fuzz_run_length_encoder", "fuzz_png_sheet_reader"};

bool writeSeed(const std::string& folder, const std::string& target, const std::string& name,
               const Bytes& bytes)
{
    const std::string path = folder + "/" + target + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::printf("Couldn't write %s\n", path.c_str());
        return false;
    }
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::printf("Couldn't write %s\n", path.c_str());
        return false;
    }
    return true;
}

Bytes repeated(std::uint8_t value, std::size_t count)
{
    return Bytes(count, value);
}

Bytes joined(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

// The stream a run-length encoder makes of `input`; empty when it failed.
Bytes runLengthStream(Bytes input, void (*encoder)(EncodeContext&))
{
    Bytes output(kCodecBufferSize);
    EncodeContext context;
    context.input = input.data();
    context.inputLength = static_cast<std::uint32_t>(input.size());
    context.output = output.data();
    context.ok = true;
    encoder(context);
    output.resize(context.ok ? context.outputLength : 0);
    return output;
}

// `sheet` repeated to one block of 0x8000 bytes, the only input whose type-3
// stream reads back whole.
Bytes asBlock(const Bytes& sheet)
{
    Bytes block(kSheetBufferSize);
    for (std::size_t k = 0; k < block.size(); ++k) {
        block[k] = sheet[k % sheet.size()];
    }
    return block;
}

// The PNG picture of one sheet, as the PNG reader's target takes it: a first
// byte that picks the layout (0: a 2048-byte sheet of 3bpp colours, 1: the
// Japanese 14400-byte sheet 0xDD), then the file. Empty when it could not be
// written.
Bytes pictureSeed(std::uint32_t sheet, Bytes bytes, bool large)
{
    PictureSheet picture{sheet, bytes.data(), static_cast<std::uint32_t>(bytes.size()), !large};
    EncodedPicture encoded;
    if (!encodeSheetPicture("seed.png", &picture, 1, encoded)) {
        return {};
    }
    Bytes seed{static_cast<std::uint8_t>(large ? 1 : 0)};
    seed.insert(seed.end(), encoded.bytes, encoded.bytes + encoded.length);
    return seed;
}

struct Release {
    RomVersion version;
    const RomLayout* layout;
    std::uint32_t seed;
    const char* name;
};

// The seeds of one sample ROM: the stored LZ streams, found through the
// image's pointer tables (the generator lays the compressed sheets back to
// back in sheet order, so each stream ends where the next one begins), and
// every sheet as the encoders' input.
bool writeReleaseSeeds(const std::string& folder, const Release& release)
{
    SampleRomOptions options;
    options.version = release.version;
    options.seed = release.seed;
    Bytes image;
    const std::uint32_t end = buildSampleRom(options, image);
    if (end == 0) {
        std::printf("Couldn't build the %s sample ROM\n", release.name);
        return false;
    }
    const PointerTables tables = pointerTables(*release.layout);
    const auto pointerOf = [&](std::uint32_t sheet) {
        return toPcOffset(std::uint32_t{image[tables.bank + sheet]} << 16 |
                          std::uint32_t{image[tables.high + sheet]} << 8 | image[tables.low + sheet]);
    };

    std::vector<std::uint32_t> compressed;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (sheetStorage(sheet) == SheetStorage::Compressed) {
            compressed.push_back(sheet);
        }
    }
    bool ok = true;
    char name[64];
    for (std::size_t k = 0; k < compressed.size(); ++k) {
        const std::uint32_t sheet = compressed[k];
        const PcOffset start = pointerOf(sheet);
        const PcOffset stop = k + 1 < compressed.size() ? pointerOf(compressed[k + 1]) : end;
        if (stop <= start || stop > image.size()) {
            std::printf("The %s sample ROM's GFX 0x%02X has no stream\n", release.name, sheet);
            return false;
        }
        std::snprintf(name, sizeof name, "%s_gfx%02X_stream", release.name, sheet);
        ok = writeSeed(folder, "fuzz_lz_decoder", name,
                       Bytes(image.begin() + start, image.begin() + stop)) && ok;
    }

    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const Bytes bytes = sampleSheet(sheet, *release.layout, release.seed);
        std::snprintf(name, sizeof name, "%s_gfx%02X_sheet", release.name, sheet);
        for (const char* target : {"fuzz_lz_encoder", "fuzz_lz_optimal_encoder", "fuzz_run_length_encoder"}) {
            ok = writeSeed(folder, target, name, bytes) && ok;
        }
        // Pictures of the sheets the game keeps with 3 bits per pixel, and of
        // the Japanese sheet 0xDD: a few, the chunks are alike.
        const bool threeBits = bytes.size() == 2048 && (sheetStorage(sheet) == SheetStorage::Raw3bpp ||
                                                        sheetCodecType(sheet) == LzSheet3bpp);
        const bool large = sheet == 0xDD && release.version == RomVersion::Japan;
        if ((threeBits && sheet % 8 == 1) || large) {
            const Bytes picture = pictureSeed(sheet, bytes, large);
            if (picture.empty()) {
                std::printf("Couldn't make a picture of GFX 0x%02X\n", sheet);
                ok = false;
            } else {
                std::snprintf(name, sizeof name, "%s_gfx%02X_picture", release.name, sheet);
                ok = writeSeed(folder, "fuzz_png_sheet_reader", name, picture) && ok;
            }
        }
        // The run-length decoders get the streams of the sheets in both formats;
        // a few suffice, the packets are alike.
        if (sheet % 16 == 0 || sheetStorage(sheet) == SheetStorage::FixedOffset) {
            std::snprintf(name, sizeof name, "%s_gfx%02X_sheet_stream", release.name, sheet);
            ok = writeSeed(folder, "fuzz_run_length_decoder", name,
                           runLengthStream(bytes, encodeRunLengthSheet)) && ok;
            std::snprintf(name, sizeof name, "%s_gfx%02X_block_stream", release.name, sheet);
            ok = writeSeed(folder, "fuzz_run_length_decoder", name,
                           runLengthStream(asBlock(bytes), encodeRunLengthBlock)) && ok;
        }
    }
    return ok;
}

struct Example {
    const char* target;
    const char* name;
    Bytes bytes;
};

// The worked examples of the LZ and run-length formats.
std::vector<Example> workedExamples()
{
    Bytes noRun129;
    for (std::uint32_t k = 0; k < 129; ++k) {
        noRun129.push_back(static_cast<std::uint8_t>(k * 7 + k / 3));
    }
    Bytes noCopy1025;
    std::uint32_t state = 1;
    for (std::uint32_t k = 0; k < 1025; ++k) {
        state = state * 1103515245u + 12345u;
        noCopy1025.push_back(static_cast<std::uint8_t>(state >> 16));
    }
    const Bytes longDirectCopy =
        joined({{0xE3, 0xFF}, Bytes(noCopy1025.begin(), noCopy1025.begin() + 1024), {0xFF}});
    Bytes zeroRuns;
    for (int k = 0; k < 256; ++k) {
        zeroRuns.insert(zeroRuns.end(), {0xFF, 0x00});
    }
    return {
        {"fuzz_lz_decoder", "example_end_only", {0xFF}},
        {"fuzz_lz_decoder", "example_direct_copy", {0x02, 0x41, 0x42, 0x43, 0xFF}},
        {"fuzz_lz_decoder", "example_longest_direct_copy", longDirectCopy},
        {"fuzz_lz_decoder", "example_byte_fill", {0x23, 0x00, 0xFF}},
        {"fuzz_lz_decoder", "example_word_fill", {0x44, 0x01, 0x02, 0xFF}},
        {"fuzz_lz_decoder", "example_increasing_fill", {0x63, 0xFE, 0xFF}},
        {"fuzz_lz_decoder", "example_overlapping_copy", {0x00, 0x07, 0x84, 0x00, 0x00, 0xFF}},
        {"fuzz_lz_decoder", "example_extended_copies",
         {0x00, 0x07, 0xFC, 0x10, 0x00, 0x00, 0xFD, 0x20, 0x00, 0x00, 0xFE, 0x30, 0x00, 0x00, 0xFF}},
        {"fuzz_lz_decoder", "example_copy_to_bound", {0xE7, 0xFF, 0x01, 0xF3, 0xFF, 0x00, 0xFC, 0xFF}},
        {"fuzz_lz_decoder", "example_cut_off", {0x03, 0x10, 0x30}},
        {"fuzz_lz_decoder", "example_fills_to_bound",
         {0xE7, 0xFF, 0x05, 0xEB, 0xFF, 0x01, 0x02, 0xEF, 0xFF, 0x00, 0xFF}},
        {"fuzz_run_length_decoder", "example_literal", {0x00, 0x41, 0xFF, 0xFF}},
        {"fuzz_run_length_decoder", "example_leading_ff_run", {0xFF, 0xFF, 0x00, 0x41, 0xFF, 0xFF}},
        {"fuzz_run_length_decoder", "example_zero_run", {0xFF, 0x00, 0xFF, 0xFF}},
        {"fuzz_run_length_decoder", "example_run_127_ff", {0x00, 0x41, 0xFE, 0xFF, 0x00, 0x42, 0xFF, 0xFF}},
        {"fuzz_run_length_decoder", "example_block_of_zero_runs", zeroRuns},
        {"fuzz_run_length_decoder", "example_literal_128", joined({{0x7F}, noRun129, {0xFF, 0xFF}})},
        {"fuzz_lz_encoder", "example_empty", {}},
        {"fuzz_lz_encoder", "example_one_byte", {0x41}},
        {"fuzz_lz_encoder", "example_fills", {0x05, 0x05, 0x05, 0x05, 0x06, 0x07, 0x01, 0x02, 0x01, 0x02}},
        {"fuzz_lz_encoder", "example_copy", {0x10, 0x30, 0x50, 0x70, 0x10, 0x30, 0x50, 0x70}},
        {"fuzz_lz_encoder", "example_4096_equal", repeated(0x5A, 4096)},
        {"fuzz_lz_encoder", "example_1025_literals", noCopy1025},
        {"fuzz_run_length_encoder", "example_one_byte", {0x41}},
        {"fuzz_run_length_encoder", "example_short_runs", {0x01, 0x01, 0x02, 0x01, 0x01, 0x01}},
        {"fuzz_run_length_encoder", "example_300", repeated(0x07, 300)},
        {"fuzz_run_length_encoder", "example_130", repeated(0x07, 130)},
        {"fuzz_run_length_encoder", "example_leading_ff", joined({repeated(0xFF, 128), {0x05}})},
        {"fuzz_run_length_encoder", "example_inner_ff", joined({{0x00}, repeated(0xFF, 128), {0x05}})},
        {"fuzz_run_length_encoder", "example_300_ff", joined({{0x00}, repeated(0xFF, 300)})},
        {"fuzz_run_length_encoder", "example_no_run_129", noRun129},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("Usage: write_fuzz_seeds FOLDER\n");
        return 1;
    }
    const std::string folder = argv[1];
    bool ok = true;
    for (const char* target : kTargets) {
        std::error_code error;
        std::filesystem::create_directories(std::filesystem::path(folder) / target, error);
        if (error) {
            std::printf("Couldn't create %s/%s\n", folder.c_str(), target);
            ok = false;
        }
    }
    for (const Release& release : {Release{RomVersion::Us, &kUsLayout, 1, "us"},
                                   Release{RomVersion::Japan, &kJapanLayout, 2, "jp"}}) {
        ok = writeReleaseSeeds(folder, release) && ok;
    }
    for (const Example& example : workedExamples()) {
        ok = writeSeed(folder, example.target, example.name, example.bytes) && ok;
        // The second LZ encoder reads the same inputs as the first.
        if (std::string(example.target) == "fuzz_lz_encoder") {
            ok = writeSeed(folder, "fuzz_lz_optimal_encoder", example.name, example.bytes) && ok;
        }
    }
    return ok ? 0 : 1;
}
