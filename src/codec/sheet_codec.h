#pragma once
// The one place where a sheet's codec type chooses its decoder and encoder.

#include "codec/decode_context.h"
#include "codec/encode_context.h"

// Runs the decoder of context.codecType (LZ for types 0 and 1, run-length for
// 2 and 3) as set up by startDecode. A type without a codec decodes nothing:
// context.outputLength stays 0.
void decodeSheetStream(DecodeContext& context);

// Runs the encoder of context.codecType as set up by startEncode. A type
// without a codec encodes nothing: the ok flag stays set and the output
// length stays 0, which callers refuse as an empty stream.
void encodeSheetStream(EncodeContext& context);
