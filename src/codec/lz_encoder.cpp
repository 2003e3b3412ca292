#include <bit>
#include <cstdlib>
#include <cstring>

#include "codec/encode_output.h"
#include "codec/lz_codec.h"
#include "codec/lz_encode_shared.h"
#include "codec/lz_format.h"

// Greedy encoder: at each input position it measures the longest copy from
// anywhere earlier in the input (found through the chains of the MatchIndex)
// and the three fills that start there, takes the best by fixed rules, and
// otherwise holds the byte back as a literal.

namespace {

// The shortest command of each kind the encoder writes: 4 for a copy and a
// word fill, 3 for a byte fill and an increasing fill.
constexpr std::uint32_t kMinCopyLength = 4;
constexpr std::uint32_t kMinWordFillLength = 4;

// log2 of the position buckets for inputs of up to `length` bytes, in two
// sizes, so that the functions that hash are built for each with constant
// shifts: 4096 up to 0x800 bytes (most sheets), 65,536 above; twice as many
// buckets as positions at least, up to 0x8000 bytes.
constexpr std::uint32_t kSmallInputLength = 0x800;
constexpr std::uint32_t kSmallBucketBits = 12;
constexpr std::uint32_t kLargeBucketBits = 16;

std::uint32_t bucketBitsFor(std::uint32_t length)
{
    return length <= kSmallInputLength ? kSmallBucketBits : kLargeBucketBits;
}

// The position buckets, then a quarter as many run buckets (a run takes five
// bytes at least: its four and the byte that ends it).
std::size_t bucketCount(std::uint32_t bits)
{
    return (std::size_t{1} << bits) + (std::size_t{1} << (bits - 2));
}

constexpr std::uint32_t kHashFactor = 0x9E3779B1U;

// The head of the chain of the four bytes `key` (as load4 reads them) among
// 2^kBits position buckets.
template <std::uint32_t kBits>
std::uint16_t& positionHead(const MatchIndex& index, std::uint32_t key)
{
    return index.heads[(key * kHashFactor) >> (32 - kBits)];
}

// The head of the chain of runs of `key` (runKey), in the run buckets after
// 2^kBits position buckets.
template <std::uint32_t kBits>
std::uint16_t& runHead(const MatchIndex& index, std::uint32_t key)
{
    return index.heads[(std::size_t{1} << kBits) + ((key * kHashFactor) >> (34 - kBits))];
}

// The key of a run of `value` followed by `first` and `second`.
std::uint32_t runKey(std::uint8_t value, std::uint8_t first, std::uint8_t second)
{
    return static_cast<std::uint32_t>(value) | static_cast<std::uint32_t>(first) << 8 |
           static_cast<std::uint32_t>(second) << 16;
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

// Number of bytes equal to `value` from `bytes` on (bytes[0], bytes[1], ...)
// or, kDownwards, before it (bytes[-1], bytes[-2], ...), never more than
// `limit`: eight at a time as in commonLength (the first differing byte
// going down is the highest non-zero byte of the difference), then byte by
// byte.
template <bool kDownwards = false>
std::uint32_t equalLength(const std::uint8_t* bytes, std::uint32_t limit, std::uint8_t value)
{
    std::uint32_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t pattern = value * 0x0101010101010101ULL;
        while (k + 8 <= limit) {
            const std::uint64_t difference = load8(kDownwards ? bytes - k - 8 : bytes + k) ^ pattern;
            if (difference != 0) {
                const int equalBits = kDownwards ? std::countl_zero(difference) : std::countr_zero(difference);
                return k + static_cast<std::uint32_t>(equalBits) / 8;
            }
            k += 8;
        }
    }
    while (k < limit && *(kDownwards ? bytes - k - 1 : bytes + k) == value) {
        ++k;
    }
    return k;
}

// Puts `position` first on the chain of `head`; positions come in
// decreasing order, so chains run in increasing order.
void linkChain(std::uint16_t& head, std::uint16_t* next, std::uint32_t position)
{
    next[position] = head;
    head = static_cast<std::uint16_t>(position);
}

// Whether the four bytes from `bytes` are one value.
bool startsRun(const std::uint8_t* bytes)
{
    return bytes[0] == bytes[1] && bytes[0] == bytes[2] && bytes[0] == bytes[3];
}

// How many of the positions j+4, j+3, .. j come, from the top, before the
// last one whose four bytes are one value: 5 when none is; j + 8 <= length.
// On a little-endian machine from one word: byte k of x is zero where
// input[j+k] equals the next byte, byte k of z (k < 5) where that holds three
// times in a row, and the high bit of byte k of `zeroBytes` is set exactly
// where byte k of z is zero (no carry crosses a byte).
std::uint32_t positionsAboveRun(const std::uint8_t* input, std::uint32_t j)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;
        constexpr std::uint64_t kHighBits = 0x0000008080808080ULL;  // bytes 0-4
        const std::uint64_t w = load8(input + j);
        const std::uint64_t x = w ^ w >> 8;
        const std::uint64_t z = x | x >> 8 | x >> 16;
        const std::uint64_t zeroBytes = ~(((z & kLowBits) + kLowBits) | z) & kHighBits;
        return zeroBytes == 0 ? 5 : static_cast<std::uint32_t>(std::countl_zero(zeroBytes)) / 8 - 3;
    }
    std::uint32_t k = 0;
    while (k < 5 && !startsRun(input + j + 4 - k)) {
        ++k;
    }
    return k;
}

// Number of leading bytes k < limit that follow the two-byte pattern
// first, second, first, second, ...; eight bytes at a time against the
// pattern as in commonLength, then byte by byte.
std::uint32_t patternLength(const std::uint8_t* bytes, std::uint32_t limit, std::uint8_t first,
                            std::uint8_t second)
{
    std::uint32_t k = 0;
    if constexpr (std::endian::native == std::endian::little) {
        const std::uint64_t pattern = (first | std::uint64_t{second} << 8) * 0x0001000100010001ULL;
        while (k + 8 <= limit) {
            const std::uint64_t difference = load8(bytes + k) ^ pattern;
            if (difference != 0) {
                return k + static_cast<std::uint32_t>(std::countr_zero(difference)) / 8;
            }
            k += 8;
        }
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

// The first of the longest copies for position `at` from the sources
// `source`, following(source), ... (increasing) that lie below `at`, when it
// is longer than `beat` (3 or more, below `limit`); length 0 otherwise. Equal
// lengths keep the earlier source; a copy of the full `limit` ends the walk.
// A source can beat the best so far only if it also matches in the four bytes
// that end at the best length (below `limit`, so they lie inside the input),
// which are tested first: from the start while the best is 3.
template <typename Following>
CopyMatch walkSources(const std::uint8_t* input, std::uint32_t at, std::uint32_t limit, std::uint32_t beat,
                      std::uint32_t source, Following following)
{
    CopyMatch best{beat, 0};
    const std::uint8_t* current = input + at;
    const std::uint8_t* window = input + beat - 3;  // input + the offset of the tested bytes
    std::uint32_t wanted = load4(current + beat - 3);
    for (; source < at; source = following(source)) {
        if (load4(window + source) != wanted) {
            continue;  // too short to beat the best, or another key of the bucket
        }
        const std::uint32_t length = commonLength(input + source, current, limit);
        if (length > best.length) {
            best = CopyMatch{length, source};
            if (length == limit) {
                break;
            }
            window = input + length - 3;
            wanted = load4(current + length - 3);
        }
    }
    if (best.length == beat) {
        best.length = 0;
    }
    return best;
}

// The first of the longest copies for position `at` from an earlier position,
// as walkSources tells. `run` is the byte fill at `at` when its first four
// bytes are one value (then exactly the run's length from `at`, as
// beat < limit), else 0.
//
// Outside runs the sources are the earlier positions on the chain of `at`'s
// first four bytes, which holds `at` itself: the walk ends there at the latest
// and never reads the link of a chain's last position.
//
// In a run, only a source followed by the same r = `run` bytes of the value
// and then the same two bytes can beat r + 1: the position r bytes before the
// end of an earlier run of at least r bytes that those two bytes follow. The
// runs of that key come in order, so their sources do too, up to the run that
// holds `at`, whose source is `at` itself.
template <std::uint32_t kBits>
CopyMatch findCopy(const std::uint8_t* input, const MatchIndex& index, std::uint32_t at, std::uint32_t limit,
                   std::uint32_t beat, std::uint32_t run)
{
    const std::uint16_t* next = index.next;
    if (run == 0) {
        return walkSources(input, at, limit, beat, positionHead<kBits>(index, load4(input + at)),
                           [next](std::uint32_t j) { return next[j]; });
    }
    std::uint32_t start = runHead<kBits>(index, runKey(input[at], input[at + run], input[at + run + 1]));
    const std::uint16_t* runEnd = index.runEnd;
    const auto longEnough = [&]() {
        while (runEnd[start] - start < run) {
            start = next[start];
        }
        return runEnd[start] - run;
    };
    return walkSources(input, at, limit, beat, longEnough(), [&](std::uint32_t) {
        start = next[start];
        return longEnough();
    });
}

// The first position from `at` on, below `end` (at most n - 3), where a fill
// or a copy might start, or `end`. None can where the third byte differs
// from the first and the three do not count up (no fill), and no earlier
// position is on the chain of the first four bytes (no copy). The bytes are
// taken from the four that key the chain.
template <std::uint32_t kBits>
std::uint32_t plainLiteralsFrom(const std::uint8_t* input, const MatchIndex& index, std::uint32_t at,
                                std::uint32_t end)
{
    constexpr bool kLittle = std::endian::native == std::endian::little;
    for (; at < end; ++at) {
        const std::uint32_t key = load4(input + at);
        const auto a = static_cast<std::uint8_t>(key >> (kLittle ? 0 : 24));
        const auto b = static_cast<std::uint8_t>(key >> (kLittle ? 8 : 16));
        const auto c = static_cast<std::uint8_t>(key >> (kLittle ? 16 : 8));
        if (c == a || (b == static_cast<std::uint8_t>(a + 1) && c == static_cast<std::uint8_t>(a + 2)) ||
            positionHead<kBits>(index, key) != at) {
            break;
        }
    }
    return at;
}

// Holds back the literal before `next`: the byte that makes the pending run
// 1024 long flushes it, so a run never outgrows one DirectCopy. False when
// that cleared the ok flag: the stream is incomplete, without end marker.
bool takeLiteral(EncodeContext& context, std::uint32_t next)
{
    if (next - context.pendingLiteralStart == kLzMaxLength) {
        flushPendingLiterals(context, next);
    }
    return context.ok;
}

// The main loop (one greedy step per pass) and the tail, over the index
// buildMatchIndex<kBits> built. `index` is a copy, which the writes through
// `context` cannot change, so its fields need not be read again after each of
// them.
template <std::uint32_t kBits>
void encodeCommands(EncodeContext& context, const MatchIndex index)
{
    const std::uint8_t* input = context.input;
    const std::uint32_t n = context.inputLength;
    std::uint32_t i = 0;
    while (i + 3 <= n) {
        // Literals that need no flush go by in a loop of their own.
        const std::uint32_t flushAt = context.pendingLiteralStart + kLzMaxLength - 1;
        i = plainLiteralsFrom<kBits>(input, index, i, n - 3 < flushAt ? n - 3 : flushAt);
        const std::uint32_t limit = n - i < kLzMaxLength ? n - i : kLzMaxLength;
        const std::uint8_t a = input[i];
        const std::uint8_t b = input[i + 1];
        const std::uint8_t c = input[i + 2];

        // At most one fill can apply, depending on how the first two bytes
        // relate; each is measured only when its shortest length matches
        // (three bytes for a byte fill and an increasing fill).
        std::uint32_t byteFill = 0;
        std::uint32_t wordFill = 0;
        std::uint32_t increasingFill = 0;
        if (a == b) {
            byteFill = c == a ? equalLength(input + i, limit, a) : 0;
        } else if (c == a && limit >= kMinWordFillLength && input[i + 3] == b) {
            wordFill = patternLength(input + i, limit, a, b);
        }
        if (b == static_cast<std::uint8_t>(a + 1) && c == static_cast<std::uint8_t>(a + 2)) {
            increasingFill = increasingLength(input + i, limit);
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
        const CopyMatch copy = beat < limit ? findCopy<kBits>(input, index, i, limit, beat, byteFill >= kMinCopyLength ? byteFill : 0)
                                            : CopyMatch{};

        if (copy.length == 0 && byteFill == 0 && wordFill == 0 && increasingFill == 0) {
            if (!takeLiteral(context, ++i)) {
                return;
            }
            continue;
        }
        if (context.pendingLiteralStart != i) {
            flushPendingLiterals(context, i);
        }
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

// Allocates `index` for inputs of up to `capacity` (<= 0x10000) bytes,
// releasing what it held first. False after an allocation failure, with
// nothing left allocated.
bool allocateMatchIndex(MatchIndex& index, std::uint32_t capacity)
{
    releaseMatchIndex(index);
    const std::size_t positions = capacity != 0 ? capacity : 1;
    const std::size_t buckets = bucketCount(bucketBitsFor(capacity));
    // One block: the heads, then the two arrays of positions.
    auto* block = static_cast<std::uint16_t*>(std::calloc(buckets + 2 * positions, sizeof(std::uint16_t)));
    if (block == nullptr) {
        return false;
    }
    index.heads = block;
    index.next = block + buckets;
    index.runEnd = index.next + positions;
    index.capacity = capacity;
    return true;
}

// Chains positions 0 .. length-4 of `input` and its runs (encode_context.h)
// into 2^kBits position buckets (bucketBitsFor(length)), from the last
// position down. `length` must not exceed index.capacity. Writes only the
// heads of the chains it builds and the entries of those positions and runs.
template <std::uint32_t kBits>
void buildMatchIndex(const MatchIndex& index, const std::uint8_t* input, std::uint32_t length)
{
    if (length < kMinCopyLength) {
        return;  // no position has four bytes
    }
    std::uint16_t* const next = index.next;
    const auto linkPosition = [&](std::uint32_t position) {
        linkChain(positionHead<kBits>(index, load4(input + position)), next, position);
    };
    // The run of four or more equal bytes whose last position with four of
    // them is `last` goes on its chain once, from its start, the positions in
    // it on none; returns its start. A run that reaches the end of the input,
    // or all but its last byte, offers no source that could beat a byte fill
    // of its length and goes on no chain.
    const auto linkRun = [&](std::uint32_t last) {
        const std::uint8_t value = input[last];
        const std::uint32_t start = last - equalLength<true>(input + last, last, value);
        const std::uint32_t end = last + kMinCopyLength;
        if (end + 1 < length) {
            index.runEnd[start] = static_cast<std::uint16_t>(end);
            const std::uint32_t key = runKey(value, input[end], input[end + 1]);
            linkChain(runHead<kBits>(index, key), next, start);
        }
        return start;
    };
    // Positions from `top` on are done, and the highest position below it
    // whose four bytes are one value is the last such of its run. Five at a
    // time while they have eight bytes, then one by one.
    std::uint32_t top = length - kMinCopyLength + 1;
    while (top >= 5) {
        const std::uint32_t plain = positionsAboveRun(input, top - 5);
        if (plain == 5) {
            linkPosition(top - 1);
            linkPosition(top - 2);
            linkPosition(top - 3);
            linkPosition(top - 4);
            linkPosition(top - 5);
            top -= 5;
            continue;
        }
        for (const std::uint32_t last = top - 1 - plain; top - 1 > last; --top) {
            linkPosition(top - 1);
        }
        top = linkRun(top - 1);
    }
    while (top > 0) {
        if (startsRun(input + top - 1)) {
            top = linkRun(top - 1);
        } else {
            --top;
            linkPosition(top);
        }
    }
}

}  // namespace

void releaseMatchIndex(MatchIndex& index)
{
    std::free(index.heads);
    index = MatchIndex{};
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
        if (bucketBitsFor(context.inputLength) == kSmallBucketBits) {
            buildMatchIndex<kSmallBucketBits>(index, context.input, context.inputLength);
            encodeCommands<kSmallBucketBits>(context, index);
        } else {
            buildMatchIndex<kLargeBucketBits>(index, context.input, context.inputLength);
            encodeCommands<kLargeBucketBits>(context, index);
        }
    }
    if (!context.keepTables) {
        releaseMatchIndex(index);
    }
}
