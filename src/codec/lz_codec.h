#pragma once
// The LZ sheet codec (codec types 0 and 1): its decoder, its two encoders and
// the tables they keep. The stream format is described in lz_format.h.

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Decodes the stream at context.input into context.output (the caller's
// kCodecBufferSize-byte buffer, not cleared here) until the end marker or a
// bound; type 1 output is then widened to 4bpp in place, however the decode
// ended. Never reads past context.inputLength bytes of input nor writes
// outside the buffer. The result is context.outputLength (at most 0x10000;
// 0: nothing decoded); context.inputRead is the stream bytes read, the end
// marker included.
void decodeLzSheet(DecodeContext& context);

// Decodes commands while context.running is set and clears it at the end
// marker or at a bound. No widening.
void decodeLzStream(DecodeContext& context);

// Encodes context.input (inputLength <= 0x10000; type 1: packed to 3bpp in
// place first, inputLength replaced) into context.output, the caller's
// kCodecBufferSize-byte buffer, with the greedy rules: the same bytes on every
// run. Results: context.ok (cleared when the output would pass the buffer, the
// input is longer than 0x10000 bytes or the index cannot be allocated; never
// set here; clear on entry: nothing is written), context.outputLength and the
// output bytes. Uses context.matchIndex, allocated here when it is too small,
// and released before returning unless context.keepTables is set.
void encodeLzSheet(EncodeContext& context);

// Same contract as encodeLzSheet, but writes the shortest stream of the
// commands that the greedy encoder uses (literal runs, the three fills and
// copies of every length 1 to 1024, with the shorter header each length
// allows): no such stream that decodes to the (packed) input is shorter, so
// it is never longer than encodeLzSheet's. Uses context.smallestParse the same
// way encodeLzSheet uses context.matchIndex.
void encodeLzSheetSmallest(EncodeContext& context);

// Makes the LZ encoders keep the tables they allocate in `context` from one
// encode to the next (a walk calls it once before its first sheet). They are
// then allocated once, for kSheetBufferSize bytes of input (more only when a
// longer input comes), and stay until releaseEncoderTables.
void keepEncoderTables(EncodeContext& context);

// Releases every table the LZ encoders keep in `context` and clears
// keepTables; safe when nothing is allocated. A walk calls it after its last
// sheet, on every path.
void releaseEncoderTables(EncodeContext& context);
