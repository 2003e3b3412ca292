// The LZ decoder on arbitrary streams, codec type 0 and then type 1 with the
// same context, so the second decode starts from the scratch bytes the first
// one left. The output bound is checked in decode().

#include "codec/lz_codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes stream(data, data + size);
    DecodeContext context;
    decode(stream, decodeLzSheet, 0, context);
    decode(stream, decodeLzSheet, 1, context);
    return 0;
}
