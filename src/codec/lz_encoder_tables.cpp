#include "codec/lz_codec.h"
#include "codec/lz_encode_shared.h"

void keepEncoderTables(EncodeContext& context)
{
    context.keepTables = true;
}

void releaseEncoderTables(EncodeContext& context)
{
    releaseMatchIndex(context.matchIndex);
    releaseSmallestParse(context.smallestParse);
    context.keepTables = false;
}
