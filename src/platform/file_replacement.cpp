#include "platform/file_io.h"

// Putting new bytes in the place of a file's old ones: replacing a whole file
// through a temporary, batches of files, and in-place rewrites under a
// journal (file_journal.cpp), built on the plain steps of file_steps.cpp and
// the system calls of file_io_posix.cpp or file_io_windows.cpp.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_fault.h"
#include "platform/file_io_system.h"
#include "platform/file_journal.h"

namespace fs = std::filesystem;

namespace {

// Equal bytes that still join two differing ranges into one write.
constexpr std::uint64_t kMergeGap = 64;

}  // namespace

namespace {

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
