#pragma once
// The LZ sheet codec (codec types 0 and 1). The stream format is described in
// lz_format.h.

#include <cstdint>

#include "codec/decode_context.h"
#include "codec/encode_context.h"
#include "codec/lz_format.h"

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

// Allocates `index` for inputs of up to `capacity` (<= 0x10000) bytes,
// releasing what it held first. False after an allocation failure, with
// nothing left allocated.
bool allocateMatchIndex(MatchIndex& index, std::uint32_t capacity);

// Releases `index` and leaves it empty (capacity 0); safe on an empty index.
void releaseMatchIndex(MatchIndex& index);

// Chains positions 0 .. length-4 of `input` by their keys (encode_context.h).
// `length` must not exceed index.capacity. Writes only the entries of those
// positions and the buckets of their keys, under a new stamp; nothing needs
// clearing between builds (all buckets are cleared once every 0xFFFF builds).
void buildMatchIndex(MatchIndex& index, const std::uint8_t* input, std::uint32_t length);

// Releases the smallest-packing tables and leaves them empty; safe when empty.
void releaseSmallestParse(SmallestParse& parse);

// Writes the header of `command` with `length` (1-1024): short up to 32,
// extended above; through the output bound of encode_output.h.
void writeLzHeader(EncodeContext& context, LzCommand command, std::uint32_t length);

// Writes a fill or copy command: its header, then `first` (the fill byte, or
// the copy position's low byte) and, for a word fill or a copy, `second` (the
// second fill byte, or the position's high byte).
void writeLzCommand(EncodeContext& context, LzCommand command, std::uint32_t length, std::uint8_t first,
                    std::uint8_t second = 0);

// What both LZ encoders do first: packs a type-1 input to 3bpp in place.
// False, with the ok flag cleared, when the input is longer than 0x10000
// bytes (copy positions are 16 bits).
bool prepareLzInput(EncodeContext& context);

// The input length an encoder's tables are allocated for: a whole sheet
// buffer at least when the tables are kept, so that a walk allocates once.
std::uint32_t lzTableCapacity(const EncodeContext& context);

// Writes input[pendingLiteralStart .. q-1] as DirectCopy commands of at most
// 1024 bytes (the greedy encoder never passes more than 1024 except in the
// tail, where 1025 go out as 1024 and 1) and moves pendingLiteralStart to q.
// Does nothing when they are equal.
void flushPendingLiterals(EncodeContext& context, std::uint32_t q);
