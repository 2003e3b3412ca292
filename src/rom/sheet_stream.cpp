#include "rom/sheet_stream.h"

#include <cstring>
#include <new>

#include "codec/codec_limits.h"
#include "codec/sheet_codec.h"

bool allocateStreamDecoder(StreamDecoder& decoder)
{
    decoder.output.reset(new (std::nothrow) std::uint8_t[kCodecBufferSize]());
    decoder.dirtyLength = 0;
    return static_cast<bool>(decoder.output);
}

DecodedStream decodeSheetAt(const RomImage& rom, PcOffset offset, SheetCodecType codecType, StreamDecoder& decoder,
                            bool widen)
{
    DecodedStream decoded;
    if (!decoder.output) {
        return decoded;
    }
    // Only the bytes the last decode could have written (all below its final
    // length) are cleared again.
    std::memset(decoder.output.get(), 0, decoder.dirtyLength);
    const RomSpan stream = romBytesFrom(rom, offset);
    DecodeContext& context = decoder.context;
    startDecode(context, stream.bytes, stream.length, decoder.output.get(), codecType);
    decodeSheetStream(context, widen);
    decoder.dirtyLength = context.outputLength;
    context.output = nullptr;
    decoded.bytes = decoder.output.get();
    decoded.length = context.outputLength;
    decoded.streamLength = context.inputRead;
    decoded.cutOff = context.cutOff;
    return decoded;
}
