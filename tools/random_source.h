#pragma once
// The one generator of made-up data for the sample ROM, the benchmarks and the
// tests: Marsaglia's xorshift on a 32-bit or a 64-bit word, deterministic and
// the same on every platform and standard library. Each user seeds it its own
// way (the state must not be 0), so what it generated before stays the same.

#include <cstdint>
#include <type_traits>

template <typename Word>
struct Xorshift {
    static_assert(std::is_same_v<Word, std::uint32_t> || std::is_same_v<Word, std::uint64_t>);
    Word state;

    // Steps the state (shifts 13, 17, 5 on 32 bits; 13, 7, 17 on 64 bits) and
    // returns it.
    Word next()
    {
        if constexpr (sizeof(Word) == 4) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
        } else {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
        }
        return state;
    }

    // The next word modulo `bound` (not 0).
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }

    // Bits 24-31 of the next word.
    std::uint8_t byte() { return static_cast<std::uint8_t>(next() >> 24); }

    // The upper 32 bits of the next word (all of it on 32 bits).
    std::uint32_t upper() { return static_cast<std::uint32_t>(next() >> (sizeof(Word) * 8 - 32)); }
};

using Xorshift32 = Xorshift<std::uint32_t>;
using Xorshift64 = Xorshift<std::uint64_t>;
