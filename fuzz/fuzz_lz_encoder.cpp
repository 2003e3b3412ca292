// The LZ encoder on arbitrary inputs of up to 0x8000 bytes, codec types 0 and
// 1: every stream must decode back to the (packed) input. The input read as a
// list of runs is encoded too (type 0).

#include <algorithm>
#include <cstdint>

#include "codec/bitplane.h"
#include "codec/lz_codec.h"
#include "fuzz_support.h"

namespace {

void roundTrip(const std::uint8_t* data, std::size_t size, std::uint32_t codecType)
{
    Bytes input(data, data + size);
    Bytes output(kCodecBufferSize);
    EncodeContext context;
    context.input = input.data();
    context.inputLength = static_cast<std::uint32_t>(size);
    context.codecType = codecType;
    context.output = output.data();
    context.outputLength = 0;
    context.ok = true;
    encodeLzSheet(context);
    fuzzCheck(context.ok, "encode ok");
    fuzzCheck(context.outputLength >= 1 && context.outputLength <= kCodecBufferSize, "output length");
    fuzzCheck(output[context.outputLength - 1] == 0xFF, "stream ends with the end marker");
    fuzzCheck(context.matchIndex.head == nullptr && context.matchIndex.nodes == nullptr, "index released");

    // What decoding must give back: the packed input, widened again for type 1.
    Bytes expected(kCodecBufferSize);
    std::copy(data, data + size, expected.begin());
    std::uint32_t expectedLength = static_cast<std::uint32_t>(size);
    if (codecType == 1) {
        expectedLength = packTiles4To3(expected.data(), expectedLength);
        fuzzCheck(expectedLength == context.inputLength, "packed length");
        fuzzCheck(std::equal(input.begin(), input.begin() + expectedLength, expected.begin()), "packed in place");
        expectedLength = expandTiles3To4(expected.data(), expectedLength);
    }
    expected.resize(expectedLength);

    std::FILE* stream = temporaryStream(output.data(), context.outputLength);
    DecodeContext decodeContext;
    const Bytes decoded = decodeFrom(stream, decodeContext, decodeLzSheet, codecType);
    fuzzCheck(std::ftell(stream) == static_cast<long>(context.outputLength), "decoder stops at the end marker");
    std::fclose(stream);
    fuzzCheck(decoded == expected, "round trip");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kSheetBufferSize) {
        return -1;  // not a sheet: keep it out of the corpus
    }
    roundTrip(data, size, 0);
    roundTrip(data, size, 1);
    // The same bytes read as a list of runs, which fills and long copies need.
    const Bytes runs = runsFrom(data, size, kSheetBufferSize);
    roundTrip(runs.data(), runs.size(), 0);
    return 0;
}
