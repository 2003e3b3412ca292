// The run-length encoders on non-empty inputs of up to 0x8000 bytes, as they
// stand and read as a list of runs (which reaches the long runs of 0xFF that
// arbitrary bytes rarely hold). Type 2 must decode back to the input; type 3
// reads back exactly only a block of 0x8000 bytes, so the input is also
// repeated to fill one.

#include <algorithm>
#include <cstring>

#include "codec/run_length.h"
#include "fuzz_support.h"

namespace {

void check(const Bytes& input)
{
    DecodeContext context;
    const Bytes sheet = encode(input, encodeRunLengthSheet, 2);
    const Decoded sheetBack = decode(sheet, decodeRunLengthSheet, 2, context);
    FUZZ_CHECK(sheetBack == input && sheetBack.read == sheet.size());

    const Bytes shortBlock = encode(input, encodeRunLengthBlock, 3);
    const Decoded shortBack = decode(shortBlock, decodeRunLengthBlock, 3, context);
    FUZZ_CHECK(shortBack.length >= input.size() && std::memcmp(shortBack.bytes, input.data(), input.size()) == 0);

    static Bytes block(kSheetBufferSize);
    for (std::size_t k = 0; k < block.size(); k += input.size()) {
        std::memcpy(block.data() + k, input.data(), std::min(input.size(), block.size() - k));
    }
    const Bytes blockStream = encode(block, encodeRunLengthBlock, 3);
    const Decoded blockBack = decode(blockStream, decodeRunLengthBlock, 3, context);
    FUZZ_CHECK(blockBack == block && blockBack.read == blockStream.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > kSheetBufferSize) {
        return -1;
    }
    check(Bytes(data, data + size));
    const Bytes runs = runsFrom(data, size);
    if (!runs.empty()) {
        check(runs);
    }
    return 0;
}
