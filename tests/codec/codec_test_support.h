#pragma once
// Running the codecs on byte vectors: decoders read a temporary file, encoders
// write into a full-size output buffer.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "codec/codec_limits.h"
#include "codec/decode_context.h"
#include "codec/encode_context.h"
#include "support/temp_dir.h"
#include "support/test_random.h"

using DecodeFunction = void (*)(DecodeContext&);
using EncodeFunction = void (*)(EncodeContext&);

struct DecodeRun {
    Bytes buffer;              // the whole output buffer afterwards
    std::uint32_t length = 0;  // outputLength
    bool running = true;
    long streamPosition = 0;   // how far the decoder read
    Bytes output() const { return Bytes(buffer.begin(), buffer.begin() + length); }
};

// Decodes `stream` as a caller would, into a buffer pre-filled with 0xEE so
// that unwritten positions show. `context` keeps scratch bytes between calls.
inline DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, DecodeContext& context,
                            std::uint32_t codecType = 0)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), std::fclose);
    if (!file) {
        throw std::runtime_error("no temporary file");
    }
    if (!stream.empty()) {
        std::fwrite(stream.data(), 1, stream.size(), file.get());
    }
    std::rewind(file.get());
    DecodeRun run{Bytes(kCodecBufferSize, 0xEE)};
    startDecode(context, file.get(), run.buffer.data(), static_cast<SheetCodecType>(codecType));
    decode(context);
    run.length = context.outputLength;
    run.running = context.running;
    run.streamPosition = std::ftell(file.get());
    return run;
}

inline DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, std::uint32_t codecType = 0)
{
    DecodeContext context;
    return runDecoder(decode, stream, context, codecType);
}

struct EncodeRun {
    Bytes stream;  // the first outputLength bytes of the output buffer
    bool ok = false;
    Bytes input;   // the input buffer afterwards (packed for type 1)
    std::uint32_t inputLength = 0;
};

// Encodes a copy of `input` with the ok flag set, as a caller would.
inline EncodeRun runEncoder(EncodeFunction encode, const Bytes& input, std::uint32_t codecType = 0)
{
    EncodeRun run{Bytes(kCodecBufferSize), false, input};
    EncodeContext context;
    startEncode(context, run.input.data(), static_cast<std::uint32_t>(input.size()),
                static_cast<SheetCodecType>(codecType), run.stream.data());
    encode(context);
    run.ok = context.ok;
    run.inputLength = context.inputLength;
    run.stream.resize(context.outputLength);
    return run;
}

inline Bytes repeated(const Bytes& pattern, std::size_t length)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = pattern[k % pattern.size()];
    }
    return out;
}

// first, first + 1, ... modulo 256.
inline Bytes counting(std::size_t length, std::uint8_t first)
{
    Bytes out(length);
    for (std::size_t k = 0; k < length; ++k) {
        out[k] = static_cast<std::uint8_t>(first + k);
    }
    return out;
}

inline Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

inline Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// Appends an LZ command header (command 0-7, length 1-1024), written out
// independently of the encoder.
inline void putLzHeader(Bytes& out, std::uint32_t command, std::size_t length)
{
    const std::size_t field = length - 1;
    if (length <= 32) {
        out.push_back(static_cast<std::uint8_t>(command << 5 | field));
    } else {
        out.push_back(static_cast<std::uint8_t>(0xE0 | command << 2 | field >> 8));
        out.push_back(static_cast<std::uint8_t>(field & 0xFF));
    }
}
