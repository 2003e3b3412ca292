// The LZ decoder on arbitrary streams, codec types 0 and 1. Each stream is
// decoded twice in a row with one context, so the second decode starts from
// the scratch bytes the first one left.

#include <cstdint>

#include "codec/lz_codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* stream = temporaryStream(data, size);
    DecodeContext context;
    const Bytes plain = decodeFrom(stream, context, decodeLzSheet, 0);
    const Bytes widened = decodeFrom(stream, context, decodeLzSheet, 1);
    std::fclose(stream);
    static_cast<void>(plain);
    static_cast<void>(widened);
    return 0;
}
