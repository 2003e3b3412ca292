#pragma once
// Every limit that holds reading and writing PNG pictures to bounded work and
// memory, whatever a file declares, each with its reason.

#include <cstddef>
#include <cstdint>

// PNG's own: a palette holds at most 256 entries (PLTE of 3 bytes each, tRNS
// of 1), and a chunk's length fits in 31 bits.
inline constexpr std::uint32_t kMaxPaletteEntries = 256;
inline constexpr std::uint32_t kMaxPaletteChunk = 3 * kMaxPaletteEntries;
inline constexpr std::uint32_t kMaxTransparencyChunk = kMaxPaletteEntries;
inline constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

// The chunks a picture may have up to the one that completes its last row,
// IHDR included; past that it is refused as damaged, so that a picture padded
// with empty chunks costs no more than a few hundred chunk heads to refuse.
// The tool's largest picture, the combined 128 x 7752 one of the Japanese
// release, is 65 chunks: IHDR, PLTE, 62 IDAT chunks of at most 8 KiB (as
// libpng writes them) and IEND. Image editors compress it and write larger
// IDAT chunks; measured on the sample ROM's combined picture: ImageMagick
// 6.9 (IDAT chunks of 32 KiB) saves it in 14 chunks, as 16-bit RGBA 17, and
// uncompressed 129 as 8-bit RGBA and 250 as 16-bit RGBA; GraphicsMagick 1.3
// in 8; Pillow 9.4 (64 KiB) in 6, uncompressed as RGBA in 63. Even saved as
// uncompressed 8-bit RGBA in libpng's smallest usual IDAT chunks of 8 KiB it
// would need 486 IDAT chunks and its ancillary ones. Only such a save as
// 16-bit RGBA (about 970 IDAT chunks) is refused; compressed, it is not.
inline constexpr std::uint32_t kMaxPictureChunks = 512;

// The IDAT bytes a picture may declare: twice what its rows can need at its
// sample size (every row with its filter byte), and this much more, for a
// stream that compresses badly. More is refused as damaged when the IDAT
// chunk that goes past it is reached, before any of it is inflated.
inline constexpr std::uint64_t kImageDataSlack = 0x10000;

// What libpng may allocate for one chunk, and how many ancillary chunks it
// may keep: only the chunks that make the pixels reach it (IHDR, PLTE, tRNS
// and IDAT), all far smaller.
inline constexpr std::size_t kChunkMemoryLimit = 0x10000;
inline constexpr std::uint32_t kChunkCacheLimit = 8;

// A file is read through one buffer of this many bytes for the whole
// picture, so that chunks passed over within it cost no system call; the
// bytes go to libpng or zlib in pieces of at most this many. Passing over
// more than the buffer holds is one seek, after which the buffer is filled
// with kReadAfterSeek bytes, then twice as many each time up to its size: a
// file of huge chunks passed over one after the other is read a few KiB a
// chunk, not the whole buffer.
inline constexpr std::size_t kReadBufferSize = 0x10000;
inline constexpr std::size_t kReadAfterSeek = 0x1000;

// The room for the reason of a damaged picture or a picture that could not be
// written, with its terminating zero; a longer reason is cut.
inline constexpr std::size_t kPictureReasonSize = 128;
