#pragma once
// The layout of a PNG file that the PNG layer's readers and its writer share,
// inside that layer only: the signature, the chunk framing and the IHDR chunk.

#include <cstdint>
#include <cstring>

inline constexpr std::uint32_t kSignatureSize = 8;
// The bytes every PNG file starts with.
inline constexpr std::uint8_t kPngSignature[kSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
inline constexpr std::uint32_t kChunkHeaderSize = 8;  // length and type
inline constexpr std::uint32_t kCrcSize = 4;
inline constexpr std::uint32_t kHeaderLength = 13;    // IHDR's data
// The signature, then the IHDR chunk's length, type, width and height; and
// the whole IHDR chunk.
inline constexpr std::uint32_t kSizeFieldsEnd = kSignatureSize + kChunkHeaderSize + 8;
inline constexpr std::uint32_t kHeaderChunkEnd = kSignatureSize + kChunkHeaderSize + kHeaderLength + kCrcSize;

inline std::uint32_t bigEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 |
           std::uint32_t{bytes[3]};
}

inline bool chunkIs(const std::uint8_t* type, const char* name)
{
    return std::memcmp(type, name, 4) == 0;
}
