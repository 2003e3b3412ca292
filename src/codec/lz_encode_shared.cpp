#include "codec/lz_encode_shared.h"

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/encode_output.h"

namespace {

// The header of `command` with `length` (1-1024).
void writeLzHeader(EncodeContext& context, LzCommand command, std::uint32_t length)
{
    putByte(context, lzHeaderByte(command, length));
    if (length > kLzShortMaxLength) {
        putByte(context, static_cast<std::uint8_t>((length - 1) & 0xFFU));
    }
}

}  // namespace

bool prepareLzInput(EncodeContext& context)
{
    if (context.codecType != LzSheet) {
        // Type 1 sheets are stored as 3bpp tiles; inputs of 16 bytes or fewer
        // stay as they are.
        context.inputLength = packTiles4To3(context.input, context.inputLength);
    }
    if (context.inputLength > kCodecBufferSize) {
        context.ok = false;  // copy positions are 16 bits
        return false;
    }
    return true;
}

std::uint32_t lzTableCapacity(const EncodeContext& context)
{
    // Kept tables are sized for a whole sheet buffer at least, so that a walk
    // allocates them once.
    return context.keepTables && context.inputLength < kSheetBufferSize ? kSheetBufferSize : context.inputLength;
}

void flushPendingLiterals(EncodeContext& context, std::uint32_t q)
{
    // The callers pass at most 1024 bytes except in the tail, where a run of
    // 1025 goes out as one command of 1024 and one of the rest.
    while (context.pendingLiteralStart < q) {
        const std::uint32_t pending = q - context.pendingLiteralStart;
        const std::uint32_t length = pending < kLzMaxLength ? pending : kLzMaxLength;
        writeLzHeader(context, LzCommand::DirectCopy, length);
        putBlock(context, context.input + context.pendingLiteralStart, length);
        context.pendingLiteralStart += length;
    }
}
