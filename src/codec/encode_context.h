#pragma once
// State of one sheet encode, shared by the LZ and the run-length encoders.

#include <cstdint>

#include "codec/sheet_codec_type.h"

// The greedy LZ encoder's index of copy sources (lz_encoder.cpp), built anew
// for every input. A copy needs 4 bytes, so a position j <= n-4 is chained by
// its first four bytes, except where they are one value: such positions lie
// in a run of four or more equal bytes, and the run is chained once instead,
// from its first position, by its value and the two bytes after it. Chains
// run in increasing order and hold everything whose key hashes to their
// bucket. Entries are 16 bits (every position of an input of at most 0x10000
// bytes). A build writes the head of every bucket it chains into and the link
// of every entry but the last of each chain; what the rest hold is left from
// earlier builds, and the encoder reads no head of a key the build did not
// chain nor the link of a chain's last entry, so nothing is ever cleared.
struct MatchIndex {
    std::uint16_t* heads = nullptr;   // first entry of each chain: positions', then runs'
    std::uint16_t* next = nullptr;    // per chained position or run start: the next on its chain
    std::uint16_t* runEnd = nullptr;  // per chained run start: the end of the run
    std::uint32_t capacity = 0;       // longest input the arrays hold; 0: none allocated
};

// The tables of the smallest-packing LZ encoder (lz_optimal_encoder.cpp):
// one block of eight tables of max(capacity, 256) + 1 entries each, laid out
// and used there.
struct SmallestParse {
    std::uint32_t* block = nullptr;
    std::uint32_t capacity = 0;  // longest input the tables hold; 0: none allocated
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

    // The tables the LZ encoders allocate. With keepTables set (by
    // keepEncoderTables, lz_codec.h) they stay allocated from one encode to
    // the next until releaseEncoderTables; otherwise every encode allocates
    // and releases them within the call.
    bool keepTables = false;
    MatchIndex matchIndex;
    SmallestParse smallestParse;
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
