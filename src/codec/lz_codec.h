#pragma once
// The LZ sheet codec (codec types 0 and 1). The stream format is described in
// lz_format.h.

#include <cstdint>

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Decodes the stream at context.input into context.output until the end marker
// or a bound; type 1 output is then widened to 4bpp. Never writes past
// kCodecBufferSize bytes. The result is context.outputLength (0: nothing decoded).
void decodeLzSheet(DecodeContext& context);

// Decodes commands until context.running is cleared. No widening.
void decodeLzStream(DecodeContext& context);

// Encodes context.input (type 1: packed to 3bpp in place first) into
// context.output. Results: context.ok, context.outputLength, the output bytes.
// Never writes past kCodecBufferSize bytes; clears ok instead.
void encodeLzSheet(EncodeContext& context);

// Builds context.matchIndex over the (packed) input. False after an allocation
// failure, with nothing left allocated.
bool buildMatchIndex(EncodeContext& context);

// Releases context.matchIndex; safe to call on an empty index.
void releaseMatchIndex(EncodeContext& context);

// Writes input[pendingLiteralStart .. q-1] as one DirectCopy (q - start <= 1024)
// and moves pendingLiteralStart to q. Does nothing when they are equal.
void flushPendingLiterals(EncodeContext& context, std::uint32_t q);
