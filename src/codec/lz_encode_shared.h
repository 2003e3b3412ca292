#pragma once
// Internal to src/codec and its tests: what the two LZ encoders share. The
// files call one way only: lz_encoder_tables.cpp calls both encoders
// (lz_encoder.cpp, lz_optimal_encoder.cpp), both call lz_encode_shared.cpp,
// and it calls neither.

#include <cstdint>

#include "codec/encode_context.h"
#include "codec/encode_output.h"
#include "codec/lz_format.h"

// What both LZ encoders do first: packs a type-1 input to 3bpp in place.
// False, with the ok flag cleared, when the input is longer than 0x10000
// bytes (copy positions are 16 bits).
bool prepareLzInput(EncodeContext& context);

// The input length an encoder's tables are allocated for: a whole sheet
// buffer at least when the tables are kept, so that a walk allocates once.
std::uint32_t lzTableCapacity(const EncodeContext& context);

// Writes a fill or copy command of `length` (1-1024): its header (short up to
// 32, extended above), then `first` (the fill byte, or the copy position's
// low byte) and, for a word fill or a copy, `second` (the second fill byte,
// or the position's high byte); through the output bound of encode_output.h.
// Inline: the encoders write a command every few bytes.
inline void writeLzCommand(EncodeContext& context, LzCommand command, std::uint32_t length, std::uint8_t first,
                           std::uint8_t second = 0)
{
    const bool extended = length > kLzShortMaxLength;
    const bool two = command == LzCommand::Copy || command == LzCommand::WordFill;
    if (context.outputLength > kCodecBufferSize - 4) {
        // Near the end of the buffer: byte by byte, as many as fit.
        putByte(context, lzHeaderByte(command, length));
        if (extended) {
            putByte(context, static_cast<std::uint8_t>((length - 1) & 0xFFU));
        }
        putByte(context, first);
        if (two) {
            putByte(context, second);
        }
        return;
    }
    std::uint8_t* out = context.output + context.outputLength;
    out[0] = lzHeaderByte(command, length);
    out[1] = static_cast<std::uint8_t>((length - 1) & 0xFFU);  // overwritten unless extended
    out += extended ? 2 : 1;
    out[0] = first;
    if (two) {
        out[1] = second;
    }
    context.outputLength += (extended ? 3U : 2U) + (two ? 1U : 0U);
}

// Writes input[pendingLiteralStart .. q-1] as DirectCopy commands of at most
// 1024 bytes (the greedy encoder never passes more than 1024 except in the
// tail, where 1025 go out as 1024 and 1) and moves pendingLiteralStart to q.
// Does nothing when they are equal. Inline, as writeLzCommand.
inline void flushPendingLiterals(EncodeContext& context, std::uint32_t q)
{
    while (context.pendingLiteralStart < q) {
        const std::uint32_t pending = q - context.pendingLiteralStart;
        const std::uint32_t length = pending < kLzMaxLength ? pending : kLzMaxLength;
        putByte(context, lzHeaderByte(LzCommand::DirectCopy, length));
        if (length > kLzShortMaxLength) {
            putByte(context, static_cast<std::uint8_t>((length - 1) & 0xFFU));
        }
        putBlock(context, context.input + context.pendingLiteralStart, length);
        context.pendingLiteralStart += length;
    }
}

// Releases the greedy encoder's match index (lz_encoder.cpp) and leaves it
// empty (capacity 0); safe when empty.
void releaseMatchIndex(MatchIndex& index);

// Releases the smallest-packing tables (lz_optimal_encoder.cpp) and leaves
// them empty; safe when empty.
void releaseSmallestParse(SmallestParse& parse);
