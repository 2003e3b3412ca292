#pragma once
// Stream reads of the decoders. A read that fails (at the end of the file)
// leaves its destination unchanged and is not reported: the decoders rely on
// the old value staying in place.
//
// A cut-off stream repeats its last command until a bound, up to 0x10000
// times, each time reading again at the end of the file. Once the stream's
// end-of-file indicator is set, a read is skipped: it could only fail, and
// the indicator costs no call into the operating system. The callers seek
// before each decode, which clears the indicator.

#include <cstdint>
#include <cstdio>

#include "codec/codec_limits.h"
#include "codec/decode_context.h"

// Whether the stream is at its end, so that every later read will fail until
// the caller seeks again.
inline bool atStreamEnd(std::FILE* input)
{
    return std::feof(input) != 0;
}

// How many times a command or packet of `length` bytes is stored when every
// later read fails: it repeats, unchanged, as often as it fits before the
// 0x10000-byte bound (1 while the stream still has bytes).
inline std::uint32_t repeatsAtStreamEnd(const DecodeContext& context, std::uint32_t length)
{
    return atStreamEnd(context.input) ? (kCodecBufferSize - context.outputLength) / length : 1;
}

// Reads one byte into `destination`; on failure `destination` keeps its value.
inline void readByte(std::FILE* input, std::uint8_t& destination)
{
    if (atStreamEnd(input)) {
        return;
    }
    const int value = std::fgetc(input);
    if (value != EOF) {
        destination = static_cast<std::uint8_t>(value);
    }
}

// Reads up to `count` bytes into `destination` in one block read; positions
// past the end of the file keep their values.
inline void readBlock(std::FILE* input, std::uint8_t* destination, std::uint32_t count)
{
    if (atStreamEnd(input)) {
        return;
    }
    static_cast<void>(std::fread(destination, 1, count, input));
}
