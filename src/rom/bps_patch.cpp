#include "rom/bps_patch.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

// Layout: "BPS1", three numbers (source size, target size, metadata size),
// the actions, then three CRC-32s, each 4 bytes little-endian. A number is 7
// bits a byte, low bits first, the last byte marked by its high bit, and each
// byte after the first stands for one more than its bits say (so every value
// has one spelling). An action is the number ((length - 1) << 2) | command;
// SourceCopy and TargetCopy follow it with a signed number, (|v| << 1) | sign,
// that moves their own read position before the copy.
//
// Choosing actions. The target is walked from its start. At each position
// three actions are measured: a SourceRead of the bytes that equal the source
// at the same position, a TargetCopy from one byte back (a run of the byte
// just written), and a SourceCopy of the match the index finds elsewhere in
// the source (grown backwards over the pending literal bytes it also
// matches). An action costs the bytes of its numbers; the bytes it covers
// would cost as many bytes of literal data. The one that saves the most
// (covered - cost; ties go in the order above) is taken when it saves at
// least 1 byte, or at least 3 when it splits a TargetRead, that is, when
// literal bytes are pending before it and target bytes follow it: the bytes
// after it may need a TargetRead of their own, whose header is 1 byte for up
// to 32 bytes and 2 up to 4128 bytes. So the split is strictly cheaper
// whenever the TargetRead after it stays under 4129 bytes; otherwise the
// byte joins the pending TargetRead. Inside a changed region an equal stretch
// of up to 3 bytes is thus kept as literal data, and a run of one value,
// after its first byte as literal data, is copied when 5 to 8 more bytes of
// it follow (the TargetCopy's offset takes 1 to 4 bytes).

namespace {

enum Command : std::uint8_t { kSourceRead = 0, kTargetRead = 1, kSourceCopy = 2, kTargetCopy = 3 };

// The index finds matches of kMatchBytes bytes: the shortest SourceCopy
// worth its cost inside a changed region, when its offset takes 4 bytes.
inline constexpr std::uint32_t kMatchBytes = 8;
// One index entry for every kSourceBytesPerEntry source bytes, from
// 2^kLeastIndexBits to 2^kMostIndexBits entries (16 MiB of index).
inline constexpr std::uint32_t kSourceBytesPerEntry = 4;
inline constexpr std::uint32_t kLeastIndexBits = 10;
inline constexpr std::uint32_t kMostIndexBits = 22;
inline constexpr std::uint32_t kNoEntry = UINT32_MAX;

inline constexpr std::uint32_t kSavingLeast = 1;
inline constexpr std::uint32_t kSavingLeastWhenSplitting = 3;

std::uint32_t numberSize(std::uint64_t value)
{
    std::uint32_t size = 1;
    value >>= 7;
    while (value != 0) {
        value -= 1;
        value >>= 7;
        ++size;
    }
    return size;
}

void putNumber(PatchOutput& output, std::uint64_t value)
{
    std::uint8_t bytes[10];
    std::uint32_t count = 0;
    for (;;) {
        const auto low = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
        if (value == 0) {
            bytes[count++] = static_cast<std::uint8_t>(0x80 | low);
            break;
        }
        bytes[count++] = low;
        value -= 1;
    }
    putPatchBytes(output, bytes, count);
}

std::uint64_t actionNumber(Command command, std::uint32_t length)
{
    return (std::uint64_t{length - 1} << 2) | command;
}

// The signed number that moves a read position from `from` to `to`.
std::uint64_t moveNumber(std::uint32_t from, std::uint32_t to)
{
    return to >= from ? std::uint64_t{to - from} << 1 : (std::uint64_t{from - to} << 1) | 1;
}

void putLittleEndian32(PatchOutput& output, std::uint32_t value)
{
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    putPatchBytes(output, bytes, 4);
}

std::uint32_t crc32Of(const std::uint8_t* bytes, std::uint32_t length)
{
    const uLong initial = crc32(0, Z_NULL, 0);
    if (length == 0) {
        return static_cast<std::uint32_t>(initial);
    }
    return static_cast<std::uint32_t>(crc32(initial, bytes, static_cast<uInt>(length)));
}

// How many bytes from a and b are equal, up to `most`.
std::uint32_t commonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t most)
{
    std::uint32_t length = 0;
    while (length < most && a[length] == b[length]) {
        ++length;
    }
    return length;
}

// How many bytes from `at` hold `value`, up to `most`.
std::uint32_t runLength(const std::uint8_t* at, std::uint8_t value, std::uint32_t most)
{
    std::uint32_t length = 0;
    while (length < most && at[length] == value) {
        ++length;
    }
    return length;
}

struct Action {
    Command command = kTargetRead;  // kTargetRead: none found
    std::uint32_t start = 0;        // the target position it covers from
    std::uint32_t length = 0;
    std::uint32_t from = 0;  // SourceCopy, TargetCopy: where the copy reads from
    std::uint32_t cost = 0;
};

struct BpsWriter {
    PatchOutput output;
    const std::uint8_t* source;
    std::uint32_t sourceLength;
    const std::uint8_t* target;
    std::uint32_t targetLength;
    std::uint32_t position = 0;      // target bytes covered so far
    std::uint32_t literalStart = 0;  // the pending TargetRead holds target[literalStart, position)
    std::uint32_t sourceRelative = 0;
    std::uint32_t targetRelative = 0;
    // The first source position of each hash of kMatchBytes bytes, or
    // kNoEntry; made at the first look-up.
    std::uint32_t* index = nullptr;
    std::uint32_t indexBits = 0;
};

std::uint32_t hashAt(const std::uint8_t* at, std::uint32_t bits)
{
    static_assert(kMatchBytes == sizeof(std::uint64_t), "one word is hashed");
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);  // the same hash whatever the byte order: both sides use it
    return static_cast<std::uint32_t>((word * 0x9E3779B97F4A7C15ULL) >> (64 - bits));
}

bool makeIndex(BpsWriter& writer)
{
    std::uint32_t bits = kLeastIndexBits;
    while (bits < kMostIndexBits && (std::uint64_t{1} << bits) * kSourceBytesPerEntry < writer.sourceLength) {
        ++bits;
    }
    const std::size_t entries = std::size_t{1} << bits;
    writer.index = static_cast<std::uint32_t*>(std::malloc(entries * sizeof(std::uint32_t)));
    if (writer.index == nullptr) {
        return false;
    }
    writer.indexBits = bits;
    std::memset(writer.index, 0xFF, entries * sizeof(std::uint32_t));
    // Every kSourceBytesPerEntry-th position, from the end down, so that each
    // entry keeps the first one. A match that starts between two of them is
    // found a few target bytes later and grown back over the bytes before.
    const std::uint32_t last = writer.sourceLength - kMatchBytes;
    for (std::uint32_t at = last - last % kSourceBytesPerEntry + kSourceBytesPerEntry; at >= kSourceBytesPerEntry;) {
        at -= kSourceBytesPerEntry;
        writer.index[hashAt(writer.source + at, bits)] = at;
    }
    return true;
}

// Keeps `candidate` in `best` when it saves more.
void consider(Action& best, const Action& candidate)
{
    const auto saving = [](const Action& action) {
        return std::int64_t{action.length} - std::int64_t{action.cost};
    };
    if (best.command == kTargetRead || saving(candidate) > saving(best)) {
        best = candidate;
    }
}

void considerSourceRead(BpsWriter& writer, Action& best)
{
    const std::uint32_t at = writer.position;
    if (at >= writer.sourceLength || writer.source[at] != writer.target[at]) {
        return;
    }
    const std::uint32_t most =
        (writer.sourceLength < writer.targetLength ? writer.sourceLength : writer.targetLength) - at;
    Action action{kSourceRead, at, commonLength(writer.source + at, writer.target + at, most), 0, 0};
    action.cost = numberSize(actionNumber(kSourceRead, action.length));
    consider(best, action);
}

void considerRun(BpsWriter& writer, Action& best)
{
    const std::uint32_t at = writer.position;
    if (at == 0 || writer.target[at - 1] != writer.target[at]) {
        return;
    }
    Action action{kTargetCopy, at, runLength(writer.target + at, writer.target[at - 1], writer.targetLength - at),
                  at - 1, 0};
    action.cost = numberSize(actionNumber(kTargetCopy, action.length)) +
                  numberSize(moveNumber(writer.targetRelative, action.from));
    consider(best, action);
}

// False when the index cannot be made.
bool considerSourceCopy(BpsWriter& writer, Action& best)
{
    const std::uint32_t at = writer.position;
    if (writer.sourceLength < kMatchBytes || writer.targetLength - at < kMatchBytes) {
        return true;
    }
    if (writer.index == nullptr && !makeIndex(writer)) {
        return false;
    }
    std::uint32_t from = writer.index[hashAt(writer.target + at, writer.indexBits)];
    if (from == kNoEntry) {
        return true;
    }
    const std::uint32_t sourceLeft = writer.sourceLength - from;
    const std::uint32_t targetLeft = writer.targetLength - at;
    std::uint32_t length =
        commonLength(writer.source + from, writer.target + at, sourceLeft < targetLeft ? sourceLeft : targetLeft);
    if (length < kMatchBytes) {
        return true;
    }
    // Literal bytes pending before it that the source holds before the match
    // join it.
    std::uint32_t start = at;
    while (start > writer.literalStart && from > 0 && writer.source[from - 1] == writer.target[start - 1]) {
        --start;
        --from;
        ++length;
    }
    Action action{kSourceCopy, start, length, from, 0};
    action.cost = numberSize(actionNumber(kSourceCopy, length)) + numberSize(moveNumber(writer.sourceRelative, from));
    consider(best, action);
    return true;
}

// Whether `action` is worth taking by the rule at the top of this file.
bool worthTaking(const BpsWriter& writer, const Action& action)
{
    if (action.command == kTargetRead) {
        return false;
    }
    const bool splits = writer.literalStart < action.start && action.start + action.length < writer.targetLength;
    const std::int64_t saving = std::int64_t{action.length} - std::int64_t{action.cost};
    return saving >= (splits ? kSavingLeastWhenSplitting : kSavingLeast);
}

// Writes the pending TargetRead of target[literalStart, end).
void putLiteral(BpsWriter& writer, std::uint32_t end)
{
    if (end > writer.literalStart) {
        const std::uint32_t length = end - writer.literalStart;
        putNumber(writer.output, actionNumber(kTargetRead, length));
        putPatchBytes(writer.output, writer.target + writer.literalStart, length);
    }
}

void putAction(BpsWriter& writer, const Action& action)
{
    putLiteral(writer, action.start);
    putNumber(writer.output, actionNumber(action.command, action.length));
    if (action.command == kSourceCopy) {
        putNumber(writer.output, moveNumber(writer.sourceRelative, action.from));
        writer.sourceRelative = action.from + action.length;
    } else if (action.command == kTargetCopy) {
        putNumber(writer.output, moveNumber(writer.targetRelative, action.from));
        writer.targetRelative = action.from + action.length;
    }
    writer.position = action.start + action.length;
    writer.literalStart = writer.position;
}

bool putActions(BpsWriter& writer)
{
    while (writer.position < writer.targetLength && writer.output.result == PatchResult::Made) {
        Action best;
        considerSourceRead(writer, best);
        considerRun(writer, best);
        // A copy found elsewhere never beats the same bytes at the same place.
        if (!(best.command == kSourceRead && best.length >= kMatchBytes) && !considerSourceCopy(writer, best)) {
            return false;
        }
        if (worthTaking(writer, best)) {
            putAction(writer, best);
        } else {
            ++writer.position;
        }
    }
    putLiteral(writer, writer.position);
    return true;
}

}  // namespace

PatchResult makeBpsPatch(const std::uint8_t* source, std::uint32_t sourceLength, const std::uint8_t* target,
                         std::uint32_t targetLength, PatchBytes& patch)
{
    BpsWriter writer{{patch}, source, sourceLength, target, targetLength};
    startPatch(writer.output);
    static constexpr std::uint8_t kMagic[4] = {'B', 'P', 'S', '1'};
    putPatchBytes(writer.output, kMagic, 4);
    putNumber(writer.output, sourceLength);
    putNumber(writer.output, targetLength);
    putNumber(writer.output, 0);
    const bool indexed = putActions(writer);
    std::free(writer.index);
    if (!indexed) {
        writer.output.result = PatchResult::OutOfMemory;
        return finishPatch(writer.output);
    }
    putLittleEndian32(writer.output, crc32Of(source, sourceLength));
    putLittleEndian32(writer.output, crc32Of(target, targetLength));
    if (writer.output.result == PatchResult::Made) {
        putLittleEndian32(writer.output, crc32Of(patch.bytes, patch.length));
    }
    return finishPatch(writer.output);
}
