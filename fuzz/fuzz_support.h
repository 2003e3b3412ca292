#pragma once
// Shared by the fuzz targets: temporary-file streams and one decode run.
// A failed check aborts, which libFuzzer reports as a crash with its input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codec/codec_limits.h"
#include "codec/decode_context.h"

using Bytes = std::vector<std::uint8_t>;

// Aborts with a message naming the failed check.
inline void fuzzCheck(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// A temporary file holding `size` bytes of `data`, positioned at its start.
inline std::FILE* temporaryStream(const std::uint8_t* data, std::size_t size)
{
    std::FILE* file = std::tmpfile();
    fuzzCheck(file != nullptr, "temporary file");
    if (size != 0) {
        std::fwrite(data, 1, size, file);
    }
    std::rewind(file);
    return file;
}

// Runs `decode` over `stream` into a cleared 0x10000-byte buffer, as the
// extraction walk does; `context` keeps its scratch bytes from earlier runs.
// Returns the decoded bytes.
inline Bytes decodeFrom(std::FILE* stream, DecodeContext& context, void (*decode)(DecodeContext&),
                        std::uint32_t codecType)
{
    Bytes buffer(kCodecBufferSize, 0);
    std::rewind(stream);
    context.input = stream;
    context.output = buffer.data();
    context.outputLength = 0;
    context.running = true;
    context.codecType = codecType;
    decode(context);
    fuzzCheck(!context.running, "running flag cleared");
    fuzzCheck(context.outputLength <= kCodecBufferSize, "output length within the buffer");
    buffer.resize(context.outputLength);
    context.input = nullptr;
    context.output = nullptr;
    return buffer;
}

// Reads the input as (value, count - 1) pairs and writes the runs they
// describe, up to `limit` bytes: long runs of one value, which arbitrary
// bytes almost never contain, become easy for the fuzzer to reach.
inline Bytes runsFrom(const std::uint8_t* data, std::size_t size, std::size_t limit)
{
    Bytes out;
    for (std::size_t k = 0; k + 1 < size && out.size() < limit; k += 2) {
        out.insert(out.end(), static_cast<std::size_t>(data[k + 1]) + 1, data[k]);
    }
    if (out.size() > limit) {
        out.resize(limit);
    }
    return out;
}
