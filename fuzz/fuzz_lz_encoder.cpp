// The LZ encoder on inputs of up to 0x8000 bytes, codec types 0 and 1, and on
// the input read as a list of runs of up to 0x800 bytes (type 0): every
// stream must decode back to the packed input (widened again for type 1).
// The greedy encoder walks every earlier position with the same first four
// bytes, so long runs make it quadratic: a 0x8000-byte list of runs cost
// 2.5 ms under the sanitizers, and 0x800 bytes, a sheet, still hold fills
// and copies of the longest length.

#include "codec/lz_codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kSheetBufferSize) {
        return -1;  // not a sheet: keep it out of the corpus
    }
    const Bytes input(data, data + size);
    checkLzRoundTrip(input, encodeLzSheet, 0);
    checkLzRoundTrip(input, encodeLzSheet, 1);
    checkLzRoundTrip(runsFrom(data, size, kLzRunsLimit), encodeLzSheet, 0);
    return 0;
}
