#pragma once
// A compressed sheet's stream in the ROM image decoded by its codec: the one
// way the walks read a stream, whether to write the sheet's file or to tell
// whether a sheet file changed it.

#include <cstdint>
#include <memory>

#include "codec/decode_context.h"
#include "rom/rom_image.h"

// The decoding state of a walk: one context and one kCodecBufferSize-byte
// output buffer for all its sheets. Every decode starts on an all-zero
// buffer, as a fresh cleared one would be: a copy from a position no command
// wrote reads zero, never another sheet's bytes.
struct StreamDecoder {
    DecodeContext context;
    std::unique_ptr<std::uint8_t[]> output;
    std::uint32_t dirtyLength = 0;  // no byte at or past this is non-zero
};

// Allocates the decoder's buffer, cleared. False when there is no memory
// (nothing printed: a walk reports the sheet it could not decode).
bool allocateStreamDecoder(StreamDecoder& decoder);

// One decoded stream, in the decoder's buffer until its next decode.
struct DecodedStream {
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;        // decoded bytes (up to 0x10000; 0: nothing decoded)
    std::uint32_t streamLength = 0;  // bytes of the stream the decoder read, the end marker included
    bool cutOff = false;             // the stream ran past the end of the file
};

// Decodes the stream of `codecType` at the PcOffset `offset` of the image, up
// to the end of the file; type 1 is widened to 4bpp when `widen` is set (as
// extraction writes it), or left in its 3bpp stored form. Without a buffer
// (allocateStreamDecoder failed) nothing is decoded.
DecodedStream decodeSheetAt(const RomImage& rom, PcOffset offset, SheetCodecType codecType, StreamDecoder& decoder,
                            bool widen);
