#pragma once
// The one source of random test data: deterministic, the same on every
// platform and standard library.

#include <cstdint>

#include "support/temp_dir.h"

// Deterministic pseudo-random numbers (xorshift).
struct TestRandom {
    std::uint64_t state;
    explicit TestRandom(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ULL + 1) {}
    std::uint64_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 24); }
    Bytes bytes(std::size_t length, std::uint32_t alphabet = 256)
    {
        Bytes out(length);
        for (auto& value : out) {
            value = static_cast<std::uint8_t>(below(alphabet));
        }
        return out;
    }
};
