#include <cstdlib>
#include <cstring>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/encode_output.h"
#include "codec/lz_codec.h"
#include "codec/lz_format.h"

// Greedy encoder: at each input position it measures the longest copy from
// anywhere earlier in the input (found through the byte-pair chains of the
// MatchIndex) and the three fills that start there, takes the best by fixed
// rules, and otherwise holds the byte back as a literal.

namespace {

constexpr std::uint32_t kPairKeyCount = 0x10000;
constexpr std::uint32_t kMinCopyLength = 4;
constexpr std::uint32_t kMinByteFillLength = 3;
constexpr std::uint32_t kMinWordFillLength = 4;
constexpr std::uint32_t kMinIncreasingFillLength = 3;

std::uint32_t pairKey(const std::uint8_t* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8;
}

std::uint32_t load4(const std::uint8_t* bytes)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Number of leading positions k < limit where a[k] == b[k]: four bytes at a
// time, then byte by byte within the last group. The ranges may overlap.
std::uint32_t commonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit)
{
    std::uint32_t k = 0;
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

void putHeader(EncodeContext& context, LzCommand command, std::uint32_t length)
{
    putByte(context, lzHeaderByte(command, length));
    if (length > kLzShortMaxLength) {
        putByte(context, static_cast<std::uint8_t>((length - 1) & 0xFFU));
    }
}

// The pair tables of the last released index, kept for the next build.
// Allocating the two 512 KiB tables afresh for every sheet costs many times
// more than encoding the sheet: the allocator returns blocks of that size to
// the system, and the next build has to fault every page in again. Clearing
// all 65,536 entries of both for every sheet costs more than the encode too,
// so a released index resets just the entries its build set, and a spare
// table is always all none. Encodes run one at a time on one thread, so one
// spare pair is enough.
MatchNode** gSpareHead = nullptr;
MatchNode** gSpareTail = nullptr;

// A table of kPairKeyCount links, all none: the spare one, or a new one. Null
// when the allocation fails. A null pointer is all zero bits on every platform
// this builds for, which calloc relies on.
MatchNode** takeClearedTable(MatchNode**& spare)
{
    MatchNode** table = spare;
    spare = nullptr;
    if (table != nullptr) {
        return table;
    }
    return static_cast<MatchNode**>(std::calloc(kPairKeyCount, sizeof(MatchNode*)));
}

// Keeps a table (all none again) as the spare, or frees it.
void keepOrFreeTable(MatchNode** table, MatchNode**& spare)
{
    if (spare == nullptr) {
        spare = table;
    } else {
        std::free(table);
    }
}

struct CopyMatch {
    std::uint32_t length = 0;
    std::uint32_t source = 0;
};

// Longest copy for position `at` among the earlier positions of its byte-pair
// chain. The walk ends at the first position at or past `at`, or at a match
// of the full `limit`; equal lengths keep the earlier candidate. A candidate
// whose first four bytes differ counts for nothing.
CopyMatch findCopy(const EncodeContext& context, std::uint32_t at, std::uint32_t limit)
{
    CopyMatch best;
    if (limit < kMinCopyLength) {
        return best;
    }
    const std::uint8_t* input = context.input;
    const std::uint8_t* current = input + at;
    const std::uint32_t firstFour = load4(current);
    for (const MatchNode* node = context.matchIndex.head[pairKey(current)];
         node != nullptr && node->position < at; node = node->next) {
        const std::uint8_t* candidate = input + node->position;
        if (load4(candidate) != firstFour) {
            continue;
        }
        const std::uint32_t length =
            kMinCopyLength + commonLength(candidate + 4, current + 4, limit - kMinCopyLength);
        if (length > best.length) {
            best.length = length;
            best.source = node->position;
            if (length == limit) {
                break;
            }
        }
    }
    return best;
}

// The main loop (one greedy step per pass) and the tail.
void encodeCommands(EncodeContext& context)
{
    const std::uint8_t* input = context.input;
    const std::uint32_t n = context.inputLength;
    std::uint32_t i = 0;
    while (i + 3 <= n) {
        const std::uint32_t limit = n - i < kLzMaxLength ? n - i : kLzMaxLength;
        const std::uint8_t a = input[i];
        const std::uint8_t b = input[i + 1];
        const CopyMatch copy = findCopy(context, i, limit);

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
                putHeader(context, LzCommand::Copy, length);
                putByte(context, static_cast<std::uint8_t>(copy.source & 0xFFU));
                putByte(context, static_cast<std::uint8_t>(copy.source >> 8));
            } else if (byteFill != 0) {
                length = byteFill;
                putHeader(context, LzCommand::ByteFill, length);
                putByte(context, a);
            } else if (wordFill != 0) {
                length = wordFill;
                putHeader(context, LzCommand::WordFill, length);
                putByte(context, a);
                putByte(context, b);
            } else {
                length = increasingFill;
                putHeader(context, LzCommand::IncreasingFill, length);
                putByte(context, a);
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

bool buildMatchIndex(EncodeContext& context)
{
    MatchIndex& index = context.matchIndex;
    const std::uint32_t n = context.inputLength;
    const std::uint32_t nodeCount = n > 1 ? n - 1 : 0;
    index.head = takeClearedTable(gSpareHead);
    index.tail = takeClearedTable(gSpareTail);
    index.nodes = nodeCount != 0 ? static_cast<MatchNode*>(std::calloc(nodeCount, sizeof(MatchNode))) : nullptr;
    if (index.head == nullptr || index.tail == nullptr || (nodeCount != 0 && index.nodes == nullptr)) {
        releaseMatchIndex(context);
        return false;
    }
    // Nodes are appended in position order, so every chain is increasing.
    for (std::uint32_t j = 0; j < nodeCount; ++j) {
        const std::uint32_t key = pairKey(context.input + j);
        MatchNode* node = &index.nodes[j];
        node->position = j;
        if (index.tail[key] != nullptr) {
            index.tail[key]->next = node;
        } else {
            index.head[key] = node;
        }
        index.tail[key] = node;
    }
    return true;
}

void releaseMatchIndex(EncodeContext& context)
{
    MatchIndex& index = context.matchIndex;
    if (index.nodes != nullptr && index.head != nullptr && index.tail != nullptr) {
        // Only the keys of the input's byte pairs were set by the build.
        for (std::uint32_t j = 0; j + 1 < context.inputLength; ++j) {
            const std::uint32_t key = pairKey(context.input + j);
            index.head[key] = nullptr;
            index.tail[key] = nullptr;
        }
    }
    if (index.head != nullptr) {
        keepOrFreeTable(index.head, gSpareHead);
    }
    if (index.tail != nullptr) {
        keepOrFreeTable(index.tail, gSpareTail);
    }
    std::free(index.nodes);
    index.tail = nullptr;
    index.head = nullptr;
    index.nodes = nullptr;
}

void flushPendingLiterals(EncodeContext& context, std::uint32_t q)
{
    // The callers pass at most 1024 bytes except in the tail, where a run of
    // 1025 goes out as one command of 1024 and one of the rest.
    while (context.pendingLiteralStart < q) {
        const std::uint32_t pending = q - context.pendingLiteralStart;
        const std::uint32_t length = pending < kLzMaxLength ? pending : kLzMaxLength;
        putHeader(context, LzCommand::DirectCopy, length);
        putBlock(context, context.input + context.pendingLiteralStart, length);
        context.pendingLiteralStart += length;
    }
}

void encodeLzSheet(EncodeContext& context)
{
    if (context.codecType != LzSheet) {
        // Type 1 sheets are stored as 3bpp tiles; inputs of 16 bytes or fewer
        // stay as they are.
        context.inputLength = packTiles4To3(context.input, context.inputLength);
    }
    if (!buildMatchIndex(context)) {
        context.ok = false;
        return;
    }
    context.pendingLiteralStart = 0;
    context.outputLength = 0;
    if (context.ok) {
        encodeCommands(context);
    }
    releaseMatchIndex(context);
}
