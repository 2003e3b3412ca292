#pragma once
// State of one sheet decode, shared by the LZ and the run-length decoders.

#include <cstdint>

#include "codec/sheet_codec_type.h"

struct DecodeContext {
    // Set by the caller before each sheet.
    const std::uint8_t* input = nullptr;  // the stream's first byte; the caller owns the bytes
    std::uint32_t inputLength = 0;        // bytes from `input` on that exist (to the end of the image)
    std::uint32_t inputRead = 0;          // 0 on entry; bytes of the stream read so far: the stream's length
    bool cutOff = false;                  // clear on entry; set when a read found no byte left
    std::uint8_t* output = nullptr;       // kCodecBufferSize bytes, owned by the caller
    std::uint32_t outputLength = 0;       // 0 on entry; next write position; the result
    bool running = false;                 // set on entry; cleared at the end marker or a bound
    SheetCodecType codecType = LzSheet;

    // Scratch bytes. Every read of the stream lands in one of them (or, for a
    // literal run, in the output). They are never reset, so a read past the
    // last byte of the input leaves the previous value in place and the
    // command repeats until a bound ends the decode.
    std::uint8_t header = 0;
    std::uint8_t secondHeader = 0;
    std::uint8_t firstArgument = 0;
    std::uint8_t secondArgument = 0;
};

// Sets up `context` for one decode as a walk does: the stream is the
// `inputLength` bytes at `input` (a sheet's bytes from its offset to the end
// of the ROM image), `output` a kCodecBufferSize-byte buffer the caller owns,
// output length and bytes read 0, running set. The scratch bytes keep their values.
inline void startDecode(DecodeContext& context, const std::uint8_t* input, std::uint32_t inputLength,
                        std::uint8_t* output, SheetCodecType codecType)
{
    context.input = input;
    context.inputLength = inputLength;
    context.inputRead = 0;
    context.cutOff = false;
    context.output = output;
    context.outputLength = 0;
    context.running = true;
    context.codecType = codecType;
}
