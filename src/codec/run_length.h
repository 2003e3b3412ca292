#pragma once
// The run-length sheet codecs: codec type 2 (packets closed by FF FF) and
// codec type 3 (packets of one 0x8000-byte block, no end marker).

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Decode the packets at context.input (at most context.inputLength bytes)
// into context.output (the caller's kCodecBufferSize-byte buffer, not cleared
// here); a packet that would pass the buffer is not stored and ends the
// decode. context.running is clear on return; context.inputRead is the
// stream bytes read.
// The result is context.outputLength: type 2 at most 0x10000, type 3 from
// 0x8000 to 0x807F (unless the caller left running clear: then 0).
void decodeRunLengthSheet(DecodeContext& context);
void decodeRunLengthBlock(DecodeContext& context);

// Encode context.input (inputLength bytes) into context.output, the caller's
// kCodecBufferSize-byte buffer, in one pass with no allocation. Results:
// context.ok (cleared when a piece did not fit; then the stream is incomplete;
// a flag clear on entry writes nothing), context.outputLength.
void encodeRunLengthSheet(EncodeContext& context);
void encodeRunLengthBlock(EncodeContext& context);
