#include <cstdlib>
#include <cstring>

#include "codec/encode_output.h"
#include "codec/lz_codec.h"
#include "codec/lz_encode_shared.h"
#include "codec/lz_format.h"

// Smallest packing: the shortest LZ stream over every parse of the input into
// literal runs, fills and copies of any length 1 to 1024.
//
// cost[i] is the fewest bytes that encode input[i .. n). A command of length L
// costs its header (1 byte for L <= 32, 2 above) and its arguments: DirectCopy
// L bytes, ByteFill and IncreasingFill 1, WordFill and Copy 2. cost[i + 1] <=
// cost[i] for every i: the first command of an encoding of input[i .. n),
// shortened by its first byte (a word fill with its bytes swapped, an
// increasing fill from the next value, a copy from the next source), or left
// out when it was one byte long, starts an encoding of input[i + 1 .. n) that
// is no longer. So among the lengths of one command with one header size the
// longest possible one is best, and only the literal runs need every length:
// their cost j - i + header + cost[j] is the minimum of j + cost[j] over a
// window of ends j, kept in a monotonic queue.
//
// A copy of length L is possible at i exactly when some source s < i starts a
// match of at least L bytes (the ranges may overlap), so only the longest
// earlier match matters. It is found for every position from the suffix array
// and the longest-common-prefix array: the longest earlier match of the suffix
// at rank r is with the nearest rank above or below r whose position is
// smaller, and its length is the smallest common prefix on the way there.

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFFU;
constexpr std::uint32_t kTableCount = 8;
constexpr std::uint32_t kByteValues = 256;

// The eight tables of one parse, each of stride entries. The suffix sorting
// uses the first seven; the parse itself reuses four of them.
struct ParseTables {
    std::uint32_t* suffixes;   // suffix array: positions in sorted order
    std::uint32_t* ranks;      // rank of each position
    std::uint32_t* scratch;    // second-key order, new ranks
    std::uint32_t* buckets;    // counting sort, at least 257 entries
    std::uint32_t* common;     // common[r]: common prefix of ranks r - 1 and r
    std::uint32_t* stackRank;  // ranks on the nearest-smaller stack
    std::uint32_t* stackMin;   // smallest common prefix from each entry up to the next
    std::uint32_t* longest;    // per position: match length | source << 16
};

std::uint32_t strideFor(std::uint32_t capacity)
{
    return (capacity > kByteValues ? capacity : kByteValues) + 1;
}

ParseTables tablesOf(const SmallestParse& parse)
{
    const std::uint32_t stride = strideFor(parse.capacity);
    std::uint32_t* t = parse.block;
    return {t, t + stride, t + 2 * stride, t + 3 * stride, t + 4 * stride, t + 5 * stride, t + 6 * stride,
            t + 7 * stride};
}

bool allocateSmallestParse(SmallestParse& parse, std::uint32_t capacity)
{
    releaseSmallestParse(parse);
    const std::size_t entries = static_cast<std::size_t>(strideFor(capacity)) * kTableCount;
    parse.block = static_cast<std::uint32_t*>(std::malloc(entries * sizeof(std::uint32_t)));
    if (parse.block == nullptr) {
        return false;
    }
    parse.capacity = capacity;
    return true;
}

// Sorts the n >= 2 suffixes of `input` by doubling the compared prefix, each
// round a stable counting sort by rank. On return t.suffixes is the suffix
// array and t.ranks its inverse.
void sortSuffixes(const std::uint8_t* input, std::uint32_t n, const ParseTables& t)
{
    std::uint32_t* suffixes = t.suffixes;
    std::uint32_t* ranks = t.ranks;
    std::uint32_t* scratch = t.scratch;
    std::uint32_t* buckets = t.buckets;

    std::memset(buckets, 0, (kByteValues + 1) * sizeof(std::uint32_t));
    for (std::uint32_t i = 0; i < n; ++i) {
        ++buckets[input[i] + 1];
    }
    for (std::uint32_t v = 1; v <= kByteValues; ++v) {
        buckets[v] += buckets[v - 1];
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        suffixes[buckets[input[i]]++] = i;
    }
    std::uint32_t classes = 1;
    ranks[suffixes[0]] = 0;
    for (std::uint32_t k = 1; k < n; ++k) {
        classes += input[suffixes[k]] != input[suffixes[k - 1]] ? 1U : 0U;
        ranks[suffixes[k]] = classes - 1;
    }

    for (std::uint32_t h = 1; classes < n; h *= 2) {
        // Order by the second key (the rank h further on; none sorts first):
        // the suffixes shorter than h + 1, then the others in current order.
        std::uint32_t filled = 0;
        for (std::uint32_t i = n - h; i < n; ++i) {
            scratch[filled++] = i;
        }
        for (std::uint32_t k = 0; k < n; ++k) {
            if (suffixes[k] >= h) {
                scratch[filled++] = suffixes[k] - h;
            }
        }
        // Stable by the first key.
        std::memset(buckets, 0, (classes + 1) * sizeof(std::uint32_t));
        for (std::uint32_t i = 0; i < n; ++i) {
            ++buckets[ranks[i] + 1];
        }
        for (std::uint32_t c = 1; c <= classes; ++c) {
            buckets[c] += buckets[c - 1];
        }
        for (std::uint32_t k = 0; k < n; ++k) {
            const std::uint32_t i = scratch[k];
            suffixes[buckets[ranks[i]]++] = i;
        }
        // New ranks: equal exactly when both keys are equal.
        const auto second = [&](std::uint32_t i) { return i + h < n ? ranks[i + h] + 1 : 0U; };
        classes = 1;
        scratch[suffixes[0]] = 0;
        for (std::uint32_t k = 1; k < n; ++k) {
            const std::uint32_t a = suffixes[k - 1];
            const std::uint32_t b = suffixes[k];
            classes += ranks[a] != ranks[b] || second(a) != second(b) ? 1U : 0U;
            scratch[b] = classes - 1;
        }
        std::uint32_t* swapped = ranks;
        ranks = scratch;
        scratch = swapped;
    }
    if (ranks != t.ranks) {
        std::memcpy(t.ranks, ranks, n * sizeof(std::uint32_t));
    }
}

// common[r] = common prefix length of the suffixes at ranks r - 1 and r
// (common[0] = 0), by walking the positions in order: the prefix shared with
// the predecessor shrinks by at most one from one position to the next.
void findCommonPrefixes(const std::uint8_t* input, std::uint32_t n, const ParseTables& t)
{
    std::uint32_t shared = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t rank = t.ranks[i];
        if (rank == 0) {
            t.common[0] = 0;
            shared = 0;
            continue;
        }
        const std::uint32_t j = t.suffixes[rank - 1];
        while (i + shared < n && j + shared < n && input[i + shared] == input[j + shared]) {
            ++shared;
        }
        t.common[rank] = shared;
        if (shared != 0) {
            --shared;
        }
    }
}

std::uint32_t smaller(std::uint32_t a, std::uint32_t b)
{
    return a < b ? a : b;
}

// Keeps in t.longest[p] the longer of its match and the match of `length`
// from `source`, at most kLzMaxLength.
void offerMatch(const ParseTables& t, std::uint32_t position, std::uint32_t length, std::uint32_t source)
{
    length = smaller(length, kLzMaxLength);
    if (length > (t.longest[position] & 0xFFFFU)) {
        t.longest[position] = length | source << 16;
    }
}

// For every position, the longest match (at most 1024 bytes) that starts at
// any earlier position, and one such source: t.longest[p] = length | source
// << 16, length 0 when there is none. One pass over the ranks each way with a
// stack of ranks whose positions increase from bottom to top.
void findLongestEarlierMatches(std::uint32_t n, const ParseTables& t)
{
    for (std::uint32_t p = 0; p < n; ++p) {
        t.longest[p] = 0;
    }
    for (int direction = 0; direction < 2; ++direction) {
        std::uint32_t top = 0;
        for (std::uint32_t step = 0; step < n; ++step) {
            const std::uint32_t rank = direction == 0 ? step : n - 1 - step;
            if (top != 0) {
                // The common prefix between this rank and the one before it in
                // the walk.
                const std::uint32_t between = direction == 0 ? t.common[rank] : t.common[rank + 1];
                t.stackMin[top - 1] = smaller(t.stackMin[top - 1], between);
            }
            const std::uint32_t position = t.suffixes[rank];
            while (top != 0 && t.suffixes[t.stackRank[top - 1]] > position) {
                --top;
                if (top != 0) {
                    t.stackMin[top - 1] = smaller(t.stackMin[top - 1], t.stackMin[top]);
                }
            }
            if (top != 0) {
                offerMatch(t, position, t.stackMin[top - 1], t.suffixes[t.stackRank[top - 1]]);
            }
            t.stackRank[top] = rank;
            t.stackMin[top] = kNone;
            ++top;
        }
    }
}

// A parse step: command, length (1-1024) and, for a copy, the source.
std::uint32_t packStep(LzCommand command, std::uint32_t length, std::uint32_t source)
{
    return length | static_cast<std::uint32_t>(command) << 11 | source << 16;
}

// A window of ends j of literal runs, with the smallest j + cost[j] in front.
// Ends enter in decreasing order; each enters once, so `capacity` entries hold
// them all.
struct EndQueue {
    std::uint32_t* ends;
    std::uint32_t front = 0;
    std::uint32_t back = 0;
};

void enterEnd(EndQueue& queue, const std::uint32_t* cost, std::uint32_t end)
{
    // An end that costs no less than the new one and leaves the window sooner
    // can never be the smallest again.
    while (queue.back != queue.front && queue.ends[queue.back - 1] + cost[queue.ends[queue.back - 1]] >=
                                            end + cost[end]) {
        --queue.back;
    }
    queue.ends[queue.back++] = end;
}

// Smallest j + cost[j] of the window, after the ends past `last` left it;
// kNone when the window is empty.
std::uint32_t bestEnd(EndQueue& queue, std::uint32_t last)
{
    while (queue.front != queue.back && queue.ends[queue.front] > last) {
        ++queue.front;
    }
    return queue.front != queue.back ? queue.ends[queue.front] : kNone;
}

// Fills cost[0 .. n] and step[0 .. n-1] from the end. cost and step reuse
// t.suffixes and t.ranks; the two literal windows reuse t.scratch and
// t.buckets.
void chooseSteps(const std::uint8_t* input, std::uint32_t n, const ParseTables& t)
{
    std::uint32_t* cost = t.suffixes;
    std::uint32_t* step = t.ranks;
    EndQueue shortRuns{t.scratch};  // ends i + 1 .. i + 32: one header byte
    EndQueue longRuns{t.buckets};   // ends i + 33 .. i + 1024: two header bytes
    cost[n] = 0;
    std::uint32_t byteRun = 0;        // leading bytes equal to input[i + 1]
    std::uint32_t countingRun = 0;    // leading bytes counting up from input[i + 1]
    std::uint32_t alternatingRun = 0; // positions m >= i + 1 in a row with input[m + 2] = input[m]

    for (std::uint32_t i = n; i-- > 0;) {
        const std::uint8_t a = input[i];
        const bool hasNext = i + 1 < n;
        byteRun = hasNext && input[i + 1] == a ? byteRun + 1 : 1;
        countingRun = hasNext && input[i + 1] == static_cast<std::uint8_t>(a + 1) ? countingRun + 1 : 1;
        alternatingRun = i + 2 < n && input[i + 2] == a ? alternatingRun + 1 : 0;
        // A word fill of length 1 never wins: a byte fill of 1 costs a byte less.
        const std::uint32_t wordRun = hasNext ? 2 + alternatingRun : 0;

        std::uint32_t best = kNone;
        std::uint32_t choice = 0;
        // The longest length of each header size; ties keep the earlier offer.
        const auto offer = [&](LzCommand command, std::uint32_t longest, std::uint32_t arguments,
                               std::uint32_t source) {
            const std::uint32_t shortLength = smaller(longest, kLzShortMaxLength);
            if (shortLength != 0 && 1 + arguments + cost[i + shortLength] < best) {
                best = 1 + arguments + cost[i + shortLength];
                choice = packStep(command, shortLength, source);
            }
            const std::uint32_t longLength = smaller(longest, kLzMaxLength);
            if (longLength > kLzShortMaxLength && 2 + arguments + cost[i + longLength] < best) {
                best = 2 + arguments + cost[i + longLength];
                choice = packStep(command, longLength, source);
            }
        };
        offer(LzCommand::Copy, t.longest[i] & 0xFFFFU, 2, t.longest[i] >> 16);
        offer(LzCommand::ByteFill, byteRun, 1, 0);
        offer(LzCommand::WordFill, wordRun, 2, 0);
        offer(LzCommand::IncreasingFill, countingRun, 1, 0);

        enterEnd(shortRuns, cost, i + 1);
        if (i + kLzShortMaxLength + 1 <= n) {
            enterEnd(longRuns, cost, i + kLzShortMaxLength + 1);
        }
        const std::uint32_t shortEnd = bestEnd(shortRuns, i + kLzShortMaxLength);
        if (shortEnd - i + 1 + cost[shortEnd] < best) {
            best = shortEnd - i + 1 + cost[shortEnd];
            choice = packStep(LzCommand::DirectCopy, shortEnd - i, 0);
        }
        const std::uint32_t longEnd = bestEnd(longRuns, i + kLzMaxLength);
        if (longEnd != kNone && longEnd - i + 2 + cost[longEnd] < best) {
            best = longEnd - i + 2 + cost[longEnd];
            choice = packStep(LzCommand::DirectCopy, longEnd - i, 0);
        }
        cost[i] = best;
        step[i] = choice;
    }
}

// Writes the chosen steps from position 0 on, then the end marker; stops after
// the step that cleared the ok flag, without the end marker.
void writeSteps(EncodeContext& context, const std::uint32_t* step)
{
    const std::uint8_t* input = context.input;
    const std::uint32_t n = context.inputLength;
    for (std::uint32_t i = 0; i < n;) {
        const std::uint32_t length = step[i] & 0x7FFU;
        const auto command = static_cast<LzCommand>(step[i] >> 11 & 7U);
        const std::uint32_t source = step[i] >> 16;
        if (command == LzCommand::DirectCopy) {
            context.pendingLiteralStart = i;
            flushPendingLiterals(context, i + length);
        } else if (command == LzCommand::Copy) {
            writeLzCommand(context, command, length, static_cast<std::uint8_t>(source & 0xFFU),
                           static_cast<std::uint8_t>(source >> 8));
        } else {
            // A word fill is at least 2 long, so its second byte is in the input.
            writeLzCommand(context, command, length, input[i], command == LzCommand::WordFill ? input[i + 1] : 0);
        }
        i += length;
        if (!context.ok) {
            return;
        }
    }
    putByte(context, kLzEndMarker);
}

}  // namespace

void releaseSmallestParse(SmallestParse& parse)
{
    std::free(parse.block);
    parse = SmallestParse{};
}

void encodeLzSheetSmallest(EncodeContext& context)
{
    if (!prepareLzInput(context)) {
        return;
    }
    SmallestParse& parse = context.smallestParse;
    if (parse.capacity < context.inputLength || parse.block == nullptr) {
        if (!allocateSmallestParse(parse, lzTableCapacity(context))) {
            context.ok = false;
            return;
        }
    }
    context.outputLength = 0;
    if (context.ok) {
        const std::uint8_t* input = context.input;
        const std::uint32_t n = context.inputLength;
        const ParseTables tables = tablesOf(parse);
        if (n >= 2) {
            sortSuffixes(input, n, tables);
            findCommonPrefixes(input, n, tables);
            findLongestEarlierMatches(n, tables);
        } else if (n == 1) {
            tables.longest[0] = 0;
        }
        chooseSteps(input, n, tables);
        writeSteps(context, tables.ranks);
    }
    if (!context.keepTables) {
        releaseSmallestParse(parse);
    }
}
