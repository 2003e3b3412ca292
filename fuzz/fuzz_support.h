#pragma once
// Shared by the fuzz targets. A failed check aborts, which libFuzzer reports as
// a crash with its input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/codec_limits.h"
#include "codec/decode_context.h"
#include "codec/encode_context.h"

using Bytes = std::vector<std::uint8_t>;

#define FUZZ_CHECK(condition) \
    ((condition) ? void() : (std::fprintf(stderr, "check failed: %s\n", #condition), std::abort()))

struct Decoded {
    Bytes bytes;
    long read = 0;  // stream bytes consumed
};

// Decodes `stream` from a temporary file into a cleared 0x10000-byte buffer, as
// extraction does; `context` keeps its scratch bytes from earlier decodes.
inline Decoded decode(const Bytes& stream, void (*decoder)(DecodeContext&), std::uint32_t codecType,
                      DecodeContext& context)
{
    std::FILE* file = std::tmpfile();
    FUZZ_CHECK(file != nullptr);
    if (!stream.empty()) {
        std::fwrite(stream.data(), 1, stream.size(), file);
    }
    std::rewind(file);
    Decoded result{Bytes(kCodecBufferSize, 0)};
    startDecode(context, file, result.bytes.data(), static_cast<SheetCodecType>(codecType));
    decoder(context);
    FUZZ_CHECK(!context.running && context.outputLength <= kCodecBufferSize);
    result.bytes.resize(context.outputLength);
    result.read = std::ftell(file);
    std::fclose(file);
    return result;
}

// Encodes `input` with the ok flag set, as insertion does; checks the flag and
// that the encoder tables were released.
inline Bytes encode(Bytes input, void (*encoder)(EncodeContext&), std::uint32_t codecType)
{
    Bytes output(kCodecBufferSize);
    EncodeContext context;
    startEncode(context, input.data(), static_cast<std::uint32_t>(input.size()),
                static_cast<SheetCodecType>(codecType), output.data());
    encoder(context);
    FUZZ_CHECK(context.ok && context.outputLength <= kCodecBufferSize);
    FUZZ_CHECK(context.matchIndex.capacity == 0 && context.smallestParse.capacity == 0);
    output.resize(context.outputLength);
    return output;
}

// The input read as (value, count - 1) pairs, expanded into runs of at most
// 0x8000 bytes in all: arbitrary bytes almost never hold the long runs that
// fills, long copies and the run-length packets need.
inline Bytes runsFrom(const std::uint8_t* data, std::size_t size)
{
    Bytes out;
    for (std::size_t k = 0; k + 1 < size && out.size() < kSheetBufferSize; k += 2) {
        out.insert(out.end(), static_cast<std::size_t>(data[k + 1]) + 1, data[k]);
    }
    out.resize(out.size() < kSheetBufferSize ? out.size() : kSheetBufferSize);
    return out;
}
