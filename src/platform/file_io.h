#pragma once
// The file platform seam: opening regular files without blocking, locking a
// file against other runs, seeking and measuring with 64-bit positions on
// every platform (a plain long is 32 bits on Windows), writing, flushing to
// the disk, and putting whole new files in the place of old ones. Nothing
// here prints. The plain steps on one open file live in file_steps.cpp,
// whole-file replacement and in-place rewrites in file_replacement.cpp, the
// journals of in-place writes in file_journal.cpp, the locks between runs in
// run_locks.cpp, the system calls in file_io_posix.cpp or
// file_io_windows.cpp (the build picks one).
//
// Every write, flush, resize, creation and rename of a ROM or sheet file goes
// through this seam, so that the test hook (file_fault.h) sees it.

#include <cstdint>
#include <cstdio>
#include <string>
#include <memory>

// ---- The system's reasons ----

// The system's reason for the last failure of a system call the seam met:
// an errno value, or on Windows a system error code. 0 when none was met
// since clearSystemError, or the failure was the test hook's.
struct SystemError {
    int code = 0;
    bool windows = false;  // a Windows system error code, not an errno value
};
SystemError lastSystemError();
void clearSystemError();
// For the seam and the readers above it: records a failed call's reason.
void noteSystemError(SystemError error);
void noteErrno(int code);

// The system's text for `error`, without a closing full stop; empty for code 0.
std::string systemErrorText(SystemError error);

// ---- The process ----

// Called once at the start of a run: a write past a file-size limit then fails
// with its error and takes the caller's ordinary failure path, instead of
// ending the process (SIGXFSZ ignored on POSIX; Windows has no such signal).
void letWritesFailPastSizeLimit();

// Called once at the start of a run. SIGINT, SIGTERM, SIGHUP and SIGQUIT (on
// Windows the console's Ctrl-C, Ctrl-Break and close events) that come while
// a commit is under way take effect once it has completed or been rolled
// back; at any other time at once. A commit is the rename of a temporary file
// over its file with the folder sync after it, the writes and renames of a
// batch, and an in-place write from its journal's creation to its removal.
// Either way the run removes the temporary files it holds, then ends as that
// signal ends a process (default action, raised again; on Windows the exit
// status of a Ctrl-C, 0xC000013A). A signal ignored at the start stays ignored.
void letStopSignalsWaitForCommits();

// What a run says while it waits for a lock that another run (or program)
// holds: `secondsWaited` is 0 once before the wait, then 30, 60, ... after
// every 30 seconds of it. `name` is the file or folder as the caller named it;
// "" is the current folder.
using LockWaitNotice = void (*)(const char* name, std::uint32_t secondsWaited);

// The notice for the waits whose callers pass none: the locks of lockFolder
// and lockFileOrFolder, a folder where a temporary file is made, a journal.
// Set once at the start of a run; null (the default) says nothing.
void setLockWaitNotice(LockWaitNotice notice);

// ---- Opening, reading, measuring ----

// Opens an existing regular file like std::fopen ("rb" or "r+b"), following
// symbolic links. Null when it cannot be opened or is no regular file (a
// folder, a named pipe, a device, a socket); the check never blocks, not even
// on a named pipe without a writer.
std::FILE* openExistingFile(const char* path, const char* mode);

// The same, but null when `path` itself is a symbolic link: the file is never
// reached through one.
std::FILE* openExistingFileNotThroughLink(const char* path, const char* mode);

// Whether `path` itself is a symbolic link (to anything, or to nothing).
bool isSymbolicLink(const char* path);

// What a path names, looked at by lookAtPath.
enum class PathKind : std::uint8_t {
    Absent,        // nothing (a folder on the way may be missing too)
    SymbolicLink,  // a link, to anything or to nothing (only when links are not followed)
    RegularFile,
    Other,         // a folder, named pipe, device or socket, or what cannot be told
};

struct PathLook {
    PathKind kind = PathKind::Absent;
    std::uint64_t size = 0;     // a regular file's
    bool writeBits = false;     // its permission bits let someone write it (asked of the bits, not of access:
                                // root may write anything); on Windows, no read-only attribute
    bool holdsBytes = false;    // it holds exactly the bytes asked about
};

// Looks at `path` (through a symbolic link only when `throughLinks`) with as
// few system calls as it can, never blocking: what it is, and for a regular
// file its size, its write bits and whether it holds exactly the `length`
// bytes of `bytes` (compared only when the sizes agree).
PathLook lookAtPath(const char* path, bool throughLinks, const std::uint8_t* bytes, std::uint64_t length);

// Cuts or extends the open file to `size` bytes (after a flush). False on failure.
bool resizeOpenFile(std::FILE* file, std::uint64_t size);

// Positions `file` at `position` bytes from its start. False when the seek failed.
bool seekTo(std::FILE* file, std::uint64_t position);

// The current position of `file`. False when it cannot be told.
bool tellPosition(std::FILE* file, std::uint64_t& position);

// Positions `file` at its end. False when the seek failed.
bool seekToEnd(std::FILE* file);

// Size in bytes of the open file as the file system reports it; false when it
// cannot be measured. Leaves the position at the end of the file.
bool measureFileSize(std::FILE* file, std::uint64_t& size);

// Flushes the stream and has the system put the file's data on the disk
// (fsync; FlushFileBuffers on Windows). False when either failed.
bool flushToDisk(std::FILE* file);

// ---- One run at a time ----

enum class FileLock : std::uint8_t {
    Shared,     // readers: any number at once, none while a writer holds the file
    Exclusive,  // a run that may replace or rewrite the file: alone
};

// Opens the existing regular file at `path` as openExistingFile does and
// holds an advisory `lock` on it until the stream is closed (flock on POSIX,
// LockFileEx on a byte far past any data on Windows, so reads and writes
// through other handles go on). When another run holds a conflicting lock,
// calls `waiting` (may be null) with `path` and 0, and waits, trying the lock
// again every few milliseconds and calling `waiting` again after every 30
// seconds of it. Once the lock is granted,
// checks that `path` still names the file locked (a run before may have
// renamed a new file into its place) and starts again on the file it names
// now if not. On a file system that keeps no locks the file is opened
// unlocked. Null when the file cannot be opened or is no regular file.
std::FILE* openLockedFile(const char* path, const char* mode, FileLock lock, LockWaitNotice waiting);

// ---- Replacing files whole ----
//
// A new file is written to a temporary file ".<name>.sheetpak-XXXXXX" in the
// folder of the file it replaces (symbolic links followed, so that every name
// of the file sees the new bytes), flushed to the disk, and renamed over the
// old file in one step; then the folder is flushed where the system allows
// it. The new file keeps the old one's permission bits (and on POSIX its
// owner and group where the process may set them). While a temporary file
// exists, the run that made it holds it locked, so that another run's
// removeLeftoverTemporaries never takes it.

// How replaceWholeFile ended.
enum class FileReplacement : std::uint8_t {
    Replaced,     // the file now holds exactly the new bytes
    NotAFile,     // the path names something other than a regular file: nothing done
    Unavailable,  // a hard link, or its folder takes no new file: nothing done
    Failed,       // a write, flush or rename failed: the file is as it was
};

// Puts `length` bytes in the place of the file `path` names, which need not
// exist yet, through a temporary file. On any result but Replaced the
// temporary file is gone and the file untouched. Works while this process
// holds the file open through openLockedFile: on Windows, where a rename
// over an open file needs POSIX rename semantics (NTFS, Windows 10 1709 on),
// a system without them has that handle let go of just before the rename
// (its stream stays valid, on the null device) and waits for other runs to
// step back (they do while they see the temporary file).
FileReplacement replaceWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length);

// Whether writeWholeFile could put a file at `path`: it names (symbolic links
// followed) a regular file, or nothing in a folder that exists. Never blocks.
bool mayCreateOrReplace(const char* path);

// Whether the existing file at `path` could be opened for writing by this
// process, asked without opening it (the access the system would grant:
// permission bits, a read-only attribute or file system). Never blocks.
bool mayOpenForWriting(const char* path);

// How rewriteInPlace ended.
enum class InPlaceRewrite : std::uint8_t {
    Written,      // the file holds exactly the new bytes
    NotRead,      // its old content could not be read or held: nothing written
    NotWritten,   // its journal could not be written (a folder that takes no new file): nothing written
    Restored,     // a write failed; the file holds exactly the old bytes again
    NotRestored,  // a write failed, and the old bytes could not all be written back
};

// Makes the open `file` (opened "r+b" from `path`) hold the `newLength` bytes
// of `newBytes`: reads its old content into memory, works out the ranges where
// the two differ, writes the journal of those ranges beside the file and
// flushes it and its folder to the disk (see "Files a stopped run left
// half-written" below), then writes the ranges and the tail, resizes, flushes
// the file to the disk and removes the journal. On a failure writes the old
// bytes back over every range it may have changed, gives the file its old
// length, reads it back (Restored only when it then holds exactly the old
// bytes) and removes the journal. Stop signals wait from the journal's
// creation to its removal. Reads `newBytes` no further than newLength; the
// caller keeps it. Works on the file's descriptor: the stream's position is
// unspecified after.
InPlaceRewrite rewriteInPlace(std::FILE* file, const char* path, const std::uint8_t* newBytes,
                              std::uint64_t newLength);

// How writeWholeFile and writeFileBatch ended (for a batch: the file named).
enum class WholeFileWrite : std::uint8_t {
    Written,      // the file holds exactly the bytes
    CannotOpen,   // no regular file can be had at the path: nothing done
    NotRead,      // to be written in place, its old content could not be read or held: nothing done
    NotWritten,   // a write failed: the file (or its absence) is as before
    Restored,     // written in place, a write failed, the old content is back
    NotRestored,  // written in place, a write failed, the old content is not back
};

// Creates or replaces the file at `path` with `length` bytes: through
// replaceWholeFile, or, where that is unavailable, through rewriteInPlace on
// the existing file (whose old content is held in memory meanwhile).
WholeFileWrite writeWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length);

// One file of a batch: `length` bytes for the file at `path`; the caller keeps both.
struct FileInBatch {
    const char* path;
    const std::uint8_t* bytes;
    std::uint64_t length;
};

// Writes the `count` files as writeWholeFile would, as one batch: every
// temporary file is written first, then all are made durable at once (on
// Linux one syncfs for a batch of several; elsewhere, or for one, a flush per
// file), files that must be written in place (hard links) are rewritten, and
// only then are the temporary files renamed into place, in order, and each
// folder is flushed once. After a crash or kill at any step each file is its
// old content (or absent) or its complete new content. On a failure every
// temporary file is gone and `failed` is the index of the file the result
// names; files before it hold their new bytes only when an in-place rewrite
// or a rename failed (the others are as before).
WholeFileWrite writeFileBatch(const FileInBatch* files, std::uint32_t count, std::uint32_t& failed);

// Removes the temporary files ".<name>.sheetpak-XXXXXX" that a killed run left
// beside the `count` files `paths` name (beside the file a symbolic link
// points to, when `throughLinks`), looking through each folder. A
// temporary file that a live run holds is left alone: only what can be
// locked without waiting is removed. Reports nothing.
void removeLeftoverTemporaries(const char* const* paths, std::uint32_t count, bool throughLinks);

// ---- Sheet files held against other runs ----
//
// Locks are taken in one order: the ROM first (openLockedFile), then the
// sheet files (lockFolder, lockFileOrFolder), then, for a moment each, the
// journals beside them and the folder where a temporary file is made. A run
// that holds a folder alone waits for no lock after it, so no two runs ever
// wait for each other (the argument in full is in run_locks.cpp).

// A folder or file held against other runs; let go of when its owner goes.
struct RunLock;
struct RunLockRelease {
    void operator()(RunLock* lock) const;
};
using HeldRunLock = std::unique_ptr<RunLock, RunLockRelease>;

// Holds the folder `folder` ("" : the current folder) with `lock` against
// other runs: Exclusive for a run that replaces files in it, Shared for runs
// that read them. Waits while another run holds a conflicting lock (the notice
// of setLockWaitNotice names `folder`). While this process holds it, its own
// temporary files are made there without another lock, and it removes
// leftovers of killed runs there only when it holds the folder alone. POSIX
// locks the folder itself (flock), leaving no file in it; Windows a hidden
// file ".sheetpak-lock" in it, which goes when the last run holding it lets
// go. Null when the folder cannot be locked (it cannot be opened, or takes no
// lock): the run then goes on without.
HeldRunLock lockFolder(const char* folder, FileLock lock);

// Holds the file `path` names (symbolic links followed) with `lock` as
// openLockedFile does, waiting with the same notices. When no file is there
// yet, an Exclusive lock holds its folder alone instead, until this run has
// created it; a Shared one holds nothing. Null when nothing is held.
HeldRunLock lockFileOrFolder(const char* path, FileLock lock);

// ---- Files a stopped run left half-written ----
//
// Before rewriteInPlace writes the first byte of a file in place, it writes a
// journal beside it, in the folder of the file itself (symbolic links
// followed): ".<name>.sheetpak-journal", created anew, held locked while it
// exists, flushed to the disk with its folder. It holds what identifies the
// file (device and inode; on Windows volume serial number and file index), the
// file's name, its old and new sizes and, for each range about to be written,
// its offset, length and old bytes (for a shorter file the old tail the cut
// removes too; a longer file's new tail needs none, it is cut off), and a
// CRC-32 over all of it. A journal that is still there after its run tells
// that the run was stopped while it wrote.

// What restoreHalfWrittenFiles found for one file.
enum class HalfWritten : std::uint8_t {
    No,             // no journal of a stopped run: the file is as the last run left it
    Restored,       // a stopped run had written part of it: its earlier content is back, its journal gone
    NotWritable,    // it was left half-written and cannot be opened for writing: left as it is, journal kept
    RestoreFailed,  // it was left half-written and writing its earlier content back failed: journal kept
};

// Looks in the folder of each of the `count` files `paths` name (one listing
// per folder; the file a symbolic link points to when `throughLinks`) for
// journals, and for each complete one recording the identity of one of them,
// whatever name it was written under: takes the journal's lock (waiting while
// another run holds it, then looking again), writes the old bytes back through
// a stream opened for writing, cuts the file to its old size, flushes it to the
// disk and removes the journal, while stop signals wait. A journal whose
// checksum fails (its run was stopped before touching the file) is removed, and
// so is one named after one of the files when no file in that folder has the
// identity it records. Journals of other files are left alone. `results[k]`
// tells of paths[k]. The caller holds the files (or their folder) locked, so
// that no writer is at work on them.
void restoreHalfWrittenFiles(const char* const* paths, std::uint32_t count, bool throughLinks, HalfWritten* results);
