#pragma once
// The codec types a compressed sheet's stream can have.

#include <cstdint>

// The stored format of a compressed sheet. Values other than these four have
// no codec: decoding them yields nothing and encoding them fails.
enum SheetCodecType : std::uint8_t {
    LzSheet = 0,          // LZ stream, decoded bytes form the sheet unchanged
    LzSheet3bpp = 1,      // LZ stream of 3bpp tiles, widened to 4bpp
    RunLengthSheet = 2,   // run-length packets closed by FF FF
    RunLengthBlock = 3,   // run-length packets of one 0x8000-byte block
};
