#include "codec/lz_encode_shared.h"

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/encode_output.h"

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
