#pragma once
// PNG pictures, knowing nothing of sheets and printing nothing: a picture in
// memory or in an open file read into its pixels, and rows of 4-bit palette
// indices written into a picture in memory. Pictures of the tool's own form
// (4-bit indexed, not interlaced) are inflated and unfiltered with zlib alone,
// their rows kept packed as stored (png_read_direct.cpp), and written with
// zlib's checksums alone, uncompressed (png_write.cpp); libpng reads every
// other form (png_read_libpng.cpp), and nothing else in the tool uses it.
//
// Reading holds any file to bounded work and memory, whatever its chunks
// declare: libpng sees only the chunks that make the pixels (IHDR, PLTE, tRNS
// and IDAT); every other ancillary chunk is skipped unread (never held or
// inflated; within the bytes read ahead at no cost, past them with one seek),
// and reading stops at the end of the chunk that completes the last row, so
// nothing after the image is inflated. A picture of another size than asked
// is refused from its header; one with more than kMaxPictureChunks chunks, or
// whose IDAT chunks declare more than twice what its rows can need (plus
// 64 KiB), is refused as damaged when that chunk is reached.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "sheetfile/png_limits.h"

// Where a picture's bytes come from: `file` from its current position on, or
// else the `length` bytes at `bytes`. The caller keeps both open or alive
// while the picture is read.
struct PictureSource {
    std::FILE* file = nullptr;
    const std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
};

struct PaletteColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// The pixels of a read picture, rows from the top, each rowBytes long.
enum class PixelLayout : std::uint8_t {
    PackedIndices,  // a 4-bit indexed picture, not interlaced, as stored: two palette
                    // indices a byte, the left pixel in the high half
    Indices,        // any other indexed picture: one palette index a byte
    Rgba8,          // grey, grey+alpha, RGB or RGBA of up to 8 bits a sample, as red,
                    // green, blue and alpha bytes (grey in all three; a tRNS colour
                    // has alpha 0; without alpha, 255)
    Rgba16,         // the same at 16 bits a sample: 8 bytes a pixel, high byte first
};

// A read picture; the record owns its pixels.
struct DecodedPicture {
    PixelLayout layout = PixelLayout::Indices;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t rowBytes = 0;
    std::uint8_t* pixels = nullptr;
    // Indexed pictures: the indices a pixel can hold (1 << bit depth), and the
    // entries of the PLTE chunk (a pixel may still hold a higher index).
    std::uint32_t indexLimit = 0;
    std::uint32_t paletteSize = 0;
    PaletteColour palette[kMaxPaletteEntries] = {};
    DecodedPicture() = default;
    DecodedPicture(const DecodedPicture&) = delete;
    DecodedPicture& operator=(const DecodedPicture&) = delete;
    ~DecodedPicture();
};

enum class PictureFault : std::uint8_t {
    None,
    CannotRead,    // the file system reported an error
    NotPng,        // no PNG signature at the start (or no byte at all)
    EndsInHeader,  // fewer bytes than the signature and the IHDR chunk's size fields
    OtherSize,     // the header states another size (in width and height)
    EndsEarly,     // the file ends before the picture's last row
    Damaged,       // anything else libpng or the limits of png_limits.h refuse (in reason)
    OutOfMemory,
};

struct PictureReadResult {
    PictureFault fault = PictureFault::None;
    std::uint32_t width = 0;   // OtherSize: the size the header states
    std::uint32_t height = 0;
    char reason[kPictureReasonSize] = {};  // Damaged: what is wrong, without a closing full stop
    int systemError = 0;       // CannotRead: the system's error number (errno), 0 when it gave none
};

// Reads the picture at `source`, which must be `width` x `height` pixels
// (width at most 0x10000), into `picture` (replacing what it held). Every
// pixel row is filled when the fault is None; otherwise the pixels are
// unspecified. For a file, reads from its position on, at most
// kReadBufferSize bytes ahead, and leaves it where the last chunk read ends
// when the picture is read (at an unspecified position when it is refused).
PictureReadResult readPicture(const PictureSource& source, std::uint32_t width, std::uint32_t height,
                              DecodedPicture& picture);

// A picture encoded in memory; the record owns its bytes.
struct EncodedPicture {
    std::uint8_t* bytes = nullptr;
    std::size_t length = 0;
    std::size_t capacity = 0;
    EncodedPicture() = default;
    EncodedPicture(const EncodedPicture&) = delete;
    EncodedPicture& operator=(const EncodedPicture&) = delete;
    ~EncodedPicture();
};

// Encodes a 4-bit indexed, non-interlaced, uncompressed picture of `width`
// (even) x `height` pixels into `picture` (replacing what it held), from
// `packed`: height rows of width / 2 bytes in PixelLayout::PackedIndices, and
// the `colours` (1 to 16) entries of `palette`. False when memory ran out,
// with the reason in `reason`.
bool encodePackedPicture(const std::uint8_t* packed, std::uint32_t width, std::uint32_t height,
                         const PaletteColour* palette, std::uint32_t colours, EncodedPicture& picture,
                         char (&reason)[kPictureReasonSize]);
