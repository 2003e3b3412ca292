// Writing pictures of the tool's own form, put together here without libpng:
// 4-bit indexed, not interlaced, the rows stored without compression (deflate
// blocks of type 0), under zlib's checksums. The tool's own pictures are read
// back and written again often; measured on the sample ROM, compressing them
// (level 1, with run-length matches) made an extraction to one combined
// picture 3.6 times as long as one to the raw combined file, and libpng's
// zlib set-up for each of 223 per-sheet pictures (clearing its tables) cost
// more than all the rest of such an extraction. The files are larger (all
// sheets of a ROM: 494 KB against 187 KB at level 1); an image editor
// compresses a picture again when it saves it.

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sheetfile/png_picture.h"
#include "sheetfile/png_picture_messages.h"
#include "sheetfile/png_format.h"
#include "sheetfile/png_limits.h"

namespace {

// A picture being encoded into `picture`, grown as needed; `failed` once
// memory ran out.
struct PictureWriter {
    EncodedPicture& picture;
    bool failed = false;
};

std::uint8_t* reserve(PictureWriter& writer, std::size_t count)
{
    EncodedPicture& picture = writer.picture;
    if (writer.failed) {
        return nullptr;
    }
    if (count > picture.capacity - picture.length) {
        std::size_t capacity = picture.capacity < 0x10000 ? 0x10000 : picture.capacity;
        while (count > capacity - picture.length) {
            capacity *= 2;
        }
        void* grown = std::realloc(picture.bytes, capacity);
        if (grown == nullptr) {
            writer.failed = true;
            return nullptr;
        }
        picture.bytes = static_cast<std::uint8_t*>(grown);
        picture.capacity = capacity;
    }
    std::uint8_t* at = picture.bytes + picture.length;
    picture.length += count;
    return at;
}

void putBigEndian32(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// Writes the length, type and CRC of the chunk at `at`, whose `length` data
// bytes are already in place after its header.
void sealChunk(std::uint8_t* at, const char* type, std::uint32_t length)
{
    putBigEndian32(at, length);
    std::memcpy(at + 4, type, 4);
    const uLong crc = crc32_z(crc32_z(0, nullptr, 0), at + 4, 4 + std::size_t{length});
    putBigEndian32(at + kChunkHeaderSize + length, static_cast<std::uint32_t>(crc));
}

// Appends a chunk of `type` with the `length` bytes at `data`, and its CRC.
void putChunk(PictureWriter& writer, const char* type, const std::uint8_t* data, std::uint32_t length)
{
    std::uint8_t* at = reserve(writer, kChunkHeaderSize + std::size_t{length} + kCrcSize);
    if (at == nullptr) {
        return;
    }
    if (length != 0) {
        std::memcpy(at + kChunkHeaderSize, data, length);
    }
    sealChunk(at, type, length);
}

// The zlib stream of the rows, stored without compression (deflate blocks
// of type 0), each row led by filter type 0 (none), in IDAT chunks of at most
// kImageChunkSize bytes. The stream is laid out as libpng and zlib lay out an
// uncompressed picture fed to them a row at a time: the window no larger than
// the rows need (from 32 KiB down, while the rows and 262 bytes fit in half of
// it, for at most 16 KiB of rows), each block as many whole rows as first
// reach the window's size, the last one what is left. So the pictures are
// the same bytes as those the tool wrote through libpng before.
constexpr std::uint32_t kImageChunkSize = 0x2000;

// How the stored rows of a picture are laid out in its zlib stream.
struct StoredRows {
    std::size_t raw = 0;          // the rows' bytes, filter bytes included
    std::uint32_t windowBits = 0;
    std::uint32_t blockLimit = 0;  // the most bytes of rows in one block
    std::size_t total = 0;        // the whole zlib stream
    std::size_t chunks = 0;       // the IDAT chunks that hold it
};

constexpr std::size_t kChunkFrame = kChunkHeaderSize + kCrcSize;

StoredRows storedRowsOf(std::uint32_t rowBytes, std::uint32_t height)
{
    StoredRows rows;
    rows.raw = (std::size_t{rowBytes} + 1) * height;
    rows.windowBits = 15;
    if (rows.raw <= 0x4000) {
        for (std::size_t half = std::size_t{1} << (rows.windowBits - 1); rows.raw + 262 <= half; half >>= 1) {
            --rows.windowBits;
        }
    }
    const std::uint32_t rowLength = rowBytes + 1;
    rows.blockLimit = ((1u << rows.windowBits) + rowLength - 1) / rowLength * rowLength;
    const std::size_t blocks = rows.raw == 0 ? 1 : (rows.raw + rows.blockLimit - 1) / rows.blockLimit;
    rows.total = 2 + 5 * blocks + rows.raw + 4;
    rows.chunks = (rows.total + kImageChunkSize - 1) / kImageChunkSize;
    return rows;
}

void putImageData(PictureWriter& writer, const std::uint8_t* packed, std::uint32_t rowBytes, std::uint32_t height)
{
    const StoredRows rows = storedRowsOf(rowBytes, height);
    const std::size_t raw = rows.raw;
    const std::uint32_t windowBits = rows.windowBits;
    const std::uint32_t rowLength = rowBytes + 1;
    const std::uint32_t blockLimit = rows.blockLimit;
    const std::size_t total = rows.total;
    const std::size_t chunks = rows.chunks;
    // The chunks' room in the picture; the stream is laid out at its end
    // first, then each piece moved forward into its chunk. A piece's chunk
    // ends, its CRC included, before the next piece begins.
    std::uint8_t* region = reserve(writer, chunks * kChunkFrame + total);
    if (region == nullptr) {
        return;
    }
    std::uint8_t* const stream = region + chunks * kChunkFrame;
    std::uint8_t* out = stream;
    // zlib header: deflate with that window, no dictionary, the fastest level
    // (its check bits make the two bytes a multiple of 31); blocks; Adler-32.
    const std::uint32_t header = (8u + ((windowBits - 8u) << 4)) << 8;
    *out++ = static_cast<std::uint8_t>(header >> 8);
    *out++ = static_cast<std::uint8_t>(31 - header % 31);
    uLong adler = adler32_z(0, nullptr, 0);
    std::size_t left = raw;
    std::uint32_t y = 0;
    do {
        const std::uint32_t size = left < blockLimit ? static_cast<std::uint32_t>(left) : blockLimit;
        left -= size;
        *out++ = left == 0 ? 1 : 0;  // the last block says so
        *out++ = static_cast<std::uint8_t>(size);
        *out++ = static_cast<std::uint8_t>(size >> 8);
        *out++ = static_cast<std::uint8_t>(~size);
        *out++ = static_cast<std::uint8_t>(~size >> 8);
        const std::uint8_t* blockStart = out;
        // Whole rows: each its filter byte, then its pixels.
        for (std::uint32_t filled = 0; filled < size; filled += rowLength, ++y) {
            *out++ = 0;  // filter type: none
            std::memcpy(out, packed + std::size_t{y} * rowBytes, rowBytes);
            out += rowBytes;
        }
        adler = adler32_z(adler, blockStart, size);
    } while (left != 0);
    putBigEndian32(out, static_cast<std::uint32_t>(adler));
    for (std::size_t k = 0; k < chunks; ++k) {
        const std::size_t at = k * kImageChunkSize;
        const std::size_t piece = total - at < kImageChunkSize ? total - at : kImageChunkSize;
        std::uint8_t* chunk = region + k * (kImageChunkSize + kChunkFrame);
        std::memmove(chunk + kChunkHeaderSize, stream + at, piece);
        sealChunk(chunk, "IDAT", static_cast<std::uint32_t>(piece));
    }
}

}  // namespace

EncodedPicture::~EncodedPicture()
{
    std::free(bytes);
}

bool encodePackedPicture(const std::uint8_t* packed, std::uint32_t width, std::uint32_t height,
                         const PaletteColour* palette, std::uint32_t colours, EncodedPicture& picture,
                         char (&reason)[kPictureReasonSize])
{
    PictureWriter writer{picture};
    picture.length = 0;
    // The whole picture's size, known before a byte is put: one allocation
    // of just that, as a plan holds a picture for each of its files.
    const StoredRows rows = storedRowsOf((width + 1) / 2, height);
    const std::size_t size = kSignatureSize + (kChunkFrame + kHeaderLength) + (kChunkFrame + 3 * colours) +
                             rows.chunks * kChunkFrame + rows.total + kChunkFrame;
    if (picture.capacity < size) {
        void* sized = std::realloc(picture.bytes, size);
        if (sized == nullptr) {
            std::snprintf(reason, sizeof reason, "%s", kReasonOutOfMemory);
            return false;
        }
        picture.bytes = static_cast<std::uint8_t*>(sized);
        picture.capacity = size;
    }
    std::uint8_t* signature = reserve(writer, kSignatureSize);
    if (signature != nullptr) {
        std::memcpy(signature, kPngSignature, kSignatureSize);
    }
    // Width, height, bit depth 4, colour type 3 (indexed), compression 0,
    // filter method 0, no interlace.
    std::uint8_t header[kHeaderLength] = {0, 0, 0, 0, 0, 0, 0, 0, 4, 3, 0, 0, 0};
    putBigEndian32(header, width);
    putBigEndian32(header + 4, height);
    putChunk(writer, "IHDR", header, kHeaderLength);
    std::uint8_t entries[3 * 16];
    for (std::uint32_t index = 0; index < colours; ++index) {
        entries[3 * index] = palette[index].red;
        entries[3 * index + 1] = palette[index].green;
        entries[3 * index + 2] = palette[index].blue;
    }
    putChunk(writer, "PLTE", entries, 3 * colours);
    putImageData(writer, packed, (width + 1) / 2, height);
    putChunk(writer, "IEND", nullptr, 0);
    std::snprintf(reason, sizeof reason, "%s", writer.failed ? kReasonOutOfMemory : "");
    return !writer.failed;
}
