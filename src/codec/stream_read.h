#pragma once
// Stream reads of the decoders. A read past the last byte of the input
// leaves its destination unchanged and is not reported: the decoders rely on
// the old value staying in place.
//
// A cut-off stream repeats its last command until a bound, up to 0x10000
// times, each time reading again past the end. Once every byte has been read,
// every later read fails, so the decoders store all those repeats at once.

#include <cstdint>
#include <cstring>

#include "codec/codec_limits.h"
#include "codec/decode_context.h"

// Whether every byte of the input has been read, so that every later read fails.
inline bool atStreamEnd(const DecodeContext& context)
{
    return context.inputRead >= context.inputLength;
}

// How many times a command or packet of `length` bytes is stored when every
// later read fails: it repeats, unchanged, as often as it fits before the
// 0x10000-byte bound (1 while the stream still has bytes).
inline std::uint32_t repeatsAtStreamEnd(const DecodeContext& context, std::uint32_t length)
{
    return atStreamEnd(context) ? (kCodecBufferSize - context.outputLength) / length : 1;
}

// Reads one byte into `destination`; past the end `destination` keeps its
// value and the context is marked cut off.
inline void readByte(DecodeContext& context, std::uint8_t& destination)
{
    if (atStreamEnd(context)) {
        context.cutOff = true;
        return;
    }
    destination = context.input[context.inputRead];
    ++context.inputRead;
}

// Reads up to `count` bytes into `destination`; positions past the end of the
// input keep their values, and a block that does not fit marks the context cut off.
inline void readBlock(DecodeContext& context, std::uint8_t* destination, std::uint32_t count)
{
    const std::uint32_t left = context.inputLength - context.inputRead;
    const std::uint32_t available = count < left ? count : left;
    if (available != 0) {
        std::memcpy(destination, context.input + context.inputRead, available);
        context.inputRead += available;
    }
    context.cutOff = context.cutOff || available < count;
}
