// Hostile pictures read by the reader itself: chunks that declare more than
// the file holds, ancillary chunks by the gigabyte, image data that inflates
// far past the last row, chunks by the hundred, headers too short to hold a
// size. Each is read or refused with bounded work; png_limits_binary_test.cpp
// runs such pictures through the real binary.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "png_test_support.h"
#include "sheetfile/png_picture.h"
#include "sheetfile/png_sheet_file.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

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

}  // namespace
