// Both run-length decoders on arbitrary streams, with one context.

#include "codec/run_length.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const Bytes stream(data, data + size);
    DecodeContext context;
    decode(stream, decodeRunLengthSheet, 2, context);
    // A block ends with the packet that reaches 0x8000 bytes.
    const std::size_t block = decode(stream, decodeRunLengthBlock, 3, context).length;
    FUZZ_CHECK(block >= 0x8000 && block <= 0x807F);
    return 0;
}
