#pragma once
// State of one sheet decode, shared by the LZ and the run-length decoders.

#include <cstdint>
#include <cstdio>

#include "codec/sheet_codec_type.h"

struct DecodeContext {
    // Set by the caller before each sheet.
    std::FILE* input = nullptr;       // positioned at the first byte of the stream
    std::uint8_t* output = nullptr;   // kCodecBufferSize bytes, owned by the caller
    std::uint32_t outputLength = 0;   // 0 on entry; next write position; the result
    bool running = false;             // set on entry; cleared at the end marker or a bound
    SheetCodecType codecType = LzSheet;

    // Scratch bytes. Every read of the stream lands in one of them (or, for a
    // literal run, in the output). They are never reset, so a read that fails
    // at the end of the file leaves the previous value in place and the
    // command repeats until a bound ends the decode.
    std::uint8_t header = 0;
    std::uint8_t secondHeader = 0;
    std::uint8_t firstArgument = 0;
    std::uint8_t secondArgument = 0;
};

// Sets up `context` for one decode as a walk does: the stream positioned by
// the caller, `output` a kCodecBufferSize-byte buffer the caller owns, output
// length 0, running set. The scratch bytes keep their values.
inline void startDecode(DecodeContext& context, std::FILE* input, std::uint8_t* output, SheetCodecType codecType)
{
    context.input = input;
    context.output = output;
    context.outputLength = 0;
    context.running = true;
    context.codecType = codecType;
}
