#include "sheetfile/png_picture.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// libpng reports errors through onPngError, which records the text and jumps
// back to the setjmp in the one function that talks to libpng
// (readWithLibpng). That function and the callbacks libpng
// calls from them keep nothing in locals that the jump could leave stale:
// everything that outlives it is in a record owned by their caller, which
// frees it on every path. No C++ object with a destructor lives in a frame
// that a jump crosses.
//
// Reading goes chunk by chunk through one loop, which decides which chunks
// are read at all. Their consumer is libpng's progressive reader, which
// inflates only what the rows need (a stream that goes on past the last row
// is cut there); or, for the tool's own form, zlib straight into the rows
// (readDirectly), since libpng's row-by-row handling cost more than all the
// rest of reading such a picture.
//
// Written pictures are the tool's own form, put together here without libpng:
// the rows stored without compression (deflate blocks of type 0). The tool's
// own pictures are read back and written again often; measured on the sample
// ROM, compressing them (level 1, with run-length matches) made an extraction
// to one combined picture 3.6 times as long as one to the raw combined file,
// and libpng's zlib set-up for each of 223 per-sheet pictures (clearing its
// tables) cost more than all the rest of such an extraction. The files are
// larger (all sheets of a ROM: 494 KB against 187 KB at level 1); an image
// editor compresses a picture again when it saves it.

namespace {

constexpr std::uint32_t kSignatureSize = 8;
constexpr std::uint32_t kChunkHeaderSize = 8;  // length and type
constexpr std::uint32_t kCrcSize = 4;
constexpr std::uint32_t kHeaderLength = 13;    // IHDR's data
// The signature, then the IHDR chunk's length, type, width and height; and
// the whole IHDR chunk.
constexpr std::uint32_t kSizeFieldsEnd = kSignatureSize + kChunkHeaderSize + 8;
constexpr std::uint32_t kHeaderChunkEnd = kSignatureSize + kChunkHeaderSize + kHeaderLength + kCrcSize;
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr std::uint32_t kMaxPaletteChunk = 3 * kMaxPaletteEntries;
constexpr std::uint32_t kMaxTransparencyChunk = kMaxPaletteEntries;
constexpr std::uint64_t kImageDataSlack = 0x10000;
// What libpng may allocate for one chunk and how many ancillary chunks it
// may keep: only the chunks that make the pixels reach it, all far smaller.
constexpr png_alloc_size_t kChunkMemoryLimit = 0x10000;
constexpr png_uint_32 kChunkCacheLimit = 8;
constexpr std::size_t kPieceSize = 0x10000;

std::uint32_t bigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
           std::uint32_t{bytes[3]};
}

bool chunkIs(const std::uint8_t* type, const char* name)
{
    return std::memcmp(type, name, 4) == 0;
}

// The bytes of a picture, in order, from memory or from a file.
struct ByteReader {
    PictureSource source;
    std::size_t position = 0;  // in memory: the next byte
    bool failed = false;       // the file system reported an error
    std::uint8_t piece[kPieceSize];
};

// Copies up to `count` bytes to `into`; returns how many there were.
std::size_t readUpTo(ByteReader& reader, std::uint8_t* into, std::size_t count)
{
    if (reader.source.file == nullptr) {
        const std::size_t left = reader.source.length - reader.position;
        const std::size_t got = count < left ? count : left;
        if (got > 0) {
            std::memcpy(into, reader.source.bytes + reader.position, got);
        }
        reader.position += got;
        return got;
    }
    const std::size_t got = std::fread(into, 1, count, reader.source.file);
    if (got < count && std::ferror(reader.source.file) != 0) {
        reader.failed = true;
    }
    return got;
}

// The next bytes, at most `count` and at least one: false when none remain.
bool nextPiece(ByteReader& reader, std::size_t count, const std::uint8_t*& at, std::size_t& got)
{
    if (count > kPieceSize) {
        count = kPieceSize;
    }
    if (reader.source.file == nullptr) {
        const std::size_t left = reader.source.length - reader.position;
        got = count < left ? count : left;
        at = reader.source.bytes + reader.position;
        reader.position += got;
    } else {
        got = readUpTo(reader, reader.piece, count);
        at = reader.piece;
    }
    return got > 0;
}

// Passes over `count` bytes unread; past the end, the next read finds none.
bool skipBytes(ByteReader& reader, std::uint64_t count)
{
    if (reader.source.file == nullptr) {
        const std::size_t left = reader.source.length - reader.position;
        reader.position += count < left ? static_cast<std::size_t>(count) : left;
        return true;
    }
    constexpr std::uint64_t step = 0x40000000;  // within a 32-bit long
    while (count > 0) {
        const std::uint64_t now = count < step ? count : step;
        if (std::fseek(reader.source.file, static_cast<long>(now), SEEK_CUR) != 0) {
            reader.failed = true;
            return false;
        }
        count -= now;
    }
    return true;
}

// What the reading callbacks and the libpng-facing function share.
struct PngRead {
    ByteReader* reader = nullptr;
    DecodedPicture* picture = nullptr;
    PictureReadResult* result = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::uint8_t header[kHeaderChunkEnd] = {};
    std::uint64_t imageDataBudget = 0;  // IDAT bytes the header's rows can need, twice, and some slack
    std::uint32_t lastPass = 0;         // the interlace pass that ends with the last row
    bool interlaced = false;
    bool lastRowRead = false;
    bool outOfMemory = false;
    char warning[128] = {};             // libpng's last warning
    // The tool's own form, read without libpng: the inflated rows, each with
    // its filter byte, go straight into picture->pixels.
    bool direct = false;
    bool havePalette = false;
    bool inflating = false;  // `stream` holds zlib's state
    z_stream stream{};
};

void onPngError(png_structp png, png_const_charp text)
{
    char* message = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(message, 128, "%s", text != nullptr ? text : "");
    png_longjmp(png, 1);
}

// Warnings are about things libpng repairs or skips (a bad ancillary chunk);
// the pixels decide. The last one explains image data that ended early.
void onReadWarning(png_structp png, png_const_charp text)
{
    PngRead& call = *static_cast<PngRead*>(png_get_progressive_ptr(png));
    std::snprintf(call.warning, sizeof call.warning, "%s", text != nullptr ? text : "");
}


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

void onInfo(png_structp png, png_infop info)
{
    PngRead& call = *static_cast<PngRead*>(png_get_progressive_ptr(png));
    DecodedPicture& picture = *call.picture;
    const png_byte colourType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    call.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &entries, &count) != 0) {
            picture.paletteSize = static_cast<std::uint32_t>(count);
            for (std::uint32_t index = 0; index < picture.paletteSize; ++index) {
                picture.palette[index] = {entries[index].red, entries[index].green, entries[index].blue};
            }
        }
        picture.indexLimit = 1u << bitDepth;
        // The file's transparency is not used.
        if (bitDepth == 4 && !call.interlaced) {
            picture.layout = PixelLayout::PackedIndices;
            picture.rowBytes = (picture.width + 1) / 2;
        } else {
            png_set_packing(png);
            picture.layout = PixelLayout::Indices;
            picture.rowBytes = picture.width;
        }
    } else {
        const bool sixteenBits = bitDepth == 16;
        const bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
        const bool hasTransparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        if (hasTransparentColour) {
            png_set_tRNS_to_alpha(png);
        }
        if (bitDepth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_gray_to_rgb(png);
        }
        if (!hasAlpha && !hasTransparentColour) {
            png_set_filler(png, sixteenBits ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
        }
        picture.layout = sixteenBits ? PixelLayout::Rgba16 : PixelLayout::Rgba8;
        picture.rowBytes = picture.width * (sixteenBits ? 8 : 4);
    }
    if (call.interlaced) {
        png_set_interlace_handling(png);
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != picture.rowBytes) {
        png_error(png, "unexpected row layout");
    }
    // Interlaced rows are combined into what earlier passes left: start from
    // zero. Other rows are each written whole once.
    const std::size_t size = std::size_t{picture.height} * picture.rowBytes;
    picture.pixels = static_cast<std::uint8_t*>(call.interlaced ? std::calloc(size, 1) : std::malloc(size));
    if (picture.pixels == nullptr) {
        call.outOfMemory = true;
        png_error(png, "not enough memory");
    }
}

void onRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int pass)
{
    PngRead& call = *static_cast<PngRead*>(png_get_progressive_ptr(png));
    DecodedPicture& picture = *call.picture;
    if (rowNumber >= picture.height) {
        png_error(png, "a row past the picture's height");
    }
    if (row != nullptr) {
        std::uint8_t* target = picture.pixels + std::size_t{rowNumber} * picture.rowBytes;
        if (call.interlaced) {
            png_progressive_combine_row(png, target, row);
        } else {
            std::memcpy(target, row, picture.rowBytes);
        }
    }
    if (rowNumber + 1 == picture.height && (!call.interlaced || static_cast<std::uint32_t>(pass) == call.lastPass)) {
        call.lastRowRead = true;
    }
}

bool refuse(PngRead& call, PictureFault fault)
{
    call.result->fault = fault;
    return false;
}

bool refuseAsDamaged(PngRead& call, const char* reason)
{
    std::snprintf(call.result->reason, sizeof call.result->reason, "%s", reason);
    return refuse(call, PictureFault::Damaged);
}

// The bytes ran out, or could not be read.
bool refuseShortFile(PngRead& call)
{
    return refuse(call, call.reader->failed ? PictureFault::CannotRead : PictureFault::EndsEarly);
}

// Hands the next `count` bytes of the file to libpng.
bool feedBytes(PngRead& call, std::uint64_t count)
{
    while (count > 0) {
        const std::uint8_t* at = nullptr;
        std::size_t got = 0;
        if (!nextPiece(*call.reader, count < kPieceSize ? static_cast<std::size_t>(count) : kPieceSize, at, got)) {
            return refuseShortFile(call);
        }
        // libpng only reads the bytes it is handed.
        png_process_data(call.png, call.info, const_cast<png_bytep>(at), got);
        count -= got;
    }
    return true;
}

// The CRC of a chunk's type and data against the 4 bytes after them.
bool crcHolds(std::uint32_t crc, const std::uint8_t* stored)
{
    return crc == bigEndian32(stored);
}

bool refuseChunkCrc(PngRead& call, const std::uint8_t* type)
{
    char reason[32];
    std::snprintf(reason, sizeof reason, "%c%c%c%c: CRC error", type[0], type[1], type[2], type[3]);
    return refuseAsDamaged(call, reason);
}

// The direct path's PLTE: at most 256 entries, as many as the bit depth can
// index kept, as libpng keeps them.
bool readPaletteChunk(PngRead& call, const std::uint8_t* head, std::uint32_t length)
{
    std::uint8_t data[kMaxPaletteChunk + kCrcSize];
    if (call.havePalette || length == 0 || length % 3 != 0) {
        return refuseAsDamaged(call, call.havePalette ? "PLTE: duplicate" : "PLTE: invalid");
    }
    if (readUpTo(*call.reader, data, length + kCrcSize) != length + kCrcSize) {
        return refuseShortFile(call);
    }
    const uLong crc = crc32(crc32(0, head + 4, 4), data, length);
    if (!crcHolds(static_cast<std::uint32_t>(crc), data + length)) {
        return refuseChunkCrc(call, head + 4);
    }
    DecodedPicture& picture = *call.picture;
    const std::uint32_t entries = length / 3;
    picture.paletteSize = entries < picture.indexLimit ? entries : picture.indexLimit;
    for (std::uint32_t index = 0; index < picture.paletteSize; ++index) {
        picture.palette[index] = {data[3 * index], data[3 * index + 1], data[3 * index + 2]};
    }
    call.havePalette = true;
    return true;
}

// The direct path's IDAT: its data inflated into the rows until they are all
// there, all of it under the chunk's CRC.
bool inflateChunk(PngRead& call, const std::uint8_t* head, std::uint32_t length)
{
    if (!call.havePalette) {
        return refuseAsDamaged(call, "Missing PLTE before IDAT");
    }
    uLong crc = crc32(0, head + 4, 4);
    std::uint64_t left = length;
    while (left > 0) {
        const std::uint8_t* at = nullptr;
        std::size_t got = 0;
        if (!nextPiece(*call.reader, left < kPieceSize ? static_cast<std::size_t>(left) : kPieceSize, at, got)) {
            return refuseShortFile(call);
        }
        left -= got;
        crc = crc32(crc, at, static_cast<uInt>(got));
        z_stream& stream = call.stream;
        stream.next_in = const_cast<Bytef*>(at);  // zlib only reads its input
        stream.avail_in = static_cast<uInt>(got);
        while (!call.lastRowRead && stream.avail_in > 0) {
            const int status = inflate(&stream, Z_NO_FLUSH);
            if (stream.avail_out == 0) {
                call.lastRowRead = true;  // whatever follows is not inflated
            } else if (status == Z_STREAM_END) {
                return refuseAsDamaged(call, "Not enough image data");
            } else if (status == Z_MEM_ERROR) {
                return refuse(call, PictureFault::OutOfMemory);
            } else if (status != Z_OK) {
                char reason[sizeof call.result->reason];
                std::snprintf(reason, sizeof reason, "IDAT: %s",
                              stream.msg != nullptr ? stream.msg : "decompression error");
                return refuseAsDamaged(call, reason);
            }
        }
    }
    std::uint8_t stored[kCrcSize];
    if (readUpTo(*call.reader, stored, kCrcSize) != kCrcSize) {
        return refuseShortFile(call);
    }
    return crcHolds(static_cast<std::uint32_t>(crc), stored) || refuseChunkCrc(call, head + 4);
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

// Goes through the chunks after IHDR: IDAT, PLTE and a tRNS of valid length
// to libpng, other ancillary chunks skipped, until the chunk that completes
// the last row has been handed over whole.
bool feedChunks(PngRead& call)
{
    std::uint64_t imageData = 0;
    std::uint32_t chunks = 1;  // IHDR
    while (!call.lastRowRead) {
        std::uint8_t head[kChunkHeaderSize];
        if (readUpTo(*call.reader, head, sizeof head) != sizeof head) {
            return refuseShortFile(call);
        }
        if (++chunks > kMaxPictureChunks) {
            return refuseAsDamaged(call, "it holds more chunks than any picture needs");
        }
        const std::uint32_t length = bigEndian32(head);
        const std::uint8_t* type = head + 4;
        if (length > kMaxChunkLength) {
            return refuseAsDamaged(call, "PNG unsigned integer out of range");
        }
        for (std::uint32_t k = 0; k < 4; ++k) {
            const std::uint8_t letter = static_cast<std::uint8_t>(type[k] | 0x20);
            if (letter < 'a' || letter > 'z') {
                return refuseAsDamaged(call, "invalid chunk type");
            }
        }
        const bool ancillary = (type[0] & 0x20) != 0;
        const std::uint64_t chunkRest = std::uint64_t{length} + kCrcSize;
        if (chunkIs(type, "IDAT")) {
            imageData += length;
            if (imageData > call.imageDataBudget) {
                return refuseAsDamaged(call, "IDAT: more image data than the picture's rows can hold");
            }
            if (call.direct) {
                if (!inflateChunk(call, head, length)) {
                    return false;
                }
                continue;
            }
        } else if (chunkIs(type, "IEND")) {
            break;
        } else if (chunkIs(type, "PLTE")) {
            if (length > kMaxPaletteChunk) {
                return refuseAsDamaged(call, "PLTE: invalid");
            }
            if (call.direct) {
                if (!readPaletteChunk(call, head, length)) {
                    return false;
                }
                continue;
            }
        } else if (call.direct || !(chunkIs(type, "tRNS") && length <= kMaxTransparencyChunk)) {
            // An indexed picture's transparency is not used.
            if (!ancillary) {
                char reason[64];
                std::snprintf(reason, sizeof reason, "%c%c%c%c: unhandled critical chunk", type[0], type[1],
                              type[2], type[3]);
                return refuseAsDamaged(call, reason);
            }
            // Not needed for the pixels (libpng would ignore a tRNS that long).
            if (!skipBytes(*call.reader, chunkRest)) {
                return refuseShortFile(call);
            }
            continue;
        }
        png_process_data(call.png, call.info, head, sizeof head);
        if (!feedBytes(call, chunkRest)) {
            return false;
        }
    }
    if (!call.lastRowRead) {
        return refuseAsDamaged(call, call.warning[0] != '\0' ? call.warning : "Not enough image data");
    }
    return true;
}

// Reads the picture whose IHDR chunk is in call.header, with the file placed
// right after it.
bool readWithLibpng(PngRead& call)
{
    png_structp png = call.png;
    if (setjmp(png_jmpbuf(png))) {
        if (call.outOfMemory) {
            return refuse(call, PictureFault::OutOfMemory);
        }
        return refuse(call, PictureFault::Damaged);  // the reason is in place already
    }
    png_set_progressive_read_fn(png, &call, onInfo, onRow, nullptr);
    png_set_user_limits(png, call.picture->width, call.picture->height);
    png_set_chunk_malloc_max(png, kChunkMemoryLimit);
    png_set_chunk_cache_max(png, kChunkCacheLimit);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);  // none reaches it anyway
    png_set_check_for_invalid_index(png, 0);  // indices past the palette are the caller's to judge
    // The stream's own checksum comes after the last row, where the
    // progressive reader would only warn of a mismatch; every IDAT byte is
    // under its chunk's CRC, which is checked.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_process_data(png, call.info, call.header, kHeaderChunkEnd);
    return feedChunks(call);
}

// Whether the header is of the tool's own form: 4-bit indexed, not
// interlaced, the standard compression and filter methods.
bool isOwnForm(const std::uint8_t* header)
{
    return header[24] == 4 && header[25] == PNG_COLOR_TYPE_PALETTE && header[26] == 0 && header[27] == 0 &&
           header[28] == PNG_INTERLACE_NONE;
}

// Reads a picture of the tool's own form: its rows inflated and unfiltered
// here, packed as they are stored, without libpng's row handling.
bool readDirectly(PngRead& call)
{
    const std::uint8_t* header = call.header;
    const uLong crc = crc32(0, header + kSignatureSize + 4, 4 + kHeaderLength);
    if (!crcHolds(static_cast<std::uint32_t>(crc), header + kHeaderChunkEnd - kCrcSize)) {
        return refuseChunkCrc(call, header + kSignatureSize + 4);
    }
    DecodedPicture& picture = *call.picture;
    picture.layout = PixelLayout::PackedIndices;
    picture.rowBytes = (picture.width + 1) / 2;
    picture.indexLimit = 16;
    const std::size_t filtered = std::size_t{picture.height} * (picture.rowBytes + 1);
    picture.pixels = static_cast<std::uint8_t*>(std::malloc(filtered));
    if (picture.pixels == nullptr || inflateInit(&call.stream) != Z_OK) {
        return refuse(call, PictureFault::OutOfMemory);
    }
    call.inflating = true;
    // As on libpng's path: the stream's checksum follows the last row; the CRCs guard the data.
    inflateValidate(&call.stream, 0);
    call.stream.next_out = picture.pixels;
    call.stream.avail_out = static_cast<uInt>(filtered);
    if (!feedChunks(call)) {
        return false;
    }
    return unfilterRows(picture) || refuseAsDamaged(call, "bad adaptive filter value");
}

// Checks the signature and the IHDR chunk's size fields; reads the rest of
// that chunk into call.header when they hold.
bool checkHeader(PngRead& call, std::uint32_t width, std::uint32_t height)
{
    std::uint8_t* header = call.header;
    const std::size_t got = readUpTo(*call.reader, header, kSizeFieldsEnd);
    if (call.reader->failed) {
        return refuse(call, PictureFault::CannotRead);
    }
    const std::size_t signatureBytes = got < kSignatureSize ? got : kSignatureSize;
    if (got == 0 || png_sig_cmp(header, 0, signatureBytes) != 0) {
        return refuse(call, PictureFault::NotPng);
    }
    if (got < kSizeFieldsEnd) {
        return refuse(call, PictureFault::EndsInHeader);
    }
    if (!chunkIs(header + 12, "IHDR")) {
        return refuseAsDamaged(call, "it does not start with an IHDR chunk");
    }
    const std::uint32_t headerLength = bigEndian32(header + 8);
    if (headerLength < kHeaderLength) {
        return refuseAsDamaged(call, "IHDR: too short to hold the picture's size");
    }
    call.result->width = bigEndian32(header + 16);
    call.result->height = bigEndian32(header + 20);
    if (call.result->width != width || call.result->height != height) {
        return refuse(call, PictureFault::OtherSize);
    }
    if (headerLength != kHeaderLength) {
        return refuseAsDamaged(call, "Invalid IHDR length");
    }
    const std::size_t rest = kHeaderChunkEnd - kSizeFieldsEnd;
    if (readUpTo(*call.reader, header + kSizeFieldsEnd, rest) != rest) {
        return refuseShortFile(call);
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

    ByteReader* reader = static_cast<ByteReader*>(std::malloc(sizeof(ByteReader)));
    if (reader == nullptr) {
        result.fault = PictureFault::OutOfMemory;
        return result;
    }
    reader->source = source;
    reader->position = 0;
    reader->failed = false;
    PngRead call;
    call.reader = reader;
    call.picture = &picture;
    call.result = &result;
    if (checkHeader(call, width, height)) {
        call.imageDataBudget = imageDataBudget(call.header, width, height);
        // Adam7's last pass holds the odd rows, the one before it the odd columns.
        call.lastPass = height > 1 ? 6 : (width > 1 ? 5 : 0);
        call.direct = isOwnForm(call.header);
        if (call.direct) {
            readDirectly(call);
            if (call.inflating) {
                inflateEnd(&call.stream);
            }
        } else {
            call.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, result.reason, onPngError, onReadWarning);
            if (call.png != nullptr) {
                call.info = png_create_info_struct(call.png);
            }
            if (call.info == nullptr) {
                result.fault = PictureFault::OutOfMemory;
            } else {
                readWithLibpng(call);
            }
            png_destroy_read_struct(&call.png, &call.info, nullptr);
        }
    }
    std::free(reader);
    return result;
}

EncodedPicture::~EncodedPicture()
{
    std::free(bytes);
}

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

// Appends a chunk of `type` with the `length` bytes at `data`, and its CRC.
void putChunk(PictureWriter& writer, const char* type, const std::uint8_t* data, std::uint32_t length)
{
    std::uint8_t* at = reserve(writer, kChunkHeaderSize + std::size_t{length} + kCrcSize);
    if (at == nullptr) {
        return;
    }
    putBigEndian32(at, length);
    std::memcpy(at + 4, type, 4);
    if (length != 0) {
        std::memcpy(at + kChunkHeaderSize, data, length);
    }
    const uLong crc = crc32_z(crc32_z(0, nullptr, 0), at + 4, 4 + std::size_t{length});
    putBigEndian32(at + kChunkHeaderSize + length, static_cast<std::uint32_t>(crc));
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

void putImageData(PictureWriter& writer, const std::uint8_t* packed, std::uint32_t rowBytes, std::uint32_t height)
{
    const std::size_t raw = (std::size_t{rowBytes} + 1) * height;
    std::uint32_t windowBits = 15;
    if (raw <= 0x4000) {
        for (std::size_t half = std::size_t{1} << (windowBits - 1); raw + 262 <= half; half >>= 1) {
            --windowBits;
        }
    }
    const std::uint32_t rowLength = rowBytes + 1;
    const std::uint32_t blockLimit = ((1u << windowBits) + rowLength - 1) / rowLength * rowLength;
    const std::size_t blocks = raw == 0 ? 1 : (raw + blockLimit - 1) / blockLimit;
    // zlib header: deflate with that window, no dictionary, the fastest level
    // (its check bits make the two bytes a multiple of 31); blocks; Adler-32.
    std::unique_ptr<std::uint8_t[]> stream(new (std::nothrow) std::uint8_t[2 + 5 * blocks + raw + 4]);
    if (!stream) {
        writer.failed = true;
        return;
    }
    std::uint8_t* out = stream.get();
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
    out += 4;
    const std::size_t total = static_cast<std::size_t>(out - stream.get());
    for (std::size_t at = 0; at < total; at += kImageChunkSize) {
        const std::size_t piece = total - at < kImageChunkSize ? total - at : kImageChunkSize;
        putChunk(writer, "IDAT", stream.get() + at, static_cast<std::uint32_t>(piece));
    }
}

}  // namespace

bool encodePackedPicture(const std::uint8_t* packed, std::uint32_t width, std::uint32_t height,
                         const PaletteColour* palette, std::uint32_t colours, EncodedPicture& picture,
                         char (&reason)[128])
{
    PictureWriter writer{picture};
    picture.length = 0;
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
    std::snprintf(reason, sizeof reason, "%s", writer.failed ? "not enough memory" : "");
    return !writer.failed;
}
