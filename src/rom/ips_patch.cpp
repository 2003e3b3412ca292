#include "rom/ips_patch.h"

// Layout: "PATCH", records, "EOF". A record is a 3-byte big-endian offset
// and a 2-byte big-endian size, then that many bytes; or size 0, a 2-byte
// big-endian count and one byte, written count times from the offset.
//
// Choosing records. The target is walked from its start; bytes equal to the
// source are skipped, the others go into records. A data record costs 5
// bytes besides its data, an RLE record 8 bytes whatever its count. So:
// - a stretch of up to 4 equal bytes between changed bytes stays in the data
//   record around it (4 bytes of data against a second record's 5-byte
//   header); at 5, where both cost the same, it is skipped, so that the patch
//   writes fewer unchanged bytes;
// - a run of one value starting at a changed byte becomes an RLE record when
//   it is at least 14 bytes long and a data record is open (8 bytes, and 5
//   for the data record the bytes after it may need, against the run's bytes
//   as data), or at least 9 bytes long when none is open (8, and the 5 again,
//   against a data record of its own with its 5-byte header). The run may
//   cover unchanged bytes: writing them again is harmless.

namespace {

inline constexpr std::uint32_t kRecordMost = 0xFFFF;
// The offset whose three bytes read as "EOF".
inline constexpr std::uint32_t kEndMarkerOffset = 0x454F46;
inline constexpr std::uint32_t kMergedGapMost = 4;
inline constexpr std::uint32_t kRunLeastInRecord = 14;
inline constexpr std::uint32_t kRunLeast = 9;
inline constexpr std::uint32_t kNoRecord = UINT32_MAX;

struct IpsWriter {
    PatchOutput output;
    const std::uint8_t* target;
};

void putHead(IpsWriter& writer, std::uint32_t offset, std::uint32_t size)
{
    const std::uint8_t head[5] = {static_cast<std::uint8_t>(offset >> 16), static_cast<std::uint8_t>(offset >> 8),
                                  static_cast<std::uint8_t>(offset), static_cast<std::uint8_t>(size >> 8),
                                  static_cast<std::uint8_t>(size)};
    putPatchBytes(writer.output, head, 5);
}

// target[start, end) as data records. A record that would start at
// kEndMarkerOffset starts one byte earlier, writing that byte again.
void putData(IpsWriter& writer, std::uint32_t start, std::uint32_t end)
{
    while (start < end) {
        if (start == kEndMarkerOffset) {
            --start;
        }
        const std::uint32_t size = end - start < kRecordMost ? end - start : kRecordMost;
        putHead(writer, start, size);
        putPatchBytes(writer.output, writer.target + start, size);
        start += size;
    }
}

// [start, end), all `value`, as RLE records. One that would start at
// kEndMarkerOffset starts a byte earlier when that byte is `value` too, and
// is otherwise preceded by a data record of that byte and the run's first.
void putRun(IpsWriter& writer, std::uint32_t start, std::uint32_t end, std::uint8_t value)
{
    while (start < end) {
        if (start == kEndMarkerOffset) {
            if (writer.target[start - 1] == value) {
                --start;
            } else {
                putData(writer, start, start + 1);
                ++start;
                continue;
            }
        }
        const std::uint32_t count = end - start < kRecordMost ? end - start : kRecordMost;
        putHead(writer, start, 0);
        const std::uint8_t tail[3] = {static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count), value};
        putPatchBytes(writer.output, tail, 3);
        start += count;
    }
}

void putRecords(IpsWriter& writer, const std::uint8_t* source, std::uint32_t sourceLength,
                std::uint32_t targetLength)
{
    const std::uint8_t* target = writer.target;
    std::uint32_t open = kNoRecord;  // where the open data record starts
    std::uint32_t at = 0;
    while (at < targetLength && writer.output.result == PatchResult::Made) {
        if (at < sourceLength && source[at] == target[at]) {
            std::uint32_t equal = 1;
            while (at + equal < sourceLength && source[at + equal] == target[at + equal]) {
                ++equal;
            }
            if (open != kNoRecord) {
                if (equal <= kMergedGapMost && at + equal < targetLength) {
                    at += equal;
                    continue;
                }
                putData(writer, open, at);
                open = kNoRecord;
            }
            at += equal;
            continue;
        }
        std::uint32_t run = 1;
        while (at + run < targetLength && target[at + run] == target[at]) {
            ++run;
        }
        if (run >= (open != kNoRecord ? kRunLeastInRecord : kRunLeast)) {
            if (open != kNoRecord) {
                putData(writer, open, at);
                open = kNoRecord;
            }
            putRun(writer, at, at + run, target[at]);
            at += run;
            continue;
        }
        if (open == kNoRecord) {
            open = at;
        }
        ++at;
    }
    if (open != kNoRecord) {
        putData(writer, open, targetLength);
    }
}

}  // namespace

PatchResult makeIpsPatch(const std::uint8_t* source, std::uint32_t sourceLength, const std::uint8_t* target,
                         std::uint32_t targetLength, PatchBytes& patch)
{
    IpsWriter writer{{patch}, target};
    startPatch(writer.output);
    if (targetLength > kIpsTargetLimit || targetLength < sourceLength) {
        writer.output.result = PatchResult::TooLarge;
        return finishPatch(writer.output);
    }
    static constexpr std::uint8_t kMagic[5] = {'P', 'A', 'T', 'C', 'H'};
    static constexpr std::uint8_t kEnd[3] = {'E', 'O', 'F'};
    putPatchBytes(writer.output, kMagic, 5);
    putRecords(writer, source, sourceLength, targetLength);
    putPatchBytes(writer.output, kEnd, 3);
    return finishPatch(writer.output);
}
