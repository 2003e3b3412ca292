#pragma once
// Running the codecs on byte vectors: decoders read a temporary file, encoders
// write into a full-size output buffer that the helpers own.

#include <cstdint>
#include <cstdio>
#include <memory>

#include "codec/decode_context.h"
#include "codec/encode_context.h"
#include "support/temp_dir.h"

using DecodeFunction = void (*)(DecodeContext&);
using EncodeFunction = void (*)(EncodeContext&);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A temporary file holding `bytes`, positioned at its start.
FilePtr streamOf(const Bytes& bytes);

struct DecodeRun {
    Bytes buffer;                 // the whole 0x10000-byte output buffer afterwards
    std::uint32_t length = 0;     // outputLength
    bool running = true;          // the running flag afterwards
    long streamPosition = 0;      // how far the decoder read
    Bytes output() const { return Bytes(buffer.begin(), buffer.begin() + length); }
};

// Decodes `stream` with a fresh buffer pre-filled with `fill` (so positions the
// decoder does not write are recognisable). `context` carries scratch bytes
// from earlier decodes; its other fields are set here as a caller would.
DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, DecodeContext& context,
                     std::uint32_t codecType = 0, std::uint8_t fill = 0xEE);
DecodeRun runDecoder(DecodeFunction decode, const Bytes& stream, std::uint32_t codecType = 0,
                     std::uint8_t fill = 0xEE);

struct EncodeRun {
    Bytes stream;          // the first outputLength bytes of the output buffer
    bool ok = false;
    Bytes input;           // the input buffer afterwards (packed for type 1)
    std::uint32_t inputLength = 0;
};

// Encodes a copy of `input` with the ok flag set, as a caller would.
EncodeRun runEncoder(EncodeFunction encode, const Bytes& input, std::uint32_t codecType = 0);

// Repeats `pattern` until `length` bytes.
Bytes repeated(const Bytes& pattern, std::size_t length);

// Concatenation.
Bytes operator+(Bytes left, const Bytes& right);

// Deterministic pseudo-random bytes (xorshift), reproducible across runs.
struct TestRandom {
    std::uint64_t state;
    explicit TestRandom(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    std::uint64_t next();
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 24); }
    Bytes bytes(std::size_t length, std::uint32_t alphabet = 256);
};
