#pragma once
// Random test data: the shared generator (random_source.h) on 64 bits,
// seeded as the tests' figures expect.

#include <cstdint>

#include "random_source.h"
#include "support/temp_dir.h"

struct TestRandom : Xorshift64 {
    explicit TestRandom(std::uint64_t seed) : Xorshift64{seed * 0x9E3779B97F4A7C15ULL + 1} {}

    // `length` values below `alphabet`.
    Bytes bytes(std::size_t length, std::uint32_t alphabet = 256)
    {
        Bytes out(length);
        for (auto& value : out) {
            value = static_cast<std::uint8_t>(below(alphabet));
        }
        return out;
    }
};
