#include "sheetfile/png_reading.h"

// Reading a picture: its signature and header checked here, then its chunks
// read by the direct reader of the tool's own form (png_read_direct.cpp) or
// by libpng's (png_read_libpng.cpp), both over the chunk loop of
// png_reading.cpp.

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "sheetfile/png_picture_messages.h"

namespace {

// The IDAT bytes a picture of this header can need at most: every row with
// its filter byte at the header's sample size, interlaced or not.
std::uint64_t imageDataBudget(const std::uint8_t* header, std::uint32_t width, std::uint32_t height)
{
    const std::uint32_t bitDepth = header[24];
    std::uint32_t channels = 4;
    switch (header[25]) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        channels = 1;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        channels = 2;
        break;
    case PNG_COLOR_TYPE_RGB:
        channels = 3;
        break;
    default:
        break;
    }
    const std::uint64_t rowBytes = (std::uint64_t{width} * channels * (bitDepth <= 16 ? bitDepth : 16) + 7) / 8;
    // An interlaced picture has up to 15 pass rows for every 8 rows, each with a filter byte.
    return 2 * std::uint64_t{height} * (rowBytes + 2) + kImageDataSlack;
}

// Whether the header is of the tool's own form: 4-bit indexed, not
// interlaced, the standard compression and filter methods.
bool isOwnForm(const std::uint8_t* header)
{
    return header[24] == 4 && header[25] == PNG_COLOR_TYPE_PALETTE && header[26] == 0 && header[27] == 0 &&
           header[28] == PNG_INTERLACE_NONE;
}

// Checks the signature and the IHDR chunk's size fields; reads the rest of
// that chunk into read.header when they hold.
bool checkHeader(PictureRead& read, std::uint32_t width, std::uint32_t height)
{
    std::uint8_t* header = read.header;
    const std::size_t got = readUpTo(*read.reader, header, kSizeFieldsEnd);
    if (read.reader->failed) {
        return refuse(read, PictureFault::CannotRead);
    }
    const std::size_t signatureBytes = got < kSignatureSize ? got : kSignatureSize;
    if (got == 0 || png_sig_cmp(header, 0, signatureBytes) != 0) {
        return refuse(read, PictureFault::NotPng);
    }
    if (got < kSizeFieldsEnd) {
        return refuse(read, PictureFault::EndsInHeader);
    }
    if (!chunkIs(header + 12, "IHDR")) {
        return refuseAsDamaged(read, kReasonNoHeaderChunk);
    }
    const std::uint32_t headerLength = bigEndian32(header + 8);
    if (headerLength < kHeaderLength) {
        return refuseAsDamaged(read, kReasonHeaderTooShort);
    }
    read.result->width = bigEndian32(header + 16);
    read.result->height = bigEndian32(header + 20);
    if (read.result->width != width || read.result->height != height) {
        return refuse(read, PictureFault::OtherSize);
    }
    if (headerLength != kHeaderLength) {
        return refuseAsDamaged(read, kReasonHeaderLength);
    }
    const std::size_t rest = kHeaderChunkEnd - kSizeFieldsEnd;
    if (readUpTo(*read.reader, header + kSizeFieldsEnd, rest) != rest) {
        return refuseShortFile(read);
    }
    return true;
}

}  // namespace

DecodedPicture::~DecodedPicture()
{
    std::free(pixels);
}

PictureReadResult readPicture(const PictureSource& source, std::uint32_t width, std::uint32_t height,
                              DecodedPicture& picture)
{
    PictureReadResult result;
    std::free(picture.pixels);
    picture.pixels = nullptr;
    picture.width = width;
    picture.height = height;
    picture.indexLimit = 0;
    picture.paletteSize = 0;
    std::memset(picture.palette, 0, sizeof picture.palette);

    const std::unique_ptr<ByteReader> reader(new (std::nothrow) ByteReader);
    if (!reader) {
        result.fault = PictureFault::OutOfMemory;
        return result;
    }
    startReading(*reader, source);
    PictureRead read;
    read.reader = reader.get();
    read.picture = &picture;
    read.result = &result;
    if (checkHeader(read, width, height)) {
        read.imageDataBudget = imageDataBudget(read.header, width, height);
        if (isOwnForm(read.header)) {
            readDirectly(read);
        } else {
            readWithLibpng(read);
        }
    }
    stopReading(*reader);
    return result;
}
