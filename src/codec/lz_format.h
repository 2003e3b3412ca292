#pragma once
// The LZ command stream of sheets of codec types 0 and 1, shared by the
// decoder (lz_decoder.cpp) and the encoder (lz_encoder.cpp).
//
// A stream is a sequence of commands, each a header followed by its
// arguments, closed by the single byte 0xFF. The decoded size is stored
// nowhere: it is the sum of the command lengths.
//
// Header:
//   - 0xFF ends the stream. It is tested before the header is split, so it is
//     never a command even though it falls in the extended range.
//   - 0x00-0xDF, short header: command = h >> 5 (0-6),
//     length = (h & 0x1F) + 1 (1-32).
//   - 0xE0-0xFE, extended header h, b: command = (h >> 2) & 7 (0-7),
//     length = ((h & 3) << 8 | b) + 1 (1-1024).
//
// Commands and their arguments:
//   0 DirectCopy      `length` literal bytes
//   1 ByteFill        v                  -> v v v ...
//   2 WordFill        a, b               -> a b a b ... (odd length ends with a)
//   3 IncreasingFill  v                  -> v v+1 v+2 ... (modulo 256)
//   4-7 Copy          low, high          -> bytes of this sheet's own output
//                                           from the absolute position
//                                           high * 256 + low, front to back
//
// The command field is 3 bits wide, so 4, 5, 6 and 7 all name Copy: short
// headers 0x80-0xDF and extended headers 0xF0-0xFE (0xFC-0xFE included) are
// copies. A copy moves one byte at a time, so a source range that reaches
// into the bytes the same command writes repeats them (position = output
// length - 1 gives a run of one byte).
//
// Header bytes by meaning:
//   0x00-0x1F DirectCopy short     0xE0-0xE3 DirectCopy extended
//   0x20-0x3F ByteFill short       0xE4-0xE7 ByteFill extended
//   0x40-0x5F WordFill short       0xE8-0xEB WordFill extended
//   0x60-0x7F IncreasingFill short 0xEC-0xEF IncreasingFill extended
//   0x80-0xDF Copy short           0xF0-0xFE Copy extended
//   0xFF      end of stream
//
// The encoder writes a short header for lengths up to 32 and an extended one
// above, with (length - 1) >> 8 in the two low bits of the first byte.

#include <cstdint>

enum class LzCommand : std::uint8_t {
    DirectCopy = 0,
    ByteFill = 1,
    WordFill = 2,
    IncreasingFill = 3,
    Copy = 4,  // 5, 6 and 7 are Copy as well
};

inline constexpr std::uint8_t kLzEndMarker = 0xFF;
inline constexpr std::uint8_t kLzExtendedHeader = 0xE0;   // first extended header byte
inline constexpr std::uint32_t kLzShortMaxLength = 32;    // longest command of a short header
inline constexpr std::uint32_t kLzMaxLength = 1024;       // longest command of all

// First header byte of `command` with `length` (1-1024), short or extended.
// An extended header is followed by (length - 1) & 0xFF.
inline std::uint8_t lzHeaderByte(LzCommand command, std::uint32_t length)
{
    const auto code = static_cast<std::uint32_t>(command);
    if (length <= kLzShortMaxLength) {
        return static_cast<std::uint8_t>(code << 5 | (length - 1));
    }
    return static_cast<std::uint8_t>(kLzExtendedHeader | code << 2 | (length - 1) >> 8);
}
