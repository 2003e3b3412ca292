// The run-length encoders on arbitrary inputs of up to 0x8000 bytes. Type 2
// must decode back to every non-empty input; type 3 reads back exactly only a
// block of 0x8000 bytes, so the input is also repeated to fill one. Every
// input is checked as it stands and read as a list of runs, which reaches the
// long runs (of 0xFF in particular) that arbitrary bytes rarely hold.

#include <cstdint>

#include "codec/run_length.h"
#include "fuzz_support.h"

namespace {

Bytes encode(Bytes input, void (*encoder)(EncodeContext&))
{
    Bytes output(kCodecBufferSize);
    EncodeContext context;
    context.input = input.data();
    context.inputLength = static_cast<std::uint32_t>(input.size());
    context.output = output.data();
    context.outputLength = 0;
    context.ok = true;
    encoder(context);
    fuzzCheck(context.ok, "encode ok");
    fuzzCheck(context.outputLength <= kCodecBufferSize, "output length");
    output.resize(context.outputLength);
    return output;
}

Bytes decode(const Bytes& stream, void (*decoder)(DecodeContext&), std::uint32_t codecType, long& readLength)
{
    std::FILE* file = temporaryStream(stream.data(), stream.size());
    DecodeContext context;
    Bytes decoded = decodeFrom(file, context, decoder, codecType);
    readLength = std::ftell(file);
    std::fclose(file);
    return decoded;
}

void checkInput(const Bytes& input)
{
    const std::size_t size = input.size();
    long readLength = 0;

    const Bytes sheet = encode(input, encodeRunLengthSheet);
    fuzzCheck(decode(sheet, decodeRunLengthSheet, 2, readLength) == input, "type 2 round trip");
    fuzzCheck(readLength == static_cast<long>(sheet.size()), "type 2 stops at its end marker");

    // The input as it stands: the first bytes read back are the input.
    const Bytes shortBlock = encode(input, encodeRunLengthBlock);
    const Bytes shortDecoded = decode(shortBlock, decodeRunLengthBlock, 3, readLength);
    fuzzCheck(shortDecoded.size() >= size &&
                  Bytes(shortDecoded.begin(), shortDecoded.begin() + static_cast<long>(size)) == input,
              "type 3 prefix");

    // Repeated to a block of 0x8000 bytes: an exact round trip.
    Bytes block(kSheetBufferSize);
    for (std::size_t k = 0; k < block.size(); ++k) {
        block[k] = input[k % size];
    }
    const Bytes blockStream = encode(block, encodeRunLengthBlock);
    fuzzCheck(decode(blockStream, decodeRunLengthBlock, 3, readLength) == block, "type 3 round trip");
    fuzzCheck(readLength == static_cast<long>(blockStream.size()), "type 3 reads its whole stream");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > kSheetBufferSize) {
        return -1;
    }
    checkInput(Bytes(data, data + size));
    // The same bytes read as a list of runs.
    const Bytes runs = runsFrom(data, size, kSheetBufferSize);
    if (!runs.empty()) {
        checkInput(runs);
    }
    return 0;
}
