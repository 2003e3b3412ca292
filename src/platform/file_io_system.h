#pragma once
// The system calls behind the file seam, one source file per platform
// (file_io_posix.cpp, file_io_windows.cpp): what the portable files of the
// seam (file_steps.cpp, file_journal.cpp, run_locks.cpp,
// file_replacement.cpp) are built from, and the two steps of file_steps.cpp
// they share. For the seam's own source files only.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_fault.h"
#include "platform/file_io.h"

// What a file was before its replacement.
struct TargetState {
    bool exists = false;
    bool regular = false;
    std::uint64_t links = 0;  // names of the file
    std::uint32_t mode = 0;   // POSIX permission bits (0 elsewhere)
    std::uint32_t owner = 0;  // POSIX owner and group (0 elsewhere)
    std::uint32_t group = 0;
};

// Fills `state` for `target` (links followed). False when it cannot be told
// for another reason than the file being absent.
bool inspectTarget(const std::filesystem::path& target, TargetState& state);

// A temporary file beside its target, open for writing and held locked from
// its creation until it is renamed or removed.
struct Temporary {
    std::string path;
    std::FILE* file = nullptr;
};

// The folder where temporary files are being created, held so that no
// removal of leftovers looks into it meanwhile (a shared lock on POSIX; on
// Windows a temporary file is guarded from its creation on).
struct FolderHold {
    std::filesystem::path folder;
    int descriptor = -1;
    bool held = false;
};

// Holds `folder` (an empty path: the current folder), letting go of the one
// held before if it was another.
void holdFolder(FolderHold& hold, const std::filesystem::path& folder);
void releaseFolder(FolderHold& hold);

// Creates ".<name>.sheetpak-XXXXXX" beside `target`, whose folder the caller
// holds, locked, with the old file's permission bits (and owner and group
// where allowed), or with what a new file gets. False when the folder takes
// no new file.
bool createTemporary(const std::filesystem::path& target, const TargetState& before, Temporary& temporary);

// Puts the written, flushed streams of `count` >= 1 temporary files on the
// disk: on Linux one syncfs for all (counted as one flush step), elsewhere a
// flush of each. False when a flush failed.
bool flushTemporaries(Temporary* const* temporaries, std::uint32_t count);

// Renames the temporary file over `target` in one step. False when it failed.
bool renameTemporary(Temporary& temporary, const std::filesystem::path& target);

// Puts the rename of `renamed` over `target` on the disk where the system
// allows it (the folder's fsync on POSIX). Failures are not reported.
void syncAfterRename(Temporary& renamed, const std::filesystem::path& target);

// Closes a renamed temporary file's stream, which ends its lock.
void closeTemporary(Temporary& temporary);

// Removes a temporary file that was not renamed, then closes it.
void discardTemporary(Temporary& temporary);

// createTemporary enters each temporary file it makes in the run's registry of
// live temporary files, closeTemporary and discardTemporary take it out; the
// handler of a stop signal (letStopSignalsWaitForCommits) removes those still
// in it before the run ends. The registry is read without locks, so that a
// signal handler (or Windows' console handler thread) may read it at any time.

// From the first step of a commit to its last, stop signals wait: holds
// nest, and a signal that came meanwhile takes effect when the last hold is
// released. Also taken around each change to the registry of temporary files.
void holdStopSignals();
void releaseStopSignals();

// Cuts or extends the file under a flushed stream to `size` bytes, or puts
// its data on the disk (fsync, FlushFileBuffers). False on failure.
bool truncateFile(std::FILE* file, std::uint64_t size);
bool syncFile(std::FILE* file);

// fseek and ftell with 64-bit offsets (a plain long is 32 bits on Windows).
bool seekFile(std::FILE* file, std::int64_t offset, int origin);
std::int64_t tellFile(std::FILE* file);

// Opens an existing regular file without blocking, as openExistingFile;
// with `throughLinks` false, never through a symbolic link.
std::FILE* openRegularFile(const char* path, const char* mode, bool throughLinks);

// Reads or writes exactly `length` bytes at `position` through the
// descriptor of `file` (whose stream the caller has flushed), without
// moving the stream. False when any byte could not be read or written.
bool readAt(std::FILE* file, std::uint64_t position, std::uint8_t* bytes, std::uint64_t length);
bool writeAt(std::FILE* file, std::uint64_t position, const std::uint8_t* bytes, std::uint64_t length);

// A file's identity: device and inode number (Windows: volume serial number
// and file index).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of an open file, or of what `path` names (through a symbolic
// link only when `throughLinks`). False when it cannot be told (for a path:
// nothing there).
bool identityOfOpenFile(std::FILE* file, FileIdentity& identity);
bool identityOfPath(const std::filesystem::path& path, bool throughLinks, FileIdentity& identity);

// ---- Waiting for locks ----

enum class LockTry : std::uint8_t {
    Granted,
    Busy,     // another run holds a conflicting lock
    NoLocks,  // the file system keeps no such locks: go on unlocked
};

// A wait for a lock, told through `notice` under `name`.
struct LockWait {
    const char* name = "";
    LockWaitNotice notice = nullptr;
    bool waiting = false;
    std::chrono::steady_clock::time_point since{};
    std::uint32_t nextNotice = 0;
};

// Between two tries at a lock found Busy: the first time tells the notice
// (0 seconds), then sleeps a few milliseconds, and tells it again after each
// 30 seconds of waiting.
void waitBeforeRetry(LockWait& wait);

// The notice set by setLockWaitNotice.
LockWaitNotice lockWaitNotice();

// ---- Journals of in-place writes ----

// A journal file, open and held locked by this run.
struct JournalFile {
    std::filesystem::path path;
    std::FILE* file = nullptr;  // read and write
};

// Creates the journal at `path` anew (never over an existing file), readable
// as the file it is the journal of (`before`), and locks it. False when it
// cannot be created.
bool createJournal(const std::filesystem::path& path, const TargetState& before, JournalFile& journal);

// Opens the existing journal at `path`, never through a link, to read and
// lock it. False when no regular file is there to be opened.
bool openJournal(const std::filesystem::path& path, JournalFile& journal);

// Tries to lock the open journal alone, without waiting.
LockTry tryLockJournal(JournalFile& journal);

// Removes the journal (while still holding it), then closes it. False when it
// could not be removed; it is closed all the same.
bool removeJournal(JournalFile& journal);
void closeJournal(JournalFile& journal);

// Puts the creation or removal of a file in `folder` on the disk where the
// system allows it (the folder's fsync on POSIX). Failures are not reported.
void syncFolder(const std::filesystem::path& folder);

// ---- Folders held against other runs ----

// Locks `folder` ("" : the current one) with `lock` against other runs,
// waiting as `wait` tells. `handle` receives what unlockFolderAgainstRuns
// takes. False when the folder cannot be locked at all.
bool lockFolderAgainstRuns(const std::filesystem::path& folder, FileLock lock, LockWait& wait, std::intptr_t& handle);
void unlockFolderAgainstRuns(std::intptr_t handle);

// What a HeldRunLock holds: a locked file, or a folder.
struct RunLock {
    std::FILE* file = nullptr;
    bool folderHeld = false;
    std::intptr_t folder = -1;
};

// ---- Steps of file_steps.cpp that the seam's other files use ----

// A stretch of a file: `length` bytes from `offset`.
struct ByteRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Writes `length` bytes at `position` in pieces of at most 256 KiB, a counted
// step of `kind` each (a fault or kill can land between pieces). False when
// a piece cannot be written.
bool writePiecesAt(std::FILE* file, std::uint64_t position, const std::uint8_t* bytes, std::uint64_t length,
                   FileStep kind = FileStep::Write);

// Follows symbolic links from `path` to the name of the file itself. False
// for a loop of links or one that cannot be read.
bool resolveLinks(const char* path, std::filesystem::path& resolved);
