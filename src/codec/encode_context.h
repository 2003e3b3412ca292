#pragma once
// State of one sheet encode, shared by the LZ and the run-length encoders.

#include <cstdint>

#include "codec/sheet_codec_type.h"

// One node per input position j = 0 .. n-2, chained by the byte pair at j.
struct MatchNode {
    std::uint32_t position = 0;
    MatchNode* next = nullptr;
};

// Chains of equal byte pairs; key of position j is input[j] + 256 * input[j + 1].
// Every chain lists its positions in increasing order. Built by
// buildMatchIndex at the start of an LZ encode and released at its end.
struct MatchIndex {
    MatchNode** head = nullptr;  // 65,536 entries
    MatchNode** tail = nullptr;  // 65,536 entries
    MatchNode* nodes = nullptr;  // n - 1 nodes, none when n <= 1
};

struct EncodeContext {
    // Set by the caller before each sheet.
    std::uint8_t* input = nullptr;   // the sheet bytes; type 1 packs them in place
    std::uint32_t inputLength = 0;   // at most kSheetBufferSize; replaced by the packed length
    SheetCodecType codecType = LzSheet;
    std::uint8_t* output = nullptr;  // kCodecBufferSize bytes, owned by the caller
    std::uint32_t outputLength = 0;  // 0 on entry; next write position; the result
    bool ok = false;                 // set on entry; cleared when the output would overflow
                                     // or the match index cannot be allocated

    // Encoder state.
    std::uint32_t pendingLiteralStart = 0;  // first input byte passed over and not yet written
    MatchIndex matchIndex;
};

// Sets up `context` for one encode as a walk does: `input` (length bytes,
// at most kSheetBufferSize; type 1 packs it in place), `output` a
// kCodecBufferSize-byte buffer the caller owns, output length 0, ok set.
inline void startEncode(EncodeContext& context, std::uint8_t* input, std::uint32_t length, SheetCodecType codecType,
                        std::uint8_t* output)
{
    context.input = input;
    context.inputLength = length;
    context.codecType = codecType;
    context.output = output;
    context.outputLength = 0;
    context.ok = true;
}
