#pragma once
// State of one sheet encode, shared by the LZ and the run-length encoders.

#include <cstdint>

#include "codec/sheet_codec_type.h"

// Chains of candidate copy sources for the greedy LZ encoder, each in
// increasing position order. A copy needs 4 bytes, so only positions whose
// first four bytes equal those at the current position can be sources.
// Positions whose first four bytes are one value repeated are keyed by that
// value and the exact length of its run from there instead: at such a
// position the encoder measures a byte fill of the run's length r, and only a
// source whose run is exactly r long can match past it. A chain holds the
// positions of all keys that hash to its bucket, so a walk still checks the
// first four bytes of every candidate; every source worth measuring is on
// the chain of the current position, in order.
// Positions j = 0 .. n-4 are chained, in 16-bit entries (every position of an
// input of at most 0x10000 bytes). The link of a chain's last position is
// left unset: a walk for position i ends at i, which is on its own chain.
// Buckets carry the stamp of the build that wrote them, so a build never
// clears the buckets of the one before.
struct MatchIndex {
    std::uint16_t* chainStart = nullptr;  // per position: first position of its chain
    std::uint16_t* next = nullptr;        // per position: next position of its chain
    std::uint32_t* buckets = nullptr;     // stamp << 16 | last position of the bucket's chain so far
    std::uint32_t bucketBits = 0;         // log2 of the number of buckets
    std::uint32_t stamp = 0;              // of the last build, 1 .. 0xFFFF; other stamps are empty
    std::uint32_t capacity = 0;           // longest input the arrays hold; 0: none allocated
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
