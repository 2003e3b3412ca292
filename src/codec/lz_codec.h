#pragma once
// The LZ sheet codec (codec types 0 and 1). The stream format is described in
// lz_format.h.

#include <cstdint>

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Decodes the stream at context.input into context.output (the caller's
// kCodecBufferSize-byte buffer, not cleared here) until the end marker or a
// bound; type 1 output is then widened to 4bpp in place, however the decode
// ended. Never reads or writes outside the buffer. The result is
// context.outputLength (at most 0x10000; 0: nothing decoded).
void decodeLzSheet(DecodeContext& context);

// Decodes commands while context.running is set and clears it at the end
// marker or at a bound. No widening.
void decodeLzStream(DecodeContext& context);

// Encodes context.input (inputLength <= 0x10000; type 1: packed to 3bpp in
// place first, inputLength replaced) into context.output, the caller's
// kCodecBufferSize-byte buffer. Results: context.ok (cleared when the output
// would pass the buffer or the index cannot be allocated; never set here),
// context.outputLength and the output bytes. Builds and releases the index.
void encodeLzSheet(EncodeContext& context);

// Allocates and fills context.matchIndex over the first inputLength bytes of
// context.input. False after an allocation failure, with nothing left allocated.
bool buildMatchIndex(EncodeContext& context);

// Releases context.matchIndex and leaves its pointers null; safe on an empty
// index. The input must be as it was when the index was built: the two pair
// tables are kept for the next build (one spare pair per process), and only
// the entries of the input's byte pairs are cleared.
void releaseMatchIndex(EncodeContext& context);

// Writes input[pendingLiteralStart .. q-1] as one DirectCopy (the encoder never
// passes more than 1024 bytes except in the tail, where 1025 go out as 1024 and
// 1) and moves pendingLiteralStart to q. Does nothing when they are equal.
void flushPendingLiterals(EncodeContext& context, std::uint32_t q);
