#include "codec/bitplane.h"

#include <cstring>

#include "codec/codec_limits.h"

// A 3bpp tile is 24 bytes: rows of planes 0/1 interleaved (bytes 0-15), then
// one plane-2 byte per row (16-23). A 4bpp tile is 32 bytes: the same first
// 16 bytes, then plane 2 and plane 3 interleaved (16-31). Tiles follow each
// other from the first byte of the buffer, so a 4bpp position p lies in the
// upper half of its tile exactly when bit 4 of p is set; there even positions
// are plane 2 and odd positions plane 3. The conversions test that bit on the
// absolute buffer index and never count tiles.

namespace {

constexpr std::uint32_t kUpperHalfBit = 16;     // bit 4 of a 4bpp position
constexpr std::uint32_t kUntouchedPrefix = 16;  // planes 0/1 of the first tile never move
constexpr std::uint32_t kRawScratchSize = 0x8000;

// The read index of the packing after the byte at `read`: in an upper half
// the read index is always even, so the byte skipped is plane 3.
std::uint32_t nextPackedRead(std::uint32_t read)
{
    return read + ((read & kUpperHalfBit) != 0 ? 2U : 1U);
}

// Steps 2 and 3 of the packing: copies every byte at or past position 16
// except the plane-3 bytes (odd positions of upper halves) down to the write
// position, whatever their values. The write index never passes the read
// index. Whole tiles go a tile at a time (tile t lands at 24t, from 32t: its
// 16 plane-0/1 bytes, then its 8 plane-2 bytes), a partial last tile byte by byte.
std::uint32_t packFrom16(std::uint8_t* buffer, std::uint32_t length)
{
    const std::uint32_t wholeTiles = length / 32U;
    // Tile 0's planes 0/1 stay where they are.
    for (std::uint32_t tile = 0; tile < wholeTiles; ++tile) {
        std::uint8_t* to = buffer + 24U * tile;
        const std::uint8_t* from = buffer + 32U * tile;
        if (tile != 0) {
            std::memmove(to, from, 16);
        }
        for (std::uint32_t row = 0; row < 8; ++row) {
            to[16 + row] = from[16 + 2 * row];
        }
    }
    std::uint32_t write = wholeTiles == 0 ? kUntouchedPrefix : 24U * wholeTiles;
    std::uint32_t read = wholeTiles == 0 ? kUntouchedPrefix : 32U * wholeTiles;
    for (; read < length; read = nextPackedRead(read)) {
        buffer[write] = buffer[read];
        ++write;
    }
    return write;
}

}  // namespace

std::uint32_t expandTiles3To4(std::uint8_t* buffer, std::uint32_t length)
{
    if (length <= kUntouchedPrefix) {
        return length;
    }
    // A 3bpp length 24q + r becomes 32q + r when the partial tile holds only
    // planes 0/1 (r <= 16), else 32q + 2r - 16 (each plane-2 byte gains a zero
    // plane-3 partner). Computed in 64 bits so no length can wrap.
    const std::uint64_t q = length / 24U;
    const std::uint64_t r = length % 24U;
    std::uint64_t newLength = r <= 16 ? 32U * q + r : 32U * q + 2U * r - 16U;
    std::uint32_t source = length - 1;
    if (newLength > kCodecBufferSize) {
        // Only the first 2048 tiles fit; decoded bytes from 0xC000 on are
        // dropped. L = 0xC000 gives exactly 0x10000 and is not capped.
        newLength = kCodecBufferSize;  // all whole tiles: the byte loop below does not run
    }
    // From the end, so the data grows inside the buffer: the destination never
    // falls below the source and no byte is overwritten before it is read.
    // A partial last tile goes byte by byte, then whole tiles a tile at a time.
    const std::uint32_t wholeTiles =
        newLength == kCodecBufferSize ? kCodecBufferSize / 32U : static_cast<std::uint32_t>(q);
    std::uint32_t dest = static_cast<std::uint32_t>(newLength) - 1;
    while (dest >= 32U * wholeTiles && dest >= kUntouchedPrefix) {
        if ((dest & kUpperHalfBit) != 0) {
            // dest is odd here: a plane-3 position, and the byte copied next
            // lands on the plane-2 position just below it.
            buffer[dest] = 0;
            --dest;
        }
        buffer[dest] = buffer[source];
        --dest;
        --source;
    }
    for (std::uint32_t tile = wholeTiles; tile-- > 0;) {
        const std::uint8_t* from = buffer + 24U * tile;
        std::uint8_t* to = buffer + 32U * tile;
        // Plane 2 spreads over the upper half from its end (its bytes move up
        // or stay), then planes 0/1 move up as one block; tile 0's stay put.
        for (std::uint32_t row = 8; row-- > 0;) {
            to[16 + 2 * row + 1] = 0;
            to[16 + 2 * row] = from[16 + row];
        }
        if (tile != 0) {
            std::memmove(to, from, 16);
        }
    }
    return static_cast<std::uint32_t>(newLength);
}

std::uint32_t expandRawSheet3To4(std::uint8_t* sheet)
{
    std::uint8_t scratch[kRawScratchSize];
    std::uint32_t out = 0;
    for (std::uint32_t in = 0; in < kRaw3bppSheetSize; ++in) {
        // A byte and its zero partner must both fit; never reached with 1536
        // input bytes.
        if (out > kRawScratchSize - 2) {
            break;
        }
        scratch[out] = sheet[in];
        if ((out & kUpperHalfBit) != 0) {
            scratch[out + 1] = 0;
            out += 2;
        } else {
            out += 1;
        }
    }
    std::memcpy(sheet, scratch, out);
    return out;
}

std::uint32_t packTiles4To3(std::uint8_t* buffer, std::uint32_t length)
{
    if (length <= kUntouchedPrefix) {
        return length;
    }
    return packFrom16(buffer, length);
}

std::uint32_t packRawSheet4To3(std::uint8_t* sheet)
{
    // Always consumes the whole 2048-byte sheet, however many bytes the sheet
    // file supplied.
    return packFrom16(sheet, kRaw4bppSheetSize);
}

bool packingDropsColour(const std::uint8_t* buffer, std::uint32_t length)
{
    // The bytes packFrom16 steps over: the odd ones of each upper half that
    // lie before `length`, in whole tiles eight at a time through a mask of
    // the odd bytes.
    constexpr std::uint8_t kOddBytes[8] = {0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF};
    std::uint64_t oddMask = 0;
    std::memcpy(&oddMask, kOddBytes, sizeof oddMask);
    std::uint64_t droppedInTiles = 0;
    const std::uint32_t wholeTiles = length / 32U;
    for (std::uint32_t tile = 0; tile < wholeTiles; ++tile) {
        std::uint64_t upper[2];
        std::memcpy(upper, buffer + 32U * tile + 16, sizeof upper);
        droppedInTiles |= (upper[0] | upper[1]) & oddMask;
    }
    std::uint8_t dropped = 0;
    for (std::uint32_t at = 32U * wholeTiles + 17; at < length; at += 2) {
        dropped |= (at & kUpperHalfBit) != 0 ? buffer[at] : 0;
    }
    return droppedInTiles != 0 || dropped != 0;
}
