#include <bit>
#include <cstdlib>
#include <cstring>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/encode_output.h"
#include "codec/lz_codec.h"
#include "codec/lz_format.h"

// Greedy encoder: at each input position it measures the longest copy from
// anywhere earlier in the input (found through the four-byte chains of the
// MatchIndex) and the three fills that start there, takes the best by fixed
// rules, and otherwise holds the byte back as a literal.

namespace {

constexpr std::uint32_t kMinCopyLength = 4;
constexpr std::uint32_t kMinByteFillLength = 3;
constexpr std::uint32_t kMinWordFillLength = 4;
constexpr std::uint32_t kMinIncreasingFillLength = 3;

// log2 of the buckets for inputs of up to `capacity` bytes: at least twice
// as many buckets as positions, at least 64, at most 65,536.
std::uint32_t bucketBitsFor(std::uint32_t capacity)
{
    std::uint32_t bits = 6;
    while (bits < 16 && (1U << bits) < 2 * capacity) {
        ++bits;
    }
    return bits;
}

std::uint32_t load4(const std::uint8_t* bytes)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::uint64_t load8(const std::uint8_t* bytes)
{
    std::uint64_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Number of leading positions k < limit where a[k] == b[k]: eight bytes at a
// time (the first differing byte is the lowest non-zero byte of the
// difference on a little-endian machine), then four, then byte by byte. The
// ranges may overlap; nothing at or past a + limit or b + limit is read.
std::uint32_t commonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit)
{
    std::uint32_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (k + 8 <= limit) {
            const std::uint64_t difference = load8(a + k) ^ load8(b + k);
            if (difference != 0) {
                return k + static_cast<std::uint32_t>(std::countr_zero(difference)) / 8;
            }
            k += 8;
        }
    }
    while (k + 4 <= limit && load4(a + k) == load4(b + k)) {
        k += 4;
    }
    while (k < limit && a[k] == b[k]) {
        ++k;
    }
    return k;
}

// Number of leading bytes k < limit that follow the two-byte pattern
// first, second, first, second, ...; four bytes at a time against the
// pattern, then byte by byte.
std::uint32_t patternLength(const std::uint8_t* bytes, std::uint32_t limit, std::uint8_t first,
                            std::uint8_t second)
{
    const std::uint8_t group[4] = {first, second, first, second};
    const std::uint32_t pattern = load4(group);
    std::uint32_t k = 0;
    while (k + 4 <= limit && load4(bytes + k) == pattern) {
        k += 4;
    }
    while (k < limit && bytes[k] == ((k & 1U) == 0 ? first : second)) {
        ++k;
    }
    return k;
}

std::uint32_t increasingLength(const std::uint8_t* bytes, std::uint32_t limit)
{
    std::uint8_t expected = bytes[0];
    std::uint32_t k = 0;
    while (k < limit && bytes[k] == expected) {
        ++k;
        ++expected;  // counts modulo 256
    }
    return k;
}

struct CopyMatch {
    std::uint32_t length = 0;
    std::uint32_t source = 0;
};

// The first of the longest copies for position `at` among the earlier
// positions of its chain (those whose first four bytes are the same), when it
// is longer than `beat` (3 or more, below `limit`); length 0 otherwise. The
// walk ends at the first position at or past `at`, or at a match of the full
// `limit`; equal lengths keep the earlier candidate. A candidate can beat the
// best so far only if it also matches in the four bytes that end at the best
// length, which are tested first.
CopyMatch findCopy(const EncodeContext& context, const MatchIndex& index, std::uint32_t at, std::uint32_t limit,
                   std::uint32_t beat)
{
    CopyMatch best;
    best.length = beat;
    const std::uint8_t* input = context.input;
    const std::uint8_t* current = input + at;
    const std::uint32_t firstFour = load4(current);
    // The chain of `at` contains `at` itself, so the walk ends there at the
    // latest and never reads the link of a chain's last position.
    for (std::uint32_t j = index.chainStart[at]; j < at; j = index.next[j]) {
        const std::uint8_t* candidate = input + j;
        // best.length < limit, so these bytes lie inside the input.
        if (load4(candidate + best.length - 3) != load4(current + best.length - 3) ||
            load4(candidate) != firstFour) {
            continue;  // too short to beat the best, or another key of the bucket
        }
        const std::uint32_t length =
            kMinCopyLength + commonLength(candidate + 4, current + 4, limit - kMinCopyLength);
        if (length > best.length) {
            best.length = length;
            best.source = j;
            if (length == limit) {
                break;
            }
        }
    }
    if (best.length == beat) {
        best.length = 0;
    }
    return best;
}

// The main loop (one greedy step per pass) and the tail.
void encodeCommands(EncodeContext& context, const MatchIndex& index)
{
    const std::uint8_t* input = context.input;
    const std::uint32_t n = context.inputLength;
    std::uint32_t i = 0;
    while (i + 3 <= n) {
        const std::uint32_t limit = n - i < kLzMaxLength ? n - i : kLzMaxLength;
        const std::uint8_t a = input[i];
        const std::uint8_t b = input[i + 1];

        // At most one fill can apply, depending on how the first two bytes relate.
        std::uint32_t byteFill = 0;
        std::uint32_t wordFill = 0;
        std::uint32_t increasingFill = 0;
        if (a == b) {
            byteFill = patternLength(input + i, limit, a, a);
            if (byteFill < kMinByteFillLength) {
                byteFill = 0;
            }
        } else {
            wordFill = patternLength(input + i, limit, a, b);
            if (wordFill < kMinWordFillLength) {
                wordFill = 0;
            }
        }
        if (b == static_cast<std::uint8_t>(a + 1)) {
            increasingFill = increasingLength(input + i, limit);
            if (increasingFill < kMinIncreasingFillLength) {
                increasingFill = 0;
            }
        }

        // A copy is taken only when it is longer than `beat`: 3 (copies need
        // 4 bytes), or what the fill found demands. Any copy the chain walk
        // skips for that reason would have lost to the fill, and when the
        // longest copy is longer, its first source is the same as that of an
        // unrestricted walk. When the first four bytes are one value, the
        // byte fill is the run's length r, and a walk happens only when r is
        // below the limit; the run chain then holds every source that matches
        // more than r bytes.
        std::uint32_t beat = kMinCopyLength - 1;
        beat = byteFill != 0 ? byteFill + 1 : beat;
        beat = wordFill > beat ? wordFill : beat;
        beat = increasingFill != 0 && increasingFill + 1 > beat ? increasingFill + 1 : beat;
        const CopyMatch copy = beat < limit ? findCopy(context, index, i, limit, beat) : CopyMatch{};

        if (copy.length == 0 && byteFill == 0 && wordFill == 0 && increasingFill == 0) {
            // Literal: the byte that makes the pending run 1024 long flushes it,
            // so a run never outgrows one DirectCopy.
            ++i;
            if (i - context.pendingLiteralStart == kLzMaxLength) {
                flushPendingLiterals(context, i);
            }
        } else {
            flushPendingLiterals(context, i);
            std::uint32_t length = 0;
            // A copy must beat a byte fill or an increasing fill by 2 bytes and a
            // word fill by 1: on a tie the fill is taken.
            if (copy.length > byteFill + 1 && copy.length > wordFill &&
                copy.length > increasingFill + 1) {
                length = copy.length;
                writeLzCommand(context, LzCommand::Copy, length, static_cast<std::uint8_t>(copy.source & 0xFFU),
                               static_cast<std::uint8_t>(copy.source >> 8));
            } else if (byteFill != 0) {
                length = byteFill;
                writeLzCommand(context, LzCommand::ByteFill, length, a);
            } else if (wordFill != 0) {
                length = wordFill;
                writeLzCommand(context, LzCommand::WordFill, length, a, b);
            } else {
                length = increasingFill;
                writeLzCommand(context, LzCommand::IncreasingFill, length, a);
            }
            i += length;
            context.pendingLiteralStart = i;
        }
        if (!context.ok) {
            return;  // incomplete stream, no end marker
        }
    }
    // Tail: the pending run with the last 0-2 bytes, which are too few for any
    // command but a literal. It can reach 1025 bytes and then goes out as
    // 1024 + 1.
    flushPendingLiterals(context, n);
    putByte(context, kLzEndMarker);
}

}  // namespace

bool allocateMatchIndex(MatchIndex& index, std::uint32_t capacity)
{
    releaseMatchIndex(index);
    const std::size_t positions = capacity != 0 ? capacity : 1;
    index.chainStart = static_cast<std::uint16_t*>(std::malloc(positions * sizeof(std::uint16_t)));
    index.next = static_cast<std::uint16_t*>(std::malloc(positions * sizeof(std::uint16_t)));
    // Stamp 0 marks every bucket empty until the first build.
    index.bucketBits = bucketBitsFor(capacity);
    index.buckets = static_cast<std::uint32_t*>(std::calloc(std::size_t{1} << index.bucketBits, sizeof(std::uint32_t)));
    if (index.chainStart == nullptr || index.next == nullptr || index.buckets == nullptr) {
        releaseMatchIndex(index);
        return false;
    }
    index.capacity = capacity;
    return true;
}

void releaseMatchIndex(MatchIndex& index)
{
    std::free(index.chainStart);
    std::free(index.next);
    std::free(index.buckets);
    index = MatchIndex{};
}

void buildMatchIndex(MatchIndex& index, const std::uint8_t* input, std::uint32_t length)
{
    if (length < kMinCopyLength) {
        return;  // no position has four bytes
    }
    const std::uint32_t chained = length - kMinCopyLength + 1;
    if (++index.stamp > 0xFFFFU) {
        std::memset(index.buckets, 0, (std::size_t{1} << index.bucketBits) * sizeof(std::uint32_t));
        index.stamp = 1;
    }
    const std::uint32_t stamp = index.stamp << 16;
    const std::uint32_t shift = 32 - index.bucketBits;
    std::uint32_t runEnd = 0;  // end of the last run of four or more equal bytes seen
    for (std::uint32_t j = 0; j < chained; ++j) {
        std::uint32_t key = load4(input + j);
        if (key == (key & 0xFFU) * 0x01010101U) {
            if (j >= runEnd) {
                runEnd = j + kMinCopyLength;
                while (runEnd < length && input[runEnd] == input[j]) {
                    ++runEnd;
                }
            }
            // Run keys only ever meet four-byte keys in a bucket, never match them.
            key = ((runEnd - j) << 8 | (key & 0xFFU)) ^ 0xA5A5A5A5U;
        }
        const std::uint32_t bucket = (key * 0x9E3779B1U) >> shift;
        const std::uint32_t entry = index.buckets[bucket];
        if ((entry & 0xFFFF0000U) == stamp) {
            const std::uint32_t last = entry & 0xFFFFU;
            index.chainStart[j] = index.chainStart[last];
            index.next[last] = static_cast<std::uint16_t>(j);
        } else {
            index.chainStart[j] = static_cast<std::uint16_t>(j);
        }
        index.buckets[bucket] = stamp | j;
    }
}

void writeLzHeader(EncodeContext& context, LzCommand command, std::uint32_t length)
{
    putByte(context, lzHeaderByte(command, length));
    if (length > kLzShortMaxLength) {
        putByte(context, static_cast<std::uint8_t>((length - 1) & 0xFFU));
    }
}

void writeLzCommand(EncodeContext& context, LzCommand command, std::uint32_t length, std::uint8_t first,
                    std::uint8_t second)
{
    writeLzHeader(context, command, length);
    putByte(context, first);
    if (command == LzCommand::Copy || command == LzCommand::WordFill) {
        putByte(context, second);
    }
}

bool prepareLzInput(EncodeContext& context)
{
    if (context.codecType != LzSheet) {
        // Type 1 sheets are stored as 3bpp tiles; inputs of 16 bytes or fewer
        // stay as they are.
        context.inputLength = packTiles4To3(context.input, context.inputLength);
    }
    if (context.inputLength > kCodecBufferSize) {
        context.ok = false;  // copy positions are 16 bits
        return false;
    }
    return true;
}

std::uint32_t lzTableCapacity(const EncodeContext& context)
{
    // Kept tables are sized for a whole sheet buffer at least, so that a walk
    // allocates them once.
    return context.keepTables && context.inputLength < kSheetBufferSize ? kSheetBufferSize : context.inputLength;
}

void flushPendingLiterals(EncodeContext& context, std::uint32_t q)
{
    // The callers pass at most 1024 bytes except in the tail, where a run of
    // 1025 goes out as one command of 1024 and one of the rest.
    while (context.pendingLiteralStart < q) {
        const std::uint32_t pending = q - context.pendingLiteralStart;
        const std::uint32_t length = pending < kLzMaxLength ? pending : kLzMaxLength;
        writeLzHeader(context, LzCommand::DirectCopy, length);
        putBlock(context, context.input + context.pendingLiteralStart, length);
        context.pendingLiteralStart += length;
    }
}

void keepEncoderTables(EncodeContext& context)
{
    context.keepTables = true;
}

void releaseEncoderTables(EncodeContext& context)
{
    releaseMatchIndex(context.matchIndex);
    releaseSmallestParse(context.smallestParse);
    context.keepTables = false;
}

void encodeLzSheet(EncodeContext& context)
{
    if (!prepareLzInput(context)) {
        return;
    }
    MatchIndex& index = context.matchIndex;
    if (index.capacity < context.inputLength) {
        if (!allocateMatchIndex(index, lzTableCapacity(context))) {
            context.ok = false;
            return;
        }
    }
    context.pendingLiteralStart = 0;
    context.outputLength = 0;
    if (context.ok) {
        buildMatchIndex(index, context.input, context.inputLength);
        encodeCommands(context, index);
    }
    if (!context.keepTables) {
        releaseMatchIndex(index);
    }
}
