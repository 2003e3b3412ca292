// Hostile pictures: chunks that declare more than the file holds, ancillary
// chunks by the gigabyte, image data that inflates far past the last row,
// headers too short to hold a size. Each is read or refused with bounded
// work: through the reader itself, and through the real binary with its CPU
// time and peak memory measured against a plain picture's run.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "rom/sheet_catalogue.h"
#include "sample_rom.h"
#include "sheetfile/png_picture.h"
#include "sheetfile/png_sheet_file.h"
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

constexpr std::uint32_t kRowBytes = 64;  // 128 pixels of 4 bits
constexpr std::uint32_t kRows = 32;      // one 2048-byte sheet

void putBigEndian(std::uint8_t* at, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
    }
}

void appendBigEndian(Bytes& out, std::uint32_t value)
{
    out.resize(out.size() + 4);
    putBigEndian(out.data() + out.size() - 4, value);
}

// A chunk with its length and CRC; `declared` overrides the length field.
// Laid out in a buffer of its whole size at once (GCC 12 misreads growing
// inserts into a small vector at -O2 as overflows).
Bytes chunk(const char* type, const Bytes& data, std::uint64_t declared = ~std::uint64_t{0})
{
    Bytes out(4 + 4 + data.size() + 4);
    putBigEndian(out.data(), declared == ~std::uint64_t{0} ? static_cast<std::uint32_t>(data.size())
                                                           : static_cast<std::uint32_t>(declared));
    std::memcpy(out.data() + 4, type, 4);
    if (!data.empty()) {
        std::memcpy(out.data() + 8, data.data(), data.size());
    }
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) {
        crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));  // no data restarts the CRC
    }
    putBigEndian(out.data() + 8 + data.size(), static_cast<std::uint32_t>(crc));
    return out;
}

Bytes signature()
{
    return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}

// IHDR and PLTE of a 4-bit indexed 128 x 32 picture with the tool's palette.
Bytes pictureHead()
{
    Bytes header;
    appendBigEndian(header, 128);
    appendBigEndian(header, kRows);
    header.insert(header.end(), {4, 3, 0, 0, 0});
    Bytes palette;
    for (const PaletteColour& colour : kSheetPalette) {
        palette.insert(palette.end(), {colour.red, colour.green, colour.blue});
    }
    Bytes out = signature();
    const Bytes ihdr = chunk("IHDR", header);
    const Bytes plte = chunk("PLTE", palette);
    out.insert(out.end(), ihdr.begin(), ihdr.end());
    out.insert(out.end(), plte.begin(), plte.end());
    return out;
}

void append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

// The zlib stream of `kRows` rows of colour 0 (filter byte and 64 bytes
// each), then `zeroMiB` MiB of zero bytes past them, in whole blocks: the
// rows end at `rowsEnd` bytes into the stream. The MiB of zeros are
// compressed once and repeated; the checksum covers all of it.
Bytes rowsThenZeros(std::uint32_t zeroMiB, std::size_t& rowsEnd)
{
    z_stream stream{};
    deflateInit(&stream, 9);
    Bytes rows(std::size_t{kRows} * (kRowBytes + 1), 0);
    Bytes out(0x20000);
    const auto deflateAll = [&](Bytes& input, int flush) {
        Bytes produced;
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(input.size());
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, flush);
            produced.insert(produced.end(), out.data(), out.data() + (out.size() - stream.avail_out));
        } while (stream.avail_out == 0);
        return produced;
    };
    Bytes result = deflateAll(rows, Z_FULL_FLUSH);
    rowsEnd = result.size();
    uLong adler = adler32(1, rows.data(), static_cast<uInt>(rows.size()));
    Bytes zeros(0x100000, 0);
    const Bytes block = deflateAll(zeros, Z_FULL_FLUSH);  // no reference before its start
    const uLong zerosAdler = adler32(1, zeros.data(), static_cast<uInt>(zeros.size()));
    for (std::uint32_t k = 0; k < zeroMiB; ++k) {
        append(result, block);
        adler = adler32_combine(adler, zerosAdler, static_cast<z_off_t>(zeros.size()));
    }
    Bytes none;
    const Bytes tail = deflateAll(none, Z_FINISH);  // the final empty block and the checksum of the rows
    deflateEnd(&stream);
    result.insert(result.end(), tail.begin(), tail.end() - 4);
    appendBigEndian(result, static_cast<std::uint32_t>(adler));
    return result;
}

// A blank picture whose image data goes on for `zeroMiB` MiB past its rows:
// in the same IDAT chunk, or in a second one.
Bytes imageDataBomb(std::uint32_t zeroMiB, bool split, std::size_t* firstChunkEnd = nullptr)
{
    std::size_t rowsEnd = 0;
    const Bytes stream = rowsThenZeros(zeroMiB, rowsEnd);
    Bytes out = pictureHead();
    if (split) {
        append(out, chunk("IDAT", Bytes(stream.begin(), stream.begin() + static_cast<long>(rowsEnd))));
        if (firstChunkEnd != nullptr) {
            *firstChunkEnd = out.size();
        }
        append(out, chunk("IDAT", Bytes(stream.begin() + static_cast<long>(rowsEnd), stream.end())));
    } else {
        append(out, chunk("IDAT", stream));
    }
    append(out, chunk("IEND", {}));
    return out;
}

// A blank picture, plain.
Bytes blankPicture()
{
    return imageDataBomb(0, true);
}

// The 107-byte picture whose chunk of `type` declares 0x7FFFFFFF bytes and
// is cut off by the end of the file.
Bytes declaredBomb(const char* type)
{
    Bytes out = pictureHead();
    Bytes text(107 - out.size() - 8, 'A');
    Bytes whole = chunk(type, text, 0x7FFFFFFF);
    append(out, Bytes(whole.begin(), whole.begin() + 8 + static_cast<long>(text.size())));
    return out;
}

PictureReadResult readBytes(const Bytes& png, DecodedPicture& picture)
{
    PictureSource source;
    source.bytes = png.data();
    source.length = png.size();
    return readPicture(source, 128, kRows, picture);
}

TEST(PngLimits, ChunksDeclaringMoreThanTheFileHoldsEndEarly)
{
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "pCAL", "sCAL"}) {
        const Bytes bomb = declaredBomb(type);
        ASSERT_EQ(bomb.size(), 107u);
        DecodedPicture picture;
        EXPECT_EQ(readBytes(bomb, picture).fault, PictureFault::EndsEarly) << type;

        // From a file too, which is never read past its end.
        std::FILE* file = std::tmpfile();
        std::fwrite(bomb.data(), 1, bomb.size(), file);
        std::rewind(file);
        PictureSource source;
        source.file = file;
        EXPECT_EQ(readPicture(source, 128, kRows, picture).fault, PictureFault::EndsEarly) << type;
        std::fclose(file);
    }
}

TEST(PngLimits, NothingPastTheChunkOfTheLastRowIsRead)
{
    // A gigabyte of zeros past the rows, in an IDAT chunk of its own: the
    // reading ends with the chunk that completes the rows.
    std::size_t firstChunkEnd = 0;
    const Bytes bomb = imageDataBomb(1024, true, &firstChunkEnd);
    const Bytes oneChunk = imageDataBomb(1024, false);
    EXPECT_LT(bomb.size(), 2u << 20);
    std::FILE* file = std::tmpfile();
    std::fwrite(bomb.data(), 1, bomb.size(), file);
    std::rewind(file);
    PictureSource source;
    source.file = file;
    DecodedPicture picture;
    const std::clock_t start = std::clock();
    EXPECT_EQ(readPicture(source, 128, kRows, picture).fault, PictureFault::None);
    EXPECT_EQ(std::ftell(file), static_cast<long>(firstChunkEnd));
    std::fclose(file);
    EXPECT_EQ(picture.layout, PixelLayout::PackedIndices);
    EXPECT_EQ(Bytes(picture.pixels, picture.pixels + kRows * kRowBytes), Bytes(kRows * kRowBytes, 0));

    // In the same chunk: more image data than the rows can need is refused
    // before any of it is inflated.
    const PictureReadResult refused = readBytes(oneChunk, picture);
    EXPECT_EQ(refused.fault, PictureFault::Damaged);
    EXPECT_STREQ(refused.reason, "IDAT: more image data than the picture's rows can hold");
    // Reading a gigabyte of inflated zeros takes about a second of CPU; both took far less.
    EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, 0.5);
}

TEST(PngLimits, AncillaryChunksAreSkippedUnread)
{
    // Chunks the pixels do not need, between the palette and the image data
    // (a tRNS too long to be one), each with a wrong CRC: passed over.
    const Bytes blank = blankPicture();
    const Bytes head = pictureHead();
    Bytes picture(blank.begin(), blank.begin() + static_cast<long>(head.size()));
    for (const char* type : {"tEXt", "zTXt", "iTXt", "iCCP", "sPLT", "pCAL", "sCAL", "abCd", "tRNS"}) {
        Bytes junk = chunk(type, Bytes(type == std::string("tRNS") ? 300 : 5000, 0xA5));
        junk.back() ^= 0xFF;
        append(picture, junk);
    }
    picture.insert(picture.end(), blank.begin() + static_cast<long>(head.size()), blank.end());
    DecodedPicture decoded;
    EXPECT_EQ(readBytes(picture, decoded).fault, PictureFault::None);

    // As many sparse chunks of 2 MiB each as a picture may have beside IHDR,
    // PLTE and the IDAT of its rows, in a file: a gigabyte skipped, not read.
    TempDir dir;
    const fs::path path = dir / "sparse.png";
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), file);
    for (std::uint32_t k = 0; k < kMaxPictureChunks - 3; ++k) {
        Bytes header;
        appendBigEndian(header, 0x200000);
        header.insert(header.end(), {'z', 'T', 'X', 't'});
        std::fwrite(header.data(), 1, header.size(), file);
        std::fseek(file, 0x200000 + 4, SEEK_CUR);
    }
    std::fwrite(blank.data() + head.size(), 1, blank.size() - head.size(), file);
    std::fclose(file);
    file = std::fopen(path.string().c_str(), "rb");
    PictureSource source;
    source.file = file;
    const std::clock_t start = std::clock();
    EXPECT_EQ(readPicture(source, 128, kRows, decoded).fault, PictureFault::None);
    EXPECT_LT(double(std::clock() - start) / CLOCKS_PER_SEC, 0.2);  // reading a gigabyte would take longer
    std::fclose(file);
}

#if defined(__GLIBC__)

// A stream over `bytes` (fopencookie) that counts the reads and seeks the
// stream makes of it: the system calls that a file would cost.
struct CountedBytes {
    const Bytes* bytes = nullptr;
    std::size_t position = 0;
    std::uint32_t reads = 0;
    std::uint32_t seeks = 0;
};

ssize_t countedRead(void* cookie, char* into, std::size_t size)
{
    CountedBytes& counted = *static_cast<CountedBytes*>(cookie);
    ++counted.reads;
    const std::size_t left = counted.bytes->size() - counted.position;
    const std::size_t now = size < left ? size : left;
    std::memcpy(into, counted.bytes->data() + counted.position, now);
    counted.position += now;
    return static_cast<ssize_t>(now);
}

int countedSeek(void* cookie, off64_t* offset, int whence)
{
    CountedBytes& counted = *static_cast<CountedBytes*>(cookie);
    ++counted.seeks;
    const off64_t base = whence == SEEK_SET ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(counted.position)
                                              : static_cast<off64_t>(counted.bytes->size());
    counted.position = static_cast<std::size_t>(base + *offset);
    *offset = base + *offset;
    return 0;
}

TEST(PngLimits, ChunksPassedOverCostNoSystemCallEach)
{
    // The most empty chunks a picture may have, then its rows: refused with
    // one chunk more, and read either way with a few reads and seeks of the
    // file, not one for every chunk.
    const Bytes blank = blankPicture();
    const Bytes head = pictureHead();
    for (const std::uint32_t extra : {0u, 1u}) {
        Bytes png = head;
        for (std::uint32_t k = 0; k < kMaxPictureChunks - 3 + extra; ++k) {
            append(png, chunk("tEXt", {}));
        }
        png.insert(png.end(), blank.begin() + static_cast<long>(head.size()), blank.end());
        CountedBytes counted;
        counted.bytes = &png;
        std::FILE* file = fopencookie(&counted, "rb", {countedRead, nullptr, countedSeek, nullptr});
        ASSERT_NE(file, nullptr);
        PictureSource source;
        source.file = file;
        DecodedPicture picture;
        const PictureReadResult result = readPicture(source, 128, kRows, picture);
        std::fclose(file);
        if (extra == 0) {
            EXPECT_EQ(result.fault, PictureFault::None) << result.reason;
        } else {
            EXPECT_EQ(result.fault, PictureFault::Damaged);
            EXPECT_STREQ(result.reason, "it holds more chunks than any picture needs");
        }
        EXPECT_LE(counted.reads + counted.seeks, 8u) << counted.reads << " reads, " << counted.seeks << " seeks";
    }
}

#endif

TEST(PngLimits, MalformedStructureIsDamagedWithAReason)
{
    DecodedPicture picture;
    const Bytes head = pictureHead();
    const Bytes blank = blankPicture();
    const auto withChunk = [&](const Bytes& extra) {
        Bytes out = head;
        append(out, extra);
        out.insert(out.end(), blank.begin() + static_cast<long>(head.size()), blank.end());
        return out;
    };
    struct Case {
        const char* what;
        Bytes png;
        const char* reason;
    };
    Bytes emptyHeader = signature();
    append(emptyHeader, chunk("IHDR", {}));
    append(emptyHeader, Bytes(head.begin() + 33, head.end()));
    Bytes shortHeader = signature();
    append(shortHeader, chunk("IHDR", Bytes(head.begin() + 16, head.begin() + 28)));
    // Rows whose fourth filter byte names no filter, at 4 bits (read without
    // libpng) and at 8 bits (read with it).
    const auto badFilter = [&](std::uint8_t bitDepth) {
        Bytes header;
        appendBigEndian(header, 128);
        appendBigEndian(header, kRows);
        header.insert(header.end(), {bitDepth, 3, 0, 0, 0});
        const std::size_t rowBytes = 128u * bitDepth / 8 + 1;
        Bytes rows(kRows * rowBytes, 0);
        rows[3 * rowBytes] = 5;
        Bytes packed(compressBound(static_cast<uLong>(rows.size())));
        uLongf length = static_cast<uLongf>(packed.size());
        compress(packed.data(), &length, rows.data(), static_cast<uLong>(rows.size()));
        packed.resize(length);
        Bytes out = signature();
        append(out, chunk("IHDR", header));
        append(out, Bytes(head.begin() + 33, head.end()));
        append(out, chunk("IDAT", packed));
        append(out, chunk("IEND", {}));
        return out;
    };
    Bytes manyChunks = head;
    for (std::uint32_t k = 0; k < kMaxPictureChunks; ++k) {
        append(manyChunks, chunk("tEXt", {}));
    }
    const Case cases[] = {
        {"an empty IHDR", emptyHeader, "IHDR: too short to hold the picture's size"},
        {"an IHDR of 12 bytes", shortHeader, "IHDR: too short to hold the picture's size"},
        {"an unknown critical chunk", withChunk(chunk("CRIT", {1, 2, 3})), "CRIT: unhandled critical chunk"},
        {"a palette too long", withChunk(chunk("PLTE", Bytes(771, 0))), "PLTE: invalid"},
        {"a chunk type that is no name", withChunk(chunk("a1b2", {})), "invalid chunk type"},
        {"IHDR, PLTE and kMaxPictureChunks more", manyChunks, "it holds more chunks than any picture needs"},
        {"filter type 5 at 4 bits", badFilter(4), "bad adaptive filter value"},
        {"filter type 5 at 8 bits", badFilter(8), "bad adaptive filter value"},
        {"a pixel changed in a stored picture", [] {
             Bytes sheet(2048, 0);
             PictureSheet layout{0x21, sheet.data(), 2048, false};
             EncodedPicture encoded;
             encodeSheetPicture("GFX21.png", &layout, 1, encoded);
             Bytes png(encoded.bytes, encoded.bytes + encoded.length);
             png[png.size() - 12 - 4 - 4 - 100] ^= 0x40;  // before IEND, the CRC and the stream's checksum
             return png;
         }(), "IDAT: CRC error"},
    };
    for (const Case& c : cases) {
        const PictureReadResult result = readBytes(c.png, picture);
        EXPECT_EQ(result.fault, PictureFault::Damaged) << c.what;
        EXPECT_STREQ(result.reason, c.reason) << c.what;
    }
}

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
