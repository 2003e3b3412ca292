#include "platform/file_io.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file_fault.h"
#include "platform/file_io_system.h"

namespace fs = std::filesystem;

// Why no two runs ever wait for each other. A run takes its locks in this
// order, each wait only for a lock of a later kind than all it holds:
//   1. the ROM (openLockedFile, shared or alone), holding nothing;
//   2. for a moment, the journal of an in-place write beside the ROM
//      (restoreHalfWrittenFiles);
//   3. the sheet files: their folder (lockFolder) or the combined file, or
//      its folder while it is created (lockFileOrFolder);
//   4. for a moment, the journal of a sheet file;
//   5. shared, the folder where a temporary file is being made (holdFolder,
//      in file_io_posix.cpp), unless the run holds that folder already (3);
//   6. the run's own temporary files and journals, and the leftovers it
//      removes: without waiting, never a wait.
// A cycle needs a run that waits while it holds a lock some other waiting run
// needs. Waits 2 and 4 are for a journal whose holder is restoring it: that
// run holds the same file (or folder) shared and takes no lock until it lets
// go of the journal (a writer of the file cannot be at work: this run holds
// the file). A wait at 3 is for a run holding the sheet files: an extraction
// holding them alone takes nothing after them but 4 (held by nobody while it
// holds the folder alone), 6 and its own folder (5 without a lock); a reader
// holding them shared waits at most at 5. A wait at 5 is for a run holding
// that folder alone: an extraction into it (or the creation of a combined
// file there), which waits for nothing more, or a removal of leftovers, which
// never waits. So every chain of waits ends at a run that does not wait.

namespace {

// Largest piece written in one step: a fault or kill can land between pieces.
constexpr std::uint64_t kWritePiece = 0x40000;

// Equal bytes that still join two differing ranges into one write.
constexpr std::uint64_t kMergeGap = 64;

// Writes `length` bytes at `position` through the descriptor, a step of
// `kind` per piece.
bool writePiecesAt(std::FILE* file, std::uint64_t position, const std::uint8_t* bytes, std::uint64_t length,
                   FileStep kind = FileStep::Write)
{
    while (length > 0) {
        const std::uint64_t piece = length < kWritePiece ? length : kWritePiece;
        if (!fileStepMayRun(kind) || !writeAt(file, position, bytes, piece)) {
            return false;
        }
        position += piece;
        bytes += piece;
        length -= piece;
    }
    return true;
}

// A stretch of a file: `length` bytes from `offset`.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The ranges where `a` and `b`, both `length` bytes long, differ; equal runs
// of up to kMergeGap bytes between two differences join them into one range.
std::vector<ByteRange> differingRanges(const std::uint8_t* a, const std::uint8_t* b, std::uint64_t length)
{
    std::vector<ByteRange> ranges;
    std::uint64_t at = 0;
    while (at < length) {
        if (a[at] == b[at]) {
            ++at;
            continue;
        }
        std::uint64_t last = at;
        for (std::uint64_t next = at + 1; next < length && next - last <= kMergeGap; ++next) {
            if (a[next] != b[next]) {
                last = next;
            }
        }
        ranges.push_back({at, last + 1 - at});
        at = last + 1;
    }
    return ranges;
}

// Writes the bytes of `from` over each range. With `stopAtFailure` false
// every range is tried whatever became of the others; false when any write
// failed.
bool writeRanges(std::FILE* file, const std::uint8_t* from, const std::vector<ByteRange>& ranges, bool stopAtFailure)
{
    bool allWritten = true;
    for (const ByteRange& range : ranges) {
        if (!writePiecesAt(file, range.offset, from + range.offset, range.length)) {
            allWritten = false;
            if (stopAtFailure) {
                return false;
            }
        }
    }
    return allWritten;
}

// Whether the open file holds exactly the `length` bytes of `expected`.
bool holdsExactly(std::FILE* file, const std::uint8_t* expected, std::uint64_t length)
{
    std::uint64_t size = 0;
    if (!measureFileSize(file, size) || size != length) {
        return false;
    }
    constexpr std::uint64_t kChunk = 0x10000;
    std::unique_ptr<std::uint8_t[]> chunk(new (std::nothrow) std::uint8_t[kChunk]);
    for (std::uint64_t at = 0; chunk && at < length; at += kChunk) {
        const std::uint64_t piece = length - at < kChunk ? length - at : kChunk;
        if (!readAt(file, at, chunk.get(), piece) || std::memcmp(chunk.get(), expected + at, piece) != 0) {
            return false;
        }
    }
    return static_cast<bool>(chunk);
}

// Follows symbolic links from `path` to the name of the file itself. False
// for a loop of links or one that cannot be read.
bool resolveLinks(const char* path, fs::path& resolved)
{
    resolved = fs::path(path);
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        if (!fs::is_symlink(resolved, error)) {
            return true;
        }
        const fs::path link = fs::read_symlink(resolved, error);
        if (error) {
            return false;
        }
        resolved = link.is_absolute() ? link : resolved.parent_path() / link;
    }
    return false;
}

// ---- Journals ----

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

// A file on its way to being replaced.
struct Pending {
    fs::path target;
    TargetState before;
    Temporary temporary;
};

// Resolves and inspects the file `path` names: Replaced when it may be
// replaced through a temporary file.
FileReplacement prepareReplacement(const char* path, Pending& pending)
{
    if (!resolveLinks(path, pending.target) || !inspectTarget(pending.target, pending.before) ||
        (pending.before.exists && !pending.before.regular)) {
        return FileReplacement::NotAFile;
    }
    // Renaming would leave the other names of a hard-linked file with the old content.
    return pending.before.links > 1 ? FileReplacement::Unavailable : FileReplacement::Replaced;
}

// Creates the temporary file and writes the bytes to it, not yet flushed to
// the disk. Unavailable when the folder takes no new file,
// Failed (the temporary file gone) when a write failed.
FileReplacement writeTemporary(Pending& pending, FolderHold& hold, const std::uint8_t* bytes, std::uint64_t length)
{
    holdFolder(hold, pending.target.parent_path());
    if (!fileStepMayRun(FileStep::Create) || !createTemporary(pending.target, pending.before, pending.temporary)) {
        return FileReplacement::Unavailable;
    }
    // Straight to the file, not through the stream's buffer.
    if (!writePiecesAt(pending.temporary.file, 0, bytes, length)) {
        discardTemporary(pending.temporary);
        return FileReplacement::Failed;
    }
    return FileReplacement::Replaced;
}

bool renameIntoPlace(Pending& pending)
{
    return fileStepMayRun(FileStep::Rename) && renameTemporary(pending.temporary, pending.target);
}

WholeFileWrite fromInPlace(InPlaceRewrite result)
{
    switch (result) {
    case InPlaceRewrite::Written:
        return WholeFileWrite::Written;
    case InPlaceRewrite::NotRead:
        return WholeFileWrite::NotRead;
    case InPlaceRewrite::NotWritten:
        return WholeFileWrite::NotWritten;
    case InPlaceRewrite::Restored:
        return WholeFileWrite::Restored;
    case InPlaceRewrite::NotRestored:
        return WholeFileWrite::NotRestored;
    }
    return WholeFileWrite::NotWritten;
}

// The in-place route for an existing file.
WholeFileWrite writeInPlace(const char* path, const std::uint8_t* bytes, std::uint64_t length)
{
    std::FILE* file = openExistingFile(path, "r+b");
    if (file == nullptr) {
        return WholeFileWrite::CannotOpen;
    }
    const WholeFileWrite result = fromInPlace(rewriteInPlace(file, path, bytes, length));
    std::fclose(file);
    return result;
}

}  // namespace

namespace {

SystemError gLastSystemError;

}  // namespace

SystemError lastSystemError()
{
    return gLastSystemError;
}

void clearSystemError()
{
    gLastSystemError = SystemError{};
}

void noteSystemError(SystemError error)
{
    if (error.code != 0) {
        gLastSystemError = error;
    }
}

void noteErrno(int code)
{
    noteSystemError({code, false});
}

std::FILE* openExistingFile(const char* path, const char* mode)
{
    return openRegularFile(path, mode, true);
}

std::FILE* openExistingFileNotThroughLink(const char* path, const char* mode)
{
    return openRegularFile(path, mode, false);
}

bool isSymbolicLink(const char* path)
{
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
}

bool seekTo(std::FILE* file, std::uint64_t position)
{
    return seekFile(file, static_cast<std::int64_t>(position), SEEK_SET);
}

bool seekToEnd(std::FILE* file)
{
    return seekFile(file, 0, SEEK_END);
}

bool tellPosition(std::FILE* file, std::uint64_t& position)
{
    const std::int64_t at = tellFile(file);
    if (at < 0) {
        return false;
    }
    position = static_cast<std::uint64_t>(at);
    return true;
}

bool resizeOpenFile(std::FILE* file, std::uint64_t size)
{
    return fileStepMayRun(FileStep::Resize) && std::fflush(file) == 0 && truncateFile(file, size);
}

bool flushToDisk(std::FILE* file)
{
    return fileStepMayRun(FileStep::Flush) && std::fflush(file) == 0 && syncFile(file);
}

bool measureFileSize(std::FILE* file, std::uint64_t& size)
{
    return seekToEnd(file) && tellPosition(file, size);
}

FileReplacement replaceWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length)
{
    Pending pending;
    FileReplacement state = prepareReplacement(path, pending);
    if (state == FileReplacement::Replaced) {
        FolderHold hold;
        state = writeTemporary(pending, hold, bytes, length);
        releaseFolder(hold);
    }
    if (state != FileReplacement::Replaced) {
        return state;
    }
    if (!flushToDisk(pending.temporary.file)) {
        discardTemporary(pending.temporary);
        return FileReplacement::Failed;
    }
    // The commit: stop signals wait from the rename to the folder's sync.
    holdStopSignals();
    if (!renameIntoPlace(pending)) {
        discardTemporary(pending.temporary);
        releaseStopSignals();
        return FileReplacement::Failed;
    }
    if (fileStepMayRun(FileStep::SyncFolder)) {
        syncAfterRename(pending.temporary, pending.target);
    }
    closeTemporary(pending.temporary);
    releaseStopSignals();
    return FileReplacement::Replaced;
}

bool mayCreateOrReplace(const char* path)
{
    Pending pending;
    if (prepareReplacement(path, pending) == FileReplacement::NotAFile) {
        return false;
    }
    std::error_code error;
    const fs::path folder = pending.target.parent_path();
    return pending.before.exists || folder.empty() || fs::is_directory(folder, error);
}

InPlaceRewrite rewriteInPlace(std::FILE* file, const char* path, const std::uint8_t* newBytes,
                              std::uint64_t newLength)
{
    std::uint64_t oldLength = 0;
    if (std::fflush(file) != 0 || !measureFileSize(file, oldLength)) {
        return InPlaceRewrite::NotRead;
    }
    std::unique_ptr<std::uint8_t[]> held(new (std::nothrow) std::uint8_t[oldLength == 0 ? 1 : oldLength]);
    if (!held || !readAt(file, 0, held.get(), oldLength)) {
        return InPlaceRewrite::NotRead;
    }
    const std::uint8_t* oldBytes = held.get();
    const std::uint64_t common = oldLength < newLength ? oldLength : newLength;
    // Every byte that may change lies in a range where the two differ, in the
    // new tail (cut off again) or in the old tail (the journal keeps it).
    const std::vector<ByteRange> ranges = differingRanges(newBytes, oldBytes, common);
    std::vector<ByteRange> journaled = ranges;
    if (oldLength > newLength) {
        journaled.push_back({newLength, oldLength - newLength});
    }
    JournalFile journal;
    holdStopSignals();
    if ((!journaled.empty() || newLength != oldLength) &&
        !writeJournal(file, path, oldBytes, oldLength, newLength, journaled, journal)) {
        releaseStopSignals();
        return InPlaceRewrite::NotWritten;
    }
    const bool written =
        writeRanges(file, newBytes, ranges, true) &&
        (newLength <= oldLength || writePiecesAt(file, oldLength, newBytes + oldLength, newLength - oldLength)) &&
        (newLength >= oldLength || resizeOpenFile(file, newLength)) && flushToDisk(file);
    if (written && (journal.file == nullptr || finishJournal(journal))) {
        releaseStopSignals();
        return InPlaceRewrite::Written;
    }
    // Each part is written back whatever became of the others: a write past a
    // size limit fails again, but the bytes there never changed. The file
    // itself then tells whether it is back. A journal that could not be
    // removed after a complete write is rolled back too, so that it tells the
    // truth should it stay.
    std::clearerr(file);
    writeRanges(file, oldBytes, ranges, false);
    if (oldLength > newLength) {
        writePiecesAt(file, newLength, oldBytes + newLength, oldLength - newLength);
    }
    resizeOpenFile(file, oldLength);
    flushToDisk(file);
    const InPlaceRewrite result =
        holdsExactly(file, oldBytes, oldLength) ? InPlaceRewrite::Restored : InPlaceRewrite::NotRestored;
    if (journal.file != nullptr) {
        static_cast<void>(finishJournal(journal));
        closeJournal(journal);
    }
    releaseStopSignals();
    return result;
}

WholeFileWrite writeWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length)
{
    switch (replaceWholeFile(path, bytes, length)) {
    case FileReplacement::Replaced:
        return WholeFileWrite::Written;
    case FileReplacement::NotAFile:
        return WholeFileWrite::CannotOpen;
    case FileReplacement::Failed:
        return WholeFileWrite::NotWritten;
    case FileReplacement::Unavailable:
        break;
    }
    // In place, with the old content in memory to write back.
    return writeInPlace(path, bytes, length);
}

WholeFileWrite writeFileBatch(const FileInBatch* files, std::uint32_t count, std::uint32_t& failed)
{
    std::unique_ptr<Pending[]> pending(new (std::nothrow) Pending[count == 0 ? 1 : count]);
    std::unique_ptr<Temporary*[]> written(new (std::nothrow) Temporary*[count == 0 ? 1 : count]);
    std::unique_ptr<bool[]> inPlace(new (std::nothrow) bool[count == 0 ? 1 : count]());
    failed = 0;
    if (!pending || !written || !inPlace) {
        return WholeFileWrite::NotWritten;
    }
    std::uint32_t temporaries = 0;
    std::uint32_t renamed = 0;
    FolderHold hold;
    // Ends the batch at file `index`: the temporary files not yet renamed go.
    const auto fail = [&](std::uint32_t index, WholeFileWrite result) {
        releaseFolder(hold);
        for (std::uint32_t k = renamed; k < temporaries; ++k) {
            discardTemporary(*written[k]);
        }
        for (std::uint32_t k = 0; k < renamed; ++k) {
            closeTemporary(*written[k]);
        }
        failed = index;
        return result;
    };

    // Every new file as a temporary one; hard-linked files, and existing
    // files in a folder that takes no new file, are for the in-place route.
    for (std::uint32_t k = 0; k < count; ++k) {
        FileReplacement state = prepareReplacement(files[k].path, pending[k]);
        if (state == FileReplacement::Replaced) {
            state = writeTemporary(pending[k], hold, files[k].bytes, files[k].length);
        }
        switch (state) {
        case FileReplacement::Replaced:
            written[temporaries++] = &pending[k].temporary;
            break;
        case FileReplacement::Unavailable:
            if (!pending[k].before.exists) {
                return fail(k, WholeFileWrite::CannotOpen);
            }
            inPlace[k] = true;
            break;
        case FileReplacement::NotAFile:
            return fail(k, WholeFileWrite::CannotOpen);
        case FileReplacement::Failed:
            return fail(k, WholeFileWrite::NotWritten);
        }
    }
    releaseFolder(hold);
    if (temporaries > 0 && !flushTemporaries(written.get(), temporaries)) {
        std::uint32_t first = 0;
        while (inPlace[first]) {
            ++first;
        }
        return fail(first, WholeFileWrite::NotWritten);
    }
    // The commit: stop signals wait from the first in-place write to the
    // last folder sync, so that a stopped batch is either not begun or done.
    holdStopSignals();
    const auto failCommit = [&](std::uint32_t index, WholeFileWrite result) {
        const WholeFileWrite failure = fail(index, result);
        releaseStopSignals();
        return failure;
    };
    for (std::uint32_t k = 0; k < count; ++k) {
        if (inPlace[k]) {
            const WholeFileWrite result = writeInPlace(files[k].path, files[k].bytes, files[k].length);
            if (result != WholeFileWrite::Written) {
                return failCommit(k, result);
            }
        }
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        if (inPlace[k]) {
            continue;
        }
        if (!renameIntoPlace(pending[k])) {
            return failCommit(k, WholeFileWrite::NotWritten);
        }
        ++renamed;
    }
    // Each folder once: the renames of a folder are on the disk together.
    std::vector<fs::path> synced;
    for (std::uint32_t k = 0; k < count; ++k) {
        if (inPlace[k]) {
            continue;
        }
        const fs::path folder = pending[k].target.parent_path();
        if (std::find(synced.begin(), synced.end(), folder) != synced.end()) {
            continue;
        }
        synced.push_back(folder);
        if (fileStepMayRun(FileStep::SyncFolder)) {
            syncAfterRename(pending[k].temporary, pending[k].target);
        }
    }
    for (std::uint32_t k = 0; k < temporaries; ++k) {
        closeTemporary(*written[k]);
    }
    releaseStopSignals();
    return WholeFileWrite::Written;
}

// ---- Waiting for locks ----

namespace {

// How often a lock held by another run is tried again, and how often a wait
// tells that it goes on.
constexpr auto kLockPoll = std::chrono::milliseconds(25);
constexpr std::uint32_t kStillWaitingEvery = 30;

std::atomic<LockWaitNotice> gLockWaitNotice{nullptr};

}  // namespace

void setLockWaitNotice(LockWaitNotice notice)
{
    gLockWaitNotice.store(notice);
}

LockWaitNotice lockWaitNotice()
{
    return gLockWaitNotice.load();
}

void waitBeforeRetry(LockWait& wait)
{
    if (!wait.waiting) {
        wait.waiting = true;
        wait.since = std::chrono::steady_clock::now();
        wait.nextNotice = kStillWaitingEvery;
        if (wait.notice != nullptr) {
            wait.notice(wait.name, 0);
        }
    }
    std::this_thread::sleep_for(kLockPoll);
    const auto waited = std::chrono::steady_clock::now() - wait.since;
    if (waited >= std::chrono::seconds(wait.nextNotice)) {
        if (wait.notice != nullptr) {
            wait.notice(wait.name, wait.nextNotice);
        }
        wait.nextNotice += kStillWaitingEvery;
    }
}

// ---- Sheet files held against other runs ----

void RunLockRelease::operator()(RunLock* lock) const
{
    if (lock->file != nullptr) {
        std::fclose(lock->file);
    }
    if (lock->folderHeld) {
        unlockFolderAgainstRuns(lock->folder);
    }
    delete lock;
}

HeldRunLock lockFolder(const char* folder, FileLock lock)
{
    HeldRunLock held(new (std::nothrow) RunLock);
    LockWait wait{folder, lockWaitNotice()};
    if (!held || !lockFolderAgainstRuns(fs::path(folder), lock, wait, held->folder)) {
        return nullptr;
    }
    held->folderHeld = true;
    return held;
}

HeldRunLock lockFileOrFolder(const char* path, FileLock lock)
{
    HeldRunLock held(new (std::nothrow) RunLock);
    fs::path target;
    if (!held || !resolveLinks(path, target)) {
        return nullptr;
    }
    for (;;) {
        held->file = openLockedFile(path, "rb", lock, lockWaitNotice());
        if (held->file != nullptr) {
            return held;
        }
        TargetState state;
        if (lock == FileLock::Shared || !inspectTarget(target, state) || state.exists) {
            return nullptr;  // nothing to read, or something no lock can be had on
        }
        // Nothing there yet: its folder alone, until this run has made it.
        LockWait wait{path, lockWaitNotice()};
        if (!lockFolderAgainstRuns(target.parent_path(), FileLock::Exclusive, wait, held->folder)) {
            return nullptr;
        }
        if (inspectTarget(target, state) && !state.exists) {
            held->folderHeld = true;
            return held;
        }
        // Made by the run this one waited for: that file is to be locked.
        unlockFolderAgainstRuns(held->folder);
    }
}

// ---- Files a stopped run left half-written ----

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
