#include "sheetfile/png_reading.h"

// The file's bytes through one buffer, and the chunk loop both readers share:
// lengths and types checked, chunks counted, ancillary ones the pixels do not need
// skipped, unknown critical ones refused.

#include <cerrno>
#include <cstdio>
#include <limits>

#include "sheetfile/png_picture_messages.h"

namespace {

// Makes bytes be at hand, reading from the file when none are: false when
// none remain or the file cannot be read.
bool fill(ByteReader& reader)
{
    if (reader.next < reader.end) {
        return true;
    }
    if (reader.file == nullptr || reader.failed) {
        return false;
    }
    const std::size_t want = reader.fillSize;
    const std::size_t got = std::fread(reader.buffer, 1, want, reader.file);
    if (got < want && std::ferror(reader.file) != 0) {
        reader.failed = true;
        reader.systemError = errno;
    }
    reader.next = 0;
    reader.end = got;
    reader.fillSize = want < kReadBufferSize / 2 ? 2 * want : kReadBufferSize;
    return got > 0;
}

// Passes over `count` bytes unread; past the end, the next read finds none.
// False when the file cannot seek.
bool skipBytes(ByteReader& reader, std::uint64_t count)
{
    const std::size_t atHand = reader.end - reader.next;
    if (count <= atHand) {
        reader.next += static_cast<std::size_t>(count);
        return true;
    }
    count -= atHand;
    reader.next = reader.end;
    if (reader.file == nullptr) {
        return true;
    }
    // As far as a long reaches at once: one seek where it has 64 bits, a few
    // where it has 32 (Windows).
    constexpr std::uint64_t step = std::uint64_t{std::numeric_limits<long>::max()};
    while (count > 0) {
        const std::uint64_t now = count < step ? count : step;
        if (std::fseek(reader.file, static_cast<long>(now), SEEK_CUR) != 0) {
            reader.failed = true;
            reader.systemError = errno;
            return false;
        }
        count -= now;
    }
    reader.fillSize = kReadAfterSeek;
    return true;
}

}  // namespace

void startReading(ByteReader& reader, const PictureSource& source)
{
    reader.file = source.file;
    reader.bytes = source.file != nullptr ? reader.buffer : source.bytes;
    reader.next = 0;
    reader.end = source.file != nullptr ? 0 : source.length;
    reader.fillSize = kReadBufferSize;
    reader.failed = false;
    reader.systemError = 0;
}

std::size_t readUpTo(ByteReader& reader, std::uint8_t* into, std::size_t count)
{
    std::size_t copied = 0;
    while (copied < count && fill(reader)) {
        const std::size_t atHand = reader.end - reader.next;
        const std::size_t now = count - copied < atHand ? count - copied : atHand;
        std::memcpy(into + copied, reader.bytes + reader.next, now);
        reader.next += now;
        copied += now;
    }
    return copied;
}

bool nextPiece(ByteReader& reader, std::size_t count, const std::uint8_t*& at, std::size_t& got)
{
    got = 0;
    if (!fill(reader)) {
        return false;
    }
    const std::size_t atHand = reader.end - reader.next;
    const std::size_t limit = count < kReadBufferSize ? count : kReadBufferSize;
    got = limit < atHand ? limit : atHand;
    at = reader.bytes + reader.next;
    reader.next += got;
    return got > 0;
}

void stopReading(ByteReader& reader)
{
    const std::size_t ahead = reader.end - reader.next;
    if (reader.file != nullptr && !reader.failed && ahead > 0 &&
        std::fseek(reader.file, -static_cast<long>(ahead), SEEK_CUR) == 0) {
        reader.next = reader.end;
    }
}

bool refuse(PictureRead& read, PictureFault fault)
{
    read.result->fault = fault;
    if (fault == PictureFault::CannotRead) {
        read.result->systemError = read.reader->systemError;
    }
    return false;
}

bool refuseAsDamaged(PictureRead& read, const char* reason)
{
    std::snprintf(read.result->reason, sizeof read.result->reason, "%s", reason);
    return refuse(read, PictureFault::Damaged);
}

bool refuseShortFile(PictureRead& read)
{
    return refuse(read, read.reader->failed ? PictureFault::CannotRead : PictureFault::EndsEarly);
}

bool refuseChunkCrc(PictureRead& read, const std::uint8_t* type)
{
    char reason[kPictureReasonSize];
    std::snprintf(reason, sizeof reason, kFmtReasonChunkCrc, type[0], type[1], type[2], type[3]);
    return refuseAsDamaged(read, reason);
}

bool nextPixelChunk(PictureRead& read, bool transparency, ChunkHead& head)
{
    for (;;) {
        if (readUpTo(*read.reader, head.bytes, sizeof head.bytes) != sizeof head.bytes) {
            return refuseShortFile(read);
        }
        if (++read.chunks > kMaxPictureChunks) {
            return refuseAsDamaged(read, kReasonTooManyChunks);
        }
        head.length = bigEndian32(head.bytes);
        const std::uint8_t* type = head.bytes + 4;
        if (head.length > kMaxChunkLength) {
            return refuseAsDamaged(read, kReasonChunkLengthOutOfRange);
        }
        for (std::uint32_t k = 0; k < 4; ++k) {
            const std::uint8_t letter = static_cast<std::uint8_t>(type[k] | 0x20);
            if (letter < 'a' || letter > 'z') {
                return refuseAsDamaged(read, kReasonInvalidChunkType);
            }
        }
        if (chunkIs(type, "IDAT")) {
            read.imageData += head.length;
            if (read.imageData > read.imageDataBudget) {
                return refuseAsDamaged(read, kReasonTooMuchImageData);
            }
            head.kind = PixelChunk::ImageData;
            return true;
        }
        if (chunkIs(type, "IEND")) {
            head.kind = PixelChunk::End;
            return true;
        }
        if (chunkIs(type, "PLTE")) {
            if (head.length > kMaxPaletteChunk) {
                return refuseAsDamaged(read, kReasonPaletteInvalid);
            }
            head.kind = PixelChunk::Palette;
            return true;
        }
        // An indexed picture's transparency is not used.
        if (transparency && chunkIs(type, "tRNS") && head.length <= kMaxTransparencyChunk) {
            head.kind = PixelChunk::Transparency;
            return true;
        }
        const bool ancillary = (type[0] & 0x20) != 0;
        if (!ancillary) {
            char reason[kPictureReasonSize];
            std::snprintf(reason, sizeof reason, kFmtReasonUnhandledCriticalChunk, type[0], type[1], type[2],
                          type[3]);
            return refuseAsDamaged(read, reason);
        }
        // Not needed for the pixels (libpng would ignore a tRNS that long).
        if (!skipBytes(*read.reader, std::uint64_t{head.length} + kCrcSize)) {
            return refuseShortFile(read);
        }
    }
}
