#pragma once
// Shared by the fuzz targets: the decoders read the input's bytes in memory.
// A failed check aborts, which libFuzzer reports as a crash with its input.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/decode_context.h"
#include "codec/lz_codec.h"
#include "codec/encode_context.h"

using Bytes = std::vector<std::uint8_t>;

#define FUZZ_CHECK(condition) \
    ((condition) ? void() : (std::fprintf(stderr, "check failed: %s\n", #condition), std::abort()))

// The result of decode(): the decoded bytes lie in a buffer that the next
// decode() reuses.
struct Decoded {
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    std::uint32_t read = 0;  // stream bytes consumed

    bool operator==(const Bytes& other) const
    {
        // memcmp, not a loop here: the fuzz drivers trace every comparison they make.
        return length == other.size() && (length == 0 || std::memcmp(bytes, other.data(), length) == 0);
    }
};

// Decodes `stream` into a cleared 0x10000-byte buffer, as extraction does;
// `context` keeps its scratch bytes from earlier decodes. The output buffer
// is kept for the whole process: a fresh 0x10000 bytes for every decode cost
// more than the decode itself.
inline Decoded decode(const Bytes& stream, void (*decoder)(DecodeContext&), std::uint32_t codecType,
                      DecodeContext& context)
{
    static Bytes output(kCodecBufferSize);
    std::fill(output.begin(), output.end(), std::uint8_t{0});
    startDecode(context, stream.data(), static_cast<std::uint32_t>(stream.size()), output.data(),
                static_cast<SheetCodecType>(codecType));
    decoder(context);
    FUZZ_CHECK(!context.running && context.outputLength <= kCodecBufferSize && context.inputRead <= stream.size());
    return {output.data(), context.outputLength, context.inputRead};
}

// Encodes `input` with the ok flag set, as insertion does; checks the flag and
// that the encoder tables were released.
inline Bytes encode(Bytes input, void (*encoder)(EncodeContext&), std::uint32_t codecType)
{
    static Bytes output(kCodecBufferSize);
    EncodeContext context;
    startEncode(context, input.data(), static_cast<std::uint32_t>(input.size()),
                static_cast<SheetCodecType>(codecType), output.data());
    encoder(context);
    FUZZ_CHECK(context.ok && context.outputLength <= kCodecBufferSize);
    FUZZ_CHECK(context.matchIndex.capacity == 0 && context.smallestParse.capacity == 0);
    return Bytes(output.begin(), output.begin() + context.outputLength);
}

// The input read as (value, count - 1) pairs, expanded into runs of at most
// `limit` bytes in all (at most 0x8000): arbitrary bytes almost never hold the
// long runs that fills, long copies and the run-length packets need.
inline Bytes runsFrom(const std::uint8_t* data, std::size_t size, std::size_t limit = kSheetBufferSize)
{
    Bytes out;
    for (std::size_t k = 0; k + 1 < size && out.size() < limit; k += 2) {
        out.insert(out.end(), static_cast<std::size_t>(data[k + 1]) + 1, data[k]);
    }
    out.resize(std::min(out.size(), limit));
    return out;
}

// What an LZ stream of `input` decodes to: the input itself for type 0; for
// type 1 the input packed to 3bpp as the encoder packs it, widened again.
inline Bytes lzRoundTripOf(const Bytes& input, std::uint32_t codecType)
{
    Bytes expected = input;
    expected.resize(kCodecBufferSize);
    auto length = static_cast<std::uint32_t>(input.size());
    if (codecType == 1) {
        length = expandTiles3To4(expected.data(), packTiles4To3(expected.data(), length));
    }
    expected.resize(length);
    return expected;
}

// Encodes `input` with `encoder` and checks that the stream ends with the end
// marker and decodes, read to its last byte, to lzRoundTripOf(input). Returns
// the stream.
inline Bytes checkLzRoundTrip(const Bytes& input, void (*encoder)(EncodeContext&), std::uint32_t codecType)
{
    const Bytes stream = encode(input, encoder, codecType);
    FUZZ_CHECK(!stream.empty() && stream.back() == 0xFF);
    DecodeContext context;
    const Decoded decoded = decode(stream, decodeLzSheet, codecType, context);
    FUZZ_CHECK(decoded == lzRoundTripOf(input, codecType) && decoded.read == stream.size());
    return stream;
}

// Inputs read as runs are kept to a sheet's 0x800 bytes for the LZ encoders:
// long runs make the greedy encoder's candidate walk quadratic.
inline constexpr std::size_t kLzRunsLimit = 0x800;
