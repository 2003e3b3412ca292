// Hostile pictures through the real binary on a sample ROM, with its CPU
// time and peak memory measured against a plain picture's run: declared
// lengths never allocated, gigabytes of text and of image data past the rows
// never read or inflated, every sheet's picture padded to the chunk limit.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "png_test_support.h"
#include "rom/sheet_catalogue.h"
#include "sample_rom.h"
#include "sheetfile/png_picture.h"
#include "support/run_binary.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

#if __has_include(<sys/wait.h>) && __has_include(<sys/resource.h>)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#define SHEETPAK_MEASURES_CHILDREN 1
#endif

namespace fs = std::filesystem;

namespace {

#if defined(SHEETPAK_MEASURES_CHILDREN)

// As many zTXt chunks of 4 MiB each between the palette and the image data
// as a picture may have beside IHDR, PLTE and the IDAT of its rows, written
// straight to `path`: the first one a real compressed text (random bytes,
// stored, so that it inflates to as much again), the others its header
// alone with a hole where its data would be, so that the file takes 2 GiB of
// its size but hardly any of the disk. A reader that skips them never looks
// inside; one that read them would read 2 GiB.
void writeTextChunkBomb(const fs::path& path)
{
    TestRandom random(17);
    const Bytes text = random.bytes(0x400000 - 0x100);
    Bytes compressed(compressBound(static_cast<uLong>(text.size())));
    uLongf length = static_cast<uLongf>(compressed.size());
    ASSERT_EQ(compress2(compressed.data(), &length, text.data(), static_cast<uLong>(text.size()), 0), Z_OK);
    Bytes data{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0};
    data.insert(data.end(), compressed.begin(), compressed.begin() + static_cast<long>(length));
    const Bytes zText = chunk("zTXt", data);

    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    const Bytes head = pictureHead();
    std::fwrite(head.data(), 1, head.size(), file);
    std::fwrite(zText.data(), 1, zText.size(), file);
    for (std::uint32_t k = 1; k < kMaxPictureChunks - 3; ++k) {
        std::fwrite(zText.data(), 1, 8, file);
        ASSERT_EQ(fseeko(file, static_cast<off_t>(zText.size() - 8), SEEK_CUR), 0);
    }
    const Bytes blank = blankPicture();
    std::fwrite(blank.data() + head.size(), 1, blank.size() - head.size(), file);
    ASSERT_EQ(std::fclose(file), 0);
}


struct MeasuredRun {
    int exitStatus = -1;
    std::string output;
    double cpuSeconds = 0;  // user and system
    long peakKiB = 0;       // peak resident memory
};

// Runs the binary in `folder` as a user would, measuring the child alone.
MeasuredRun runMeasured(const std::vector<std::string>& arguments, const fs::path& folder)
{
    std::vector<std::string> storage{SHEETPAK_BINARY};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const fs::path outPath = folder / "output.txt";
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || chdir(folder.c_str()) != 0) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    MeasuredRun run;
    int status = 0;
    rusage usage{};
    if (child > 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    }
    run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakKiB = usage.ru_maxrss;
    const Bytes text = readFile(outPath);
    run.output.assign(text.begin(), text.end());
    return run;
}

class PngBombsThroughTheBinary : public ::testing::Test {
protected:
    TempDir dir;
    Bytes rom;
    MeasuredRun plain;  // the run with a blank GFX00.png, and the ROM it leaves
    Bytes blankRom;

    void SetUp() override
    {
        ASSERT_NE(buildSampleRom({}, rom), 0u);
        writeFile(dir / "zelda.smc", rom);
        ASSERT_EQ(runSheetpakBinary({"120", "zelda.smc"}, dir.path()).exitStatus, 0);
    }

    // Inserts the pictures with GFX00.png as `writePicture` leaves it, and
    // compares the run with one whose GFX00.png is a blank picture: the ROM
    // it leaves (the same as the blank one's when `reads`, else unchanged),
    // and at most a second of CPU time and 64 MiB of memory more.
    template <typename WritePicture>
    void insertsWithin(const WritePicture& writePicture, bool reads, const std::string& says)
    {
        if (blankRom.empty()) {
            writeFile(dir / "GFX00.png", blankPicture());
            plain = runMeasured({"121", "87000", "zelda.smc"}, dir.path());
            ASSERT_EQ(plain.exitStatus, 0) << plain.output;
            blankRom = readFile(dir / "zelda.smc");
            writeFile(dir / "zelda.smc", rom);
        }

        writePicture(dir / "GFX00.png");
        const MeasuredRun bomb = runMeasured({"121", "87000", "zelda.smc"}, dir.path());
        fs::remove(dir / "GFX00.png");
        EXPECT_EQ(bomb.exitStatus, reads ? 0 : 1) << bomb.output;
        EXPECT_NE(bomb.output.find(says), std::string::npos) << bomb.output;
        EXPECT_EQ(readFile(dir / "zelda.smc"), reads ? blankRom : rom);
        EXPECT_LT(bomb.cpuSeconds, plain.cpuSeconds + 1.0);
        EXPECT_LT(bomb.peakKiB, plain.peakKiB + 64 * 1024);
        writeFile(dir / "zelda.smc", rom);
    }
};

TEST_F(PngBombsThroughTheBinary, DeclaredLengthsAreNeverAllocated)
{
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL"}) {
        insertsWithin([&](const fs::path& path) { writeFile(path, declaredBomb(type)); }, false,
                      "The picture GFX00.png, GFX 0x00: the file ends early; it was cut off or not saved "
                      "completely.\n");
    }
}

TEST_F(PngBombsThroughTheBinary, TwoGigabytesOfCompressedTextAreSkipped)
{
    insertsWithin(writeTextChunkBomb, true, "Done!");
}

TEST_F(PngBombsThroughTheBinary, TwoGibibytesOfImageDataPastTheRowsAreNeverInflated)
{
    insertsWithin([](const fs::path& path) { writeFile(path, imageDataBomb(2048, true)); }, true, "Done!");
    insertsWithin([](const fs::path& path) { writeFile(path, imageDataBomb(2048, false)); }, false,
                  "The picture GFX00.png, GFX 0x00: the PNG data is damaged: IDAT: more image data than the "
                  "picture's rows can hold.\n");
}

TEST_F(PngBombsThroughTheBinary, AnEmptyHeaderIsDamagedNotAMadeUpSize)
{
    insertsWithin(
        [](const fs::path& path) {
            Bytes png = signature();
            append(png, chunk("IHDR", {}));
            const Bytes blank = blankPicture();
            png.insert(png.end(), blank.begin() + 33, blank.end());
            writeFile(path, png);
        },
        false,
        "The picture GFX00.png, GFX 0x00: the PNG data is damaged: IHDR: too short to hold the picture's size.\n");
}

// The length field of the chunk at `at` of `png`.
std::size_t chunkLength(const Bytes& png, std::size_t at)
{
    return std::size_t{png[at]} << 24 | std::size_t{png[at + 1]} << 16 | std::size_t{png[at + 2]} << 8 | png[at + 3];
}

// Writes `png` to `path` with `count` chunks of `declared` bytes each after
// its PLTE chunk: each its header alone, with a hole where its data and CRC
// would be, so that huge chunks take hardly any of the disk.
void writePadded(const fs::path& path, const Bytes& png, std::uint32_t count, std::uint32_t declared)
{
    std::size_t paletteEnd = 8;
    for (bool palette = false; !palette && paletteEnd + 8 <= png.size();) {
        palette = std::memcmp(png.data() + paletteEnd + 4, "PLTE", 4) == 0;
        paletteEnd += 12 + chunkLength(png, paletteEnd);
    }
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(png.data(), 1, paletteEnd, file);
    Bytes header;
    appendBigEndian(header, declared);
    header.insert(header.end(), {'z', 'T', 'X', 't'});
    for (std::uint32_t k = 0; k < count; ++k) {
        std::fwrite(header.data(), 1, header.size(), file);
        ASSERT_EQ(fseeko(file, static_cast<off_t>(declared) + 4, SEEK_CUR), 0);
    }
    std::fwrite(png.data() + paletteEnd, 1, png.size() - paletteEnd, file);
    ASSERT_EQ(std::fclose(file), 0);
}

// The IDAT chunks of `png`.
std::uint32_t imageDataChunks(const Bytes& png)
{
    std::uint32_t count = 0;
    for (std::size_t at = 8; at + 8 <= png.size(); at += 12 + chunkLength(png, at)) {
        count += std::memcmp(png.data() + at + 4, "IDAT", 4) == 0 ? 1u : 0u;
    }
    return count;
}

TEST_F(PngBombsThroughTheBinary, PicturesPaddedToTheChunkLimitAreCheckedInAMoment)
{
    // The sheets' own pictures, each with as many empty chunks as it may
    // have, then each with as many chunks of 16 MiB (one file per size of
    // picture, hard-linked under every sheet's name, as the sizes are few
    // and each chunk's header takes a block of the disk): a check of an
    // insertion reads every one of them.
    Bytes own[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        char name[16];
        std::snprintf(name, sizeof name, "GFX%02X.png", static_cast<unsigned>(sheet));
        own[sheet] = readFile(dir / name);
    }
    const MeasuredRun plainCheck = runMeasured({"161", "87000", "zelda.smc"}, dir.path());
    ASSERT_EQ(plainCheck.exitStatus, 0) << plainCheck.output;
    for (const std::uint32_t declared : {0u, 0x1000000u}) {
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            char name[16];
            std::snprintf(name, sizeof name, "GFX%02X.png", static_cast<unsigned>(sheet));
            fs::remove(dir / name);
            const std::uint32_t count = kMaxPictureChunks - 2 - imageDataChunks(own[sheet]);
            if (declared == 0 || sheet == 0 || sheet >= 0xDD) {
                writePadded(dir / name, own[sheet], count, declared);
            } else {
                fs::create_hard_link(dir / "GFX00.png", dir / name);
            }
        }
        const MeasuredRun padded = runMeasured({"161", "87000", "zelda.smc"}, dir.path());
        EXPECT_EQ(padded.exitStatus, 0) << padded.output;
        if (declared == 0) {
            EXPECT_EQ(padded.output, plainCheck.output);
        }
        // Debug and sanitizer builds included: far less than a second for a plain build.
        EXPECT_LT(padded.cpuSeconds, plainCheck.cpuSeconds + 5.0) << declared;
        EXPECT_LT(padded.peakKiB, plainCheck.peakKiB + 64 * 1024) << declared;
    }

    // One chunk more in one picture: refused as damaged, the file named.
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        char name[16];
        std::snprintf(name, sizeof name, "GFX%02X.png", static_cast<unsigned>(sheet));
        fs::remove(dir / name);
        writeFile(dir / name, own[sheet]);
    }
    writePadded(dir / "GFX00.png", own[0], kMaxPictureChunks - 2 - imageDataChunks(own[0]) + 1, 0);
    const MeasuredRun refused = runMeasured({"161", "87000", "zelda.smc"}, dir.path());
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.output.find("The picture GFX00.png, GFX 0x00: the PNG data is damaged: it holds more chunks "
                                  "than any picture needs.\n"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(readFile(dir / "zelda.smc"), rom);
}

#endif

}  // namespace
