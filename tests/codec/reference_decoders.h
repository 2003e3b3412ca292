#pragma once
// Plain reference decoders for the tests: they read one byte at a time and
// take no shortcut at the end of the input. Every read past the last byte
// fails and leaves its destination as it was, so a cut-off stream repeats its
// last command until a bound. Written from the stream formats alone.

#include <cstdint>

#include "support/temp_dir.h"

namespace reference {

inline constexpr std::uint32_t kBound = 0x10000;

// One decode: the stream, what has been read of it, the output buffer and
// the scratch bytes, which the caller may carry from one decode to the next.
struct Reference {
    const Bytes& input;
    std::uint32_t read = 0;
    bool cutOff = false;
    Bytes output = Bytes(kBound, 0xEE);  // the caller may clear it first
    std::uint32_t length = 0;
    std::uint8_t header = 0, secondHeader = 0, first = 0, second = 0;

    void take(std::uint8_t& destination)
    {
        if (read < input.size()) {
            destination = input[read++];
        } else {
            cutOff = true;
        }
    }
};

// Per-byte commands write what fits and end the decode when a byte did not.
inline bool writePerByte(Reference& r, std::uint32_t count, const auto& byteAt)
{
    for (std::uint32_t k = 0; k < count; ++k) {
        if (r.length >= kBound) {
            return false;
        }
        r.output[r.length] = byteAt(k);
        ++r.length;
    }
    return true;
}

inline void referenceLz(Reference& r)
{
    for (;;) {
        r.take(r.header);
        if (r.header == 0xFF) {
            return;
        }
        std::uint32_t command = r.header >> 5;
        std::uint32_t count = (r.header & 0x1Fu) + 1;
        if (r.header >= 0xE0) {
            r.take(r.secondHeader);
            command = (r.header >> 2) & 7u;
            count = ((r.header & 3u) << 8 | r.secondHeader) + 1;
        }
        bool goesOn = true;
        if (command == 0) {
            if (r.length + count > kBound) {
                return;
            }
            for (std::uint32_t k = 0; k < count; ++k) {
                r.take(r.output[r.length + k]);
            }
            r.length += count;
        } else if (command == 1) {
            r.take(r.first);
            if (r.length + count > kBound) {
                return;
            }
            for (std::uint32_t k = 0; k < count; ++k) {
                r.output[r.length++] = r.first;
            }
        } else if (command == 2) {
            r.take(r.first);
            r.take(r.second);
            goesOn = writePerByte(r, count, [&](std::uint32_t k) { return (k & 1u) == 0 ? r.first : r.second; });
        } else if (command == 3) {
            r.take(r.first);
            goesOn = writePerByte(r, count, [&](std::uint32_t k) { return static_cast<std::uint8_t>(r.first + k); });
        } else {
            r.take(r.first);
            r.take(r.second);
            const std::uint32_t source = std::uint32_t{r.second} << 8 | r.first;
            if (source + count > kBound) {
                return;
            }
            goesOn = writePerByte(r, count, [&](std::uint32_t k) { return r.output[source + k]; });
        }
        if (!goesOn) {
            return;
        }
    }
}

inline void referenceRunLength(Reference& r, bool block)
{
    for (;;) {
        r.take(r.header);
        std::uint32_t count = (r.header & 0x7Fu) + 1;
        if ((r.header & 0x80) != 0) {
            r.take(r.first);
            if (!block && r.header == 0xFF && r.first == 0xFF && r.length != 0) {
                return;
            }
            if (r.length + count > kBound) {
                return;
            }
            for (std::uint32_t k = 0; k < count; ++k) {
                r.output[r.length++] = r.first;
            }
        } else {
            if (r.length + count > kBound) {
                return;
            }
            for (std::uint32_t k = 0; k < count; ++k) {
                r.take(r.output[r.length + k]);
            }
            r.length += count;
        }
        if (block && r.length >= 0x8000) {
            return;
        }
    }
}

}  // namespace reference
