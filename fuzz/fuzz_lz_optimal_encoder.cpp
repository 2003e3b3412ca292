// The smallest-packing LZ encoder on inputs of up to 0x8000 bytes, codec types
// 0 and 1, and on the input read as a list of runs (type 0): every stream must
// decode back to the packed input (widened again for type 1) and be no longer
// than the greedy encoder's stream of the same input.

#include "codec/lz_codec.h"
#include "fuzz_support.h"

namespace {

void check(const Bytes& input, std::uint32_t codecType)
{
    const Bytes stream = checkLzRoundTrip(input, encodeLzSheetSmallest, codecType);
    FUZZ_CHECK(stream.size() <= encode(input, encodeLzSheet, codecType).size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kSheetBufferSize) {
        return -1;  // not a sheet: keep it out of the corpus
    }
    const Bytes input(data, data + size);
    check(input, 0);
    check(input, 1);
    check(runsFrom(data, size, kLzRunsLimit), 0);
    return 0;
}
