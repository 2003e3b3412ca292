// Both run-length decoders on arbitrary streams.

#include <cstdint>

#include "codec/run_length.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::FILE* stream = temporaryStream(data, size);
    DecodeContext context;
    static_cast<void>(decodeFrom(stream, context, decodeRunLengthSheet, 2));
    const Bytes block = decodeFrom(stream, context, decodeRunLengthBlock, 3);
    // A block decode always ends with the packet that reaches 0x8000 bytes.
    fuzzCheck(block.size() >= 0x8000 && block.size() <= 0x807F, "block length from 0x8000 to 0x807F");
    std::fclose(stream);
    return 0;
}
