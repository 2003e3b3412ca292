#include "codec/sheet_codec.h"

#include "codec/lz_codec.h"
#include "codec/run_length.h"

void decodeSheetStream(DecodeContext& context, bool widen)
{
    switch (context.codecType) {
    case LzSheet:
    case LzSheet3bpp:
        if (widen) {
            decodeLzSheet(context);
        } else {
            decodeLzStream(context);
        }
        break;
    case RunLengthSheet:
        decodeRunLengthSheet(context);
        break;
    case RunLengthBlock:
        decodeRunLengthBlock(context);
        break;
    default:
        break;
    }
}

void encodeSheetStream(EncodeContext& context, LzPacking packing)
{
    switch (context.codecType) {
    case LzSheet:
    case LzSheet3bpp:
        if (packing == LzPacking::Smallest) {
            encodeLzSheetSmallest(context);
        } else {
            encodeLzSheet(context);
        }
        break;
    case RunLengthSheet:
        encodeRunLengthSheet(context);
        break;
    case RunLengthBlock:
        encodeRunLengthBlock(context);
        break;
    default:
        break;
    }
}
