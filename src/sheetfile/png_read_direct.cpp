// Reading a picture of the tool's own form (4-bit indexed, not interlaced)
// without libpng: zlib inflates the image data straight into the rows, which
// are unfiltered here and kept packed as stored, since libpng's row-by-row
// handling cost more than all the rest of reading such a picture. The chunk
// loop of png_reading.h decides which chunks are read at all; every chunk
// read is checked against its CRC, as libpng checks it.

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sheetfile/png_picture_messages.h"
#include "sheetfile/png_reading.h"

namespace {

// The state of one direct reading; `stream` holds zlib's state while
// `inflating` is set.
struct DirectRead {
    PictureRead* read = nullptr;
    bool havePalette = false;
    bool inflating = false;
    z_stream stream{};
};

// The CRC of a chunk's type and data against the 4 bytes after them.
bool crcHolds(uLong crc, const std::uint8_t* stored)
{
    return static_cast<std::uint32_t>(crc) == bigEndian32(stored);
}

// PLTE: at most 256 entries, as many as the bit depth can index kept, as
// libpng keeps them.
bool readPaletteChunk(DirectRead& direct, const ChunkHead& head)
{
    PictureRead& read = *direct.read;
    const std::uint32_t length = head.length;
    std::uint8_t data[kMaxPaletteChunk + kCrcSize];
    if (direct.havePalette || length == 0 || length % 3 != 0) {
        return refuseAsDamaged(read, direct.havePalette ? kReasonPaletteDuplicate : kReasonPaletteInvalid);
    }
    if (readUpTo(*read.reader, data, length + kCrcSize) != length + kCrcSize) {
        return refuseShortFile(read);
    }
    const uLong crc = crc32(crc32(0, head.bytes + 4, 4), data, length);
    if (!crcHolds(crc, data + length)) {
        return refuseChunkCrc(read, head.bytes + 4);
    }
    DecodedPicture& picture = *read.picture;
    const std::uint32_t entries = length / 3;
    picture.paletteSize = entries < picture.indexLimit ? entries : picture.indexLimit;
    for (std::uint32_t index = 0; index < picture.paletteSize; ++index) {
        picture.palette[index] = {data[3 * index], data[3 * index + 1], data[3 * index + 2]};
    }
    direct.havePalette = true;
    return true;
}

// IDAT: its data inflated into the rows until they are all there, all of it
// under the chunk's CRC.
bool inflateChunk(DirectRead& direct, const ChunkHead& head)
{
    PictureRead& read = *direct.read;
    if (!direct.havePalette) {
        return refuseAsDamaged(read, kReasonNoPaletteBeforeImageData);
    }
    uLong crc = crc32(0, head.bytes + 4, 4);
    std::uint64_t left = head.length;
    while (left > 0) {
        const std::uint8_t* at = nullptr;
        std::size_t got = 0;
        const std::size_t want = left < kReadBufferSize ? static_cast<std::size_t>(left) : kReadBufferSize;
        if (!nextPiece(*read.reader, want, at, got)) {
            return refuseShortFile(read);
        }
        left -= got;
        crc = crc32(crc, at, static_cast<uInt>(got));
        z_stream& stream = direct.stream;
        stream.next_in = const_cast<Bytef*>(at);  // zlib only reads its input
        stream.avail_in = static_cast<uInt>(got);
        while (!read.lastRowRead && stream.avail_in > 0) {
            const int status = inflate(&stream, Z_NO_FLUSH);
            if (stream.avail_out == 0) {
                read.lastRowRead = true;  // whatever follows is not inflated
            } else if (status == Z_STREAM_END) {
                return refuseAsDamaged(read, kReasonNotEnoughImageData);
            } else if (status == Z_MEM_ERROR) {
                return refuse(read, PictureFault::OutOfMemory);
            } else if (status != Z_OK) {
                char reason[kPictureReasonSize];
                std::snprintf(reason, sizeof reason, kFmtReasonInflate,
                              stream.msg != nullptr ? stream.msg : kReasonInflateFailed);
                return refuseAsDamaged(read, reason);
            }
        }
    }
    std::uint8_t stored[kCrcSize];
    if (readUpTo(*read.reader, stored, kCrcSize) != kCrcSize) {
        return refuseShortFile(read);
    }
    return crcHolds(crc, stored) || refuseChunkCrc(read, head.bytes + 4);
}

// The Paeth predictor of the PNG filters.
std::uint8_t paeth(std::uint8_t left, std::uint8_t above, std::uint8_t aboveLeft)
{
    const int estimate = left + above - aboveLeft;
    const int toLeft = estimate > left ? estimate - left : left - estimate;
    const int toAbove = estimate > above ? estimate - above : above - estimate;
    const int toAboveLeft = estimate > aboveLeft ? estimate - aboveLeft : aboveLeft - estimate;
    if (toLeft <= toAbove && toLeft <= toAboveLeft) {
        return left;
    }
    return toAbove <= toAboveLeft ? above : aboveLeft;
}

// Undoes the rows' filters (one byte a pixel step, as at 4 bits a pixel) and
// closes up the filter bytes, so that row y starts at y * rowBytes. False for
// a filter type that does not exist.
bool unfilterRows(DecodedPicture& picture)
{
    const std::uint32_t width = picture.rowBytes;
    std::uint8_t* rows = picture.pixels;
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        const std::uint8_t* in = rows + std::size_t{y} * (width + 1);
        std::uint8_t* out = rows + std::size_t{y} * width;  // at or before `in`: written as read
        const std::uint8_t* above = y > 0 ? out - width : nullptr;
        const std::uint8_t filter = in[0];
        ++in;
        if (filter == 0 || (filter == 2 && above == nullptr)) {
            std::memmove(out, in, width);
            continue;
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t left = x > 0 ? out[x - 1] : 0;
            const std::uint8_t up = above != nullptr ? above[x] : 0;
            const std::uint8_t upLeft = above != nullptr && x > 0 ? above[x - 1] : 0;
            std::uint8_t predicted = 0;
            switch (filter) {
            case 1:
                predicted = left;
                break;
            case 2:
                predicted = up;
                break;
            case 3:
                predicted = static_cast<std::uint8_t>((left + up) / 2);
                break;
            case 4:
                predicted = paeth(left, up, upLeft);
                break;
            default:
                return false;
            }
            out[x] = static_cast<std::uint8_t>(in[x] + predicted);
        }
    }
    return true;
}

// Checks IHDR's CRC, then inflates every IDAT chunk into the rows, each with
// its filter byte, and unfilters them.
bool readRows(DirectRead& direct)
{
    PictureRead& read = *direct.read;
    const std::uint8_t* header = read.header;
    const uLong crc = crc32(0, header + kSignatureSize + 4, 4 + kHeaderLength);
    if (!crcHolds(crc, header + kHeaderChunkEnd - kCrcSize)) {
        return refuseChunkCrc(read, header + kSignatureSize + 4);
    }
    DecodedPicture& picture = *read.picture;
    picture.layout = PixelLayout::PackedIndices;
    picture.rowBytes = (picture.width + 1) / 2;
    picture.indexLimit = 16;
    const std::size_t filtered = std::size_t{picture.height} * (picture.rowBytes + 1);
    picture.pixels = static_cast<std::uint8_t*>(std::malloc(filtered));
    if (picture.pixels == nullptr || inflateInit(&direct.stream) != Z_OK) {
        return refuse(read, PictureFault::OutOfMemory);
    }
    direct.inflating = true;
    // As on libpng's path: the stream's checksum follows the last row; the CRCs guard the data.
    inflateValidate(&direct.stream, 0);
    direct.stream.next_out = picture.pixels;
    direct.stream.avail_out = static_cast<uInt>(filtered);
    while (!read.lastRowRead) {
        ChunkHead head;
        if (!nextPixelChunk(read, false, head)) {
            return false;
        }
        if (head.kind == PixelChunk::End) {
            break;
        }
        const bool taken = head.kind == PixelChunk::Palette ? readPaletteChunk(direct, head) : inflateChunk(direct, head);
        if (!taken) {
            return false;
        }
    }
    if (!read.lastRowRead) {
        return refuseAsDamaged(read, kReasonNotEnoughImageData);
    }
    return unfilterRows(picture) || refuseAsDamaged(read, kReasonBadFilter);
}

}  // namespace

bool readDirectly(PictureRead& read)
{
    DirectRead direct;
    direct.read = &read;
    const bool done = readRows(direct);
    if (direct.inflating) {
        inflateEnd(&direct.stream);
    }
    return done;
}
