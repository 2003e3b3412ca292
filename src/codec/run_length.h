#pragma once
// The run-length sheet codecs: codec type 2 (packets closed by FF FF) and
// codec type 3 (packets of one 0x8000-byte block, no end marker).

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Decode into context.output; never past kCodecBufferSize bytes. context.running
// is clear on return. The result is context.outputLength.
void decodeRunLengthSheet(DecodeContext& context);
void decodeRunLengthBlock(DecodeContext& context);

// Encode context.input into context.output; never past kCodecBufferSize bytes.
// Results: context.ok (clear when the output did not fit), context.outputLength.
void encodeRunLengthSheet(EncodeContext& context);
void encodeRunLengthBlock(EncodeContext& context);
