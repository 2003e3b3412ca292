#pragma once
// The one place where a sheet's codec type chooses its decoder and encoder.

#include <cstdint>

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Runs the decoder of context.codecType (LZ for types 0 and 1, run-length for
// 2 and 3) as set up by startDecode; type 1 is widened to 4bpp unless `widen`
// is false (then the output is the 3bpp bytes as stored, which is what
// insertion's packing of a sheet gives). A type without a codec decodes
// nothing: context.outputLength stays 0.
void decodeSheetStream(DecodeContext& context, bool widen = true);

// How LZ sheets (types 0 and 1) are encoded: Default is the greedy encoder
// (encodeLzSheet), Smallest the shortest stream (encodeLzSheetSmallest).
// The run-length types have one encoding each.
enum class LzPacking : std::uint8_t { Default, Smallest };

// Runs the encoder of context.codecType as set up by startEncode, for LZ types
// the one `packing` names. A type without a codec encodes nothing: the ok flag
// stays set and the output length stays 0, which callers refuse as an empty
// stream.
void encodeSheetStream(EncodeContext& context, LzPacking packing = LzPacking::Default);
