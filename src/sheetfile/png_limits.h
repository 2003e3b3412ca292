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
// IHDR included; past that it is refused as damaged.
inline constexpr std::uint32_t kMaxPictureChunks = 65536;

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

// The bytes of a file are read in pieces of at most this many (held in one
// buffer for the whole picture), and handed to libpng or zlib in such pieces.
inline constexpr std::size_t kReadPieceSize = 0x10000;

// The room for the reason of a damaged picture or a picture that could not be
// written, with its terminating zero; a longer reason is cut.
inline constexpr std::size_t kPictureReasonSize = 128;
