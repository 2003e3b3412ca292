#pragma once
// The sizes of the buffers the codecs and the walks hand each other.

#include <cstdint>

// A sheet as handed between the walks and the sheet files is at most this long.
inline constexpr std::uint32_t kSheetBufferSize = 0x8000;

// Every codec output buffer (decode and encode) is exactly this long.
inline constexpr std::uint32_t kCodecBufferSize = 0x10000;
