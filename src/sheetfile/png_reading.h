#pragma once
// What the two PNG readers share, inside the PNG layer only: the bytes of a
// picture in order (from memory or a file), the header check, and the chunk
// loop that decides which chunks are read at all. png_read_libpng.cpp reads
// every form through libpng; png_read_direct.cpp reads the tool's own form
// with zlib alone; png_reading.cpp holds this and readPicture, which picks one.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "sheetfile/png_format.h"
#include "sheetfile/png_limits.h"
#include "sheetfile/png_picture.h"

// The bytes of a picture, in order, from memory or from a file. A file is
// read through `buffer` (see kReadBufferSize); in memory, every byte is at
// hand from the start.
struct ByteReader {
    std::FILE* file = nullptr;              // null: the picture is in memory
    const std::uint8_t* bytes = nullptr;    // the bytes at hand: the picture in memory, or `buffer`
    std::size_t next = 0;                   // the unread bytes at hand are bytes[next, end)
    std::size_t end = 0;
    std::size_t fillSize = kReadBufferSize; // what the next read from the file asks for
    bool failed = false;                    // the file system reported an error
    int systemError = 0;                    // then its error number (errno)
    std::uint8_t buffer[kReadBufferSize];
};

// Sets up `reader` to read `source` from its start (a file from its position).
void startReading(ByteReader& reader, const PictureSource& source);

// Copies up to `count` bytes to `into`; returns how many there were.
std::size_t readUpTo(ByteReader& reader, std::uint8_t* into, std::size_t count);

// The next bytes, at most `count` (and at most kReadBufferSize) and at least
// one, at `at`, valid until the next call: false when none remain.
bool nextPiece(ByteReader& reader, std::size_t count, const std::uint8_t*& at, std::size_t& got);

// Puts a file back where the bytes taken from it end: the bytes read ahead
// into the buffer and not taken are given back.
void stopReading(ByteReader& reader);

// A picture being read: what both readers fill and check.
struct PictureRead {
    ByteReader* reader = nullptr;
    DecodedPicture* picture = nullptr;
    PictureReadResult* result = nullptr;
    std::uint8_t header[kHeaderChunkEnd] = {};  // the signature and the IHDR chunk
    std::uint64_t imageDataBudget = 0;  // IDAT bytes the header's rows can need, twice, and the slack
    std::uint64_t imageData = 0;        // IDAT bytes declared so far
    std::uint32_t chunks = 1;           // chunks so far, IHDR included
    bool lastRowRead = false;           // set by the reader once every row is in place
};

// Each records the refusal in read.result and returns false.
bool refuse(PictureRead& read, PictureFault fault);
bool refuseAsDamaged(PictureRead& read, const char* reason);
bool refuseShortFile(PictureRead& read);  // the bytes ran out, or could not be read
bool refuseChunkCrc(PictureRead& read, const std::uint8_t* type);

// A chunk that the pixels need, as the chunk loop hands it over.
enum class PixelChunk : std::uint8_t {
    ImageData,     // IDAT, within the picture's budget
    Palette,       // PLTE of at most 256 entries
    Transparency,  // tRNS of at most 256 bytes, when asked for
    End,           // IEND
};

struct ChunkHead {
    std::uint8_t bytes[kChunkHeaderSize];  // as in the file: length, then type
    std::uint32_t length;
    PixelChunk kind;
};

// Reads chunk heads after IHDR, passing over unread every ancillary chunk that
// the pixels do not need, up to the next one they need (a tRNS only when
// `transparency` is set). True with the reader at that chunk's data; false
// after a refusal: past kMaxPictureChunks chunks, a length out of range, a type
// that is no name, an unknown critical chunk, image data past the budget, or a
// file that ends or cannot be read.
bool nextPixelChunk(PictureRead& read, bool transparency, ChunkHead& head);

// The readers, with read.header in place and the file right after IHDR. Each
// fills read.picture or refuses.
bool readWithLibpng(PictureRead& read);
bool readDirectly(PictureRead& read);
