#include "platform/file_journal.h"

// The rollback journal of an in-place write: its layout, how it is written
// before the file changes and removed after, and how a later run that finds
// one puts the file back.

#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_fault.h"

namespace fs = std::filesystem;

namespace {

// ".sheetpak-journal" ends every journal's name.
constexpr char kJournalSuffix[] = ".sheetpak-journal";
constexpr std::size_t kJournalSuffixLength = sizeof kJournalSuffix - 1;

// The journal's layout, all numbers little-endian:
//   16 bytes "sheetpak journal", u32 version (1), u32 name length n,
//   u64 device, u64 file (inode or file index), u64 old size, u64 new size,
//   u32 range count r, the n bytes of the name (no terminator), r times
//   (u64 offset, u64 length, the range's old bytes), u32 CRC-32 (zlib's) of
//   every byte before it.
constexpr char kJournalMagic[16] = {'s', 'h', 'e', 'e', 't', 'p', 'a', 'k', ' ', 'j', 'o', 'u', 'r', 'n', 'a', 'l'};
constexpr std::uint32_t kJournalVersion = 1;
constexpr std::uint64_t kJournalHeaderSize = 16 + 4 + 4 + 8 + 8 + 8 + 8 + 4;
constexpr std::uint64_t kJournalRangeHeaderSize = 16;
constexpr std::uint32_t kLongestJournalName = 4096;

// Puts `value` in `bytes` little-endian bytes at `at`; the place after them.
std::uint8_t* putNumber(std::uint8_t* at, std::uint64_t value, int bytes)
{
    for (int k = 0; k < bytes; ++k) {
        *at++ = static_cast<std::uint8_t>(value >> (8 * k));
    }
    return at;
}

// Copies `length` bytes to `at`; the place after them.
std::uint8_t* putBytes(std::uint8_t* at, const void* bytes, std::uint64_t length)
{
    std::memcpy(at, bytes, static_cast<std::size_t>(length));
    return at + length;
}

std::uint64_t getNumber(const std::uint8_t* at, int bytes)
{
    std::uint64_t value = 0;
    for (int k = bytes - 1; k >= 0; --k) {
        value = (value << 8) | at[k];
    }
    return value;
}

// zlib's CRC-32 of `length` bytes, in pieces its unsigned length can hold.
std::uint32_t checksumOf(const std::uint8_t* bytes, std::uint64_t length)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    while (length > 0) {
        const std::uint64_t piece = length < 0x40000000u ? length : 0x40000000u;
        crc = crc32(crc, bytes, static_cast<uInt>(piece));
        bytes += piece;
        length -= piece;
    }
    return static_cast<std::uint32_t>(crc);
}

// What a journal records, read back.
struct JournalRecord {
    FileIdentity identity;
    std::string name;
    std::uint64_t oldSize = 0;
    std::vector<ByteRange> ranges;
    std::vector<std::uint64_t> bytesAt;  // where each range's old bytes lie in the journal
};

// The journal of a rewrite of the file `identity` names (`name` in its
// folder) from `oldBytes` (`oldLength`) to `newLength` bytes over `ranges`.
std::vector<std::uint8_t> journalBytes(const FileIdentity& identity, const std::string& name,
                                       const std::uint8_t* oldBytes, std::uint64_t oldLength,
                                       std::uint64_t newLength, const std::vector<ByteRange>& ranges)
{
    std::uint64_t size = kJournalHeaderSize + name.size() + 4;
    for (const ByteRange& range : ranges) {
        size += kJournalRangeHeaderSize + range.length;
    }
    // Laid out by offset into a buffer of its size: GCC 12 at -O3 takes
    // inserts of the name for overflows.
    std::vector<std::uint8_t> out(static_cast<std::size_t>(size));
    std::uint8_t* at = putBytes(out.data(), kJournalMagic, sizeof kJournalMagic);
    at = putNumber(at, kJournalVersion, 4);
    at = putNumber(at, name.size(), 4);
    at = putNumber(at, identity.device, 8);
    at = putNumber(at, identity.file, 8);
    at = putNumber(at, oldLength, 8);
    at = putNumber(at, newLength, 8);
    at = putNumber(at, ranges.size(), 4);
    at = putBytes(at, name.data(), name.size());
    for (const ByteRange& range : ranges) {
        at = putNumber(at, range.offset, 8);
        at = putNumber(at, range.length, 8);
        at = putBytes(at, oldBytes + range.offset, range.length);
    }
    putNumber(at, checksumOf(out.data(), size - 4), 4);
    return out;
}

// Reads the header of a journal (`size` bytes at `bytes`): its identity and
// name, and with `whole` its ranges and checksum too. False when it is no
// complete journal.
bool readJournalRecord(const std::uint8_t* bytes, std::uint64_t size, bool whole, JournalRecord& record)
{
    if (size < kJournalHeaderSize || std::memcmp(bytes, kJournalMagic, sizeof kJournalMagic) != 0 ||
        getNumber(bytes + 16, 4) != kJournalVersion) {
        return false;
    }
    const std::uint64_t nameLength = getNumber(bytes + 20, 4);
    if (nameLength > kLongestJournalName || size < kJournalHeaderSize + nameLength) {
        return false;
    }
    record.identity = {getNumber(bytes + 24, 8), getNumber(bytes + 32, 8)};
    record.oldSize = getNumber(bytes + 40, 8);
    const std::uint64_t rangeCount = getNumber(bytes + 56, 4);
    record.name.assign(reinterpret_cast<const char*>(bytes + kJournalHeaderSize), static_cast<std::size_t>(nameLength));
    if (!whole) {
        return true;
    }
    if (size < kJournalHeaderSize + nameLength + 4 ||
        getNumber(bytes + size - 4, 4) != checksumOf(bytes, size - 4)) {
        return false;
    }
    std::uint64_t at = kJournalHeaderSize + nameLength;
    const std::uint64_t end = size - 4;
    record.ranges.clear();
    record.bytesAt.clear();
    for (std::uint64_t k = 0; k < rangeCount; ++k) {
        if (end - at < kJournalRangeHeaderSize) {
            return false;
        }
        const ByteRange range{getNumber(bytes + at, 8), getNumber(bytes + at + 8, 8)};
        at += kJournalRangeHeaderSize;
        if (range.length > end - at || range.offset > record.oldSize || range.length > record.oldSize - range.offset) {
            return false;
        }
        record.ranges.push_back(range);
        record.bytesAt.push_back(at);
        at += range.length;
    }
    return at == end;
}

// The journal's path for the file `target` (links resolved) names.
fs::path journalPathFor(const fs::path& target)
{
    std::string name(1, '.');
    name += target.filename().string();
    name += kJournalSuffix;
    return target.parent_path() / name;
}

// Reads the whole open journal. False when it cannot be read.
bool readWholeJournal(JournalFile& journal, std::vector<std::uint8_t>& bytes)
{
    std::uint64_t size = 0;
    if (!measureFileSize(journal.file, size) || size > (std::uint64_t{1} << 31)) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    return readAt(journal.file, 0, bytes.data(), size);
}

// Whether a file in `folder` has `identity`.
bool folderHoldsIdentity(const fs::path& folder, const FileIdentity& identity)
{
    std::error_code error;
    for (fs::directory_iterator entry(folder.empty() ? fs::path(".") : folder, error), end;
         !error && entry != end; entry.increment(error)) {
        FileIdentity found;
        if (identityOfPath(entry->path(), false, found) && found == identity) {
            return true;
        }
    }
    return false;
}

// One file restoreHalfWrittenFiles was asked about.
struct AskedFile {
    const char* shown = nullptr;  // as the caller named it
    fs::path target;              // the file itself
    bool identified = false;
    bool exists = false;
    FileIdentity identity;
};

// Writes the journal's old bytes back over the file, cuts it to its old size,
// flushes it and removes the journal, while stop signals wait.
HalfWritten restoreFromJournal(const AskedFile& asked, bool throughLinks, JournalFile& journal,
                               const std::vector<std::uint8_t>& bytes, const JournalRecord& record)
{
    std::FILE* file = openRegularFile(asked.target.string().c_str(), "r+b", throughLinks);
    if (file == nullptr) {
        return HalfWritten::NotWritable;
    }
    FileIdentity opened;
    if (!identityOfOpenFile(file, opened) || !(opened == record.identity)) {
        std::fclose(file);
        return HalfWritten::No;  // another file took its name meanwhile
    }
    holdStopSignals();
    bool restored = true;
    for (std::size_t k = 0; k < record.ranges.size() && restored; ++k) {
        restored = writePiecesAt(file, record.ranges[k].offset, bytes.data() + record.bytesAt[k], record.ranges[k].length);
    }
    std::uint64_t size = 0;
    restored = restored && measureFileSize(file, size) && (size == record.oldSize || resizeOpenFile(file, record.oldSize)) &&
               flushToDisk(file);
    if (restored) {
        // Should the removal fail, a later run writes the same bytes again.
        static_cast<void>(finishJournal(journal));
    }
    releaseStopSignals();
    std::fclose(file);
    return restored ? HalfWritten::Restored : HalfWritten::RestoreFailed;
}

// Deals with the journal `name` in `folder`, whose files are `asked`.
void settleJournal(const fs::path& folder, const std::string& name, std::vector<AskedFile>& asked,
                   const std::vector<std::uint32_t>& inFolder, bool throughLinks, HalfWritten* results)
{
    const std::string journalOf = name.substr(1, name.size() - 1 - kJournalSuffixLength);
    const fs::path path = folder / name;
    const auto identify = [&](AskedFile& file) {
        if (!file.identified) {
            file.exists = identityOfPath(file.target, throughLinks, file.identity);
            file.identified = true;
        }
    };
    // Bounded: each pass meets a journal that another run removed or replaced.
    for (int pass = 0; pass < 100; ++pass) {
        JournalFile journal;
        if (!openJournal(path, journal)) {
            return;
        }
        // The journal named after a file asked about is that file's to settle;
        // another is read first for the identity it records (a hard link's).
        std::int64_t named = -1;
        for (const std::uint32_t k : inFolder) {
            if (asked[k].target.filename().string() == journalOf) {
                named = k;
            }
        }
        std::int64_t owner = named;
        if (owner < 0) {
            std::uint8_t head[kJournalHeaderSize + kLongestJournalName];
            std::uint64_t size = 0;
            JournalRecord peek;
            const bool known = measureFileSize(journal.file, size) &&
                               readAt(journal.file, 0, head, size < sizeof head ? size : sizeof head) &&
                               readJournalRecord(head, size < sizeof head ? size : sizeof head, false, peek);
            for (const std::uint32_t k : inFolder) {
                identify(asked[k]);
                if (known && asked[k].exists && asked[k].identity == peek.identity) {
                    owner = k;
                }
            }
            if (owner < 0) {
                closeJournal(journal);
                return;  // another file's: left to the runs on that file
            }
        }
        LockWait wait{asked[static_cast<std::size_t>(owner)].shown, lockWaitNotice()};
        LockTry attempt = LockTry::Busy;
        while ((attempt = tryLockJournal(journal)) == LockTry::Busy) {
            waitBeforeRetry(wait);
        }
        // Locked: is it still the journal there, and complete?
        FileIdentity held;
        FileIdentity there;
        if (!identityOfOpenFile(journal.file, held) || !identityOfPath(path, false, there) || !(held == there)) {
            closeJournal(journal);
            continue;
        }
        std::vector<std::uint8_t> bytes;
        JournalRecord record;
        if (!readWholeJournal(journal, bytes) || !readJournalRecord(bytes.data(), bytes.size(), true, record)) {
            // Its run was stopped before it wrote a byte of the file.
            static_cast<void>(finishJournal(journal));
            return;
        }
        for (const std::uint32_t k : inFolder) {
            identify(asked[k]);
            if (asked[k].exists && asked[k].identity == record.identity) {
                results[k] = restoreFromJournal(asked[k], throughLinks, journal, bytes, record);
                for (const std::uint32_t other : inFolder) {
                    if (other != k && asked[other].exists && asked[other].identity == record.identity) {
                        results[other] = results[k];  // another name of the same file
                    }
                }
                closeJournal(journal);
                return;
            }
        }
        // Named after a file that is gone or is another file now: removed,
        // unless a file of the identity it records is still in the folder.
        if (named >= 0 && !folderHoldsIdentity(folder, record.identity)) {
            static_cast<void>(finishJournal(journal));
            return;
        }
        closeJournal(journal);
        return;
    }
}

}  // namespace

// Removes the journal as a counted step, then syncs its folder. False when it
// is still there.
bool finishJournal(JournalFile& journal)
{
    const fs::path folder = journal.path.parent_path();
    if (!fileStepMayRun(FileStep::Remove)) {
        return false;  // left as it is, open: the caller may try again
    }
    const bool removed = removeJournal(journal);
    if (fileStepMayRun(FileStep::SyncFolder)) {
        syncFolder(folder);
    }
    return removed;
}

// Writes the journal of a rewrite of `file` (opened from `path`) over
// `ranges` and puts it and its folder on the disk. False, with no journal
// left, when any of it fails.
bool writeJournal(std::FILE* file, const char* path, const std::uint8_t* oldBytes, std::uint64_t oldLength,
                  std::uint64_t newLength, const std::vector<ByteRange>& ranges, JournalFile& journal)
{
    fs::path target;
    FileIdentity identity;
    TargetState before;
    if (!resolveLinks(path, target) || !identityOfOpenFile(file, identity) || !inspectTarget(target, before)) {
        return false;
    }
    const std::vector<std::uint8_t> bytes =
        journalBytes(identity, target.filename().string(), oldBytes, oldLength, newLength, ranges);
    if (!fileStepMayRun(FileStep::Create) || !createJournal(journalPathFor(target), before, journal)) {
        return false;
    }
    if (!writePiecesAt(journal.file, 0, bytes.data(), bytes.size(), FileStep::JournalWrite) ||
        !flushToDisk(journal.file)) {
        // Never complete: a later run would find its checksum wrong all the same.
        static_cast<void>(removeJournal(journal));
        return false;
    }
    if (fileStepMayRun(FileStep::SyncFolder)) {
        syncFolder(journal.path.parent_path());
    }
    return true;
}

void restoreHalfWrittenFiles(const char* const* paths, std::uint32_t count, bool throughLinks, HalfWritten* results)
{
    std::vector<AskedFile> asked(count);
    std::vector<fs::path> folders;
    std::vector<std::vector<std::uint32_t>> members;
    for (std::uint32_t k = 0; k < count; ++k) {
        results[k] = HalfWritten::No;
        asked[k].shown = paths[k];
        if (!throughLinks) {
            asked[k].target = fs::path(paths[k]);
        } else if (!resolveLinks(paths[k], asked[k].target)) {
            continue;
        }
        const fs::path folder = asked[k].target.parent_path();
        std::size_t at = 0;
        while (at < folders.size() && folders[at] != folder) {
            ++at;
        }
        if (at == folders.size()) {
            folders.push_back(folder);
            members.emplace_back();
        }
        members[at].push_back(k);
    }
    for (std::size_t at = 0; at < folders.size(); ++at) {
        // One listing of the folder; most find no journal at all.
        std::vector<std::string> journals;
        std::error_code error;
        for (fs::directory_iterator entry(folders[at].empty() ? fs::path(".") : folders[at], error), end;
             !error && entry != end; entry.increment(error)) {
            const std::string name = entry->path().filename().string();
            if (name.size() > 1 + kJournalSuffixLength && name[0] == '.' &&
                name.compare(name.size() - kJournalSuffixLength, kJournalSuffixLength, kJournalSuffix) == 0) {
                journals.push_back(name);
            }
        }
        for (const std::string& name : journals) {
            settleJournal(folders[at], name, asked, members[at], throughLinks, results);
        }
    }
}
