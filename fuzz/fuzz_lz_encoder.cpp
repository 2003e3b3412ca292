// The LZ encoder on inputs of up to 0x8000 bytes, codec types 0 and 1, and on
// the input read as a list of runs of up to 0x800 bytes (type 0): every
// stream must decode back to the packed input (widened again for type 1).
// The greedy encoder walks every earlier position with the same first four
// bytes, so long runs make it quadratic: a 0x8000-byte list of runs cost
// 2.5 ms under the sanitizers, and 0x800 bytes, a sheet, still hold fills
// and copies of the longest length.

#include "codec/lz_codec.h"
#include "fuzz_support.h"

namespace {

constexpr std::size_t kRunsLimit = 0x800;  // a sheet of 64 4bpp tiles

void roundTrip(const Bytes& input, std::uint32_t codecType)
{
    const Bytes expected = lzRoundTripOf(input, codecType);

    const Bytes stream = encode(input, encodeLzSheet, codecType);
    FUZZ_CHECK(!stream.empty() && stream.back() == 0xFF);
    DecodeContext context;
    const Decoded decoded = decode(stream, decodeLzSheet, codecType, context);
    FUZZ_CHECK(decoded == expected && decoded.read == static_cast<long>(stream.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kSheetBufferSize) {
        return -1;  // not a sheet: keep it out of the corpus
    }
    const Bytes input(data, data + size);
    roundTrip(input, 0);
    roundTrip(input, 1);
    roundTrip(runsFrom(data, size, kRunsLimit), 0);
    return 0;
}
