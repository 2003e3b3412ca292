#pragma once
// The output bound shared by the encoders: nothing is ever stored past the
// kCodecBufferSize bytes of the output buffer. A piece that does not fit is
// dropped and clears the ok flag; the stream is then incomplete.

#include <cstdint>
#include <cstring>

#include "codec/codec_limits.h"
#include "codec/encode_context.h"

// Stores one byte while the buffer has room.
inline void putByte(EncodeContext& context, std::uint8_t value)
{
    if (context.outputLength < kCodecBufferSize) {
        context.output[context.outputLength] = value;
        ++context.outputLength;
    } else {
        context.ok = false;
    }
}

// Stores `count` bytes only when all of them fit.
inline void putBlock(EncodeContext& context, const std::uint8_t* bytes, std::uint32_t count)
{
    if (context.outputLength + count <= kCodecBufferSize) {
        std::memcpy(context.output + context.outputLength, bytes, count);
        context.outputLength += count;
    } else {
        context.ok = false;
    }
}
