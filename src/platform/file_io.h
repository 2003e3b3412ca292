#pragma once
// The file platform seam: opening regular files without blocking, locking a
// file against other runs, seeking and measuring with 64-bit positions on
// every platform (a plain long is 32 bits on Windows), writing, flushing to
// the disk, and putting whole new files in the place of old ones. Nothing
// here prints. The portable parts live in file_io.cpp, the system calls in
// file_io_posix.cpp or file_io_windows.cpp (the build picks one).
//
// Every write, flush, resize, creation and rename of a ROM or sheet file goes
// through this seam, so that the test hook (file_fault.h) sees it.

#include <cstdint>
#include <cstdio>

// ---- The process ----

// Called once at the start of a run: a write past a file-size limit then fails
// with its error and takes the caller's ordinary failure path, instead of
// ending the process (SIGXFSZ ignored on POSIX; Windows has no such signal).
void letWritesFailPastSizeLimit();

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

// Told once, before the first wait, that another run holds a conflicting
// lock; `path` as given to openLockedFile.
using LockWaitNotice = void (*)(const char* path);

// Opens the existing regular file at `path` as openExistingFile does and
// holds an advisory `lock` on it until the stream is closed (flock on POSIX,
// LockFileEx on a byte far past any data on Windows, so reads and writes
// through other handles go on). When another run holds a conflicting lock,
// calls `waiting` (may be null) once and waits. Once the lock is granted,
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
    Restored,     // a write failed; the file holds exactly the old bytes again
    NotRestored,  // a write failed, and the old bytes could not all be written back
};

// Makes the open `file` (opened "r+b") hold the `newLength` bytes of
// `newBytes`: reads its old content into memory, writes the ranges where the
// two differ and the tail, resizes, flushes to the disk. On a failure writes
// the old bytes back over every range it may have changed, gives the file its
// old length, and reads it back: Restored only when it then holds exactly the
// old bytes. Reads `newBytes` no further than newLength; the caller keeps it.
// Works on the file's descriptor: the stream's position is unspecified after.
InPlaceRewrite rewriteInPlace(std::FILE* file, const std::uint8_t* newBytes, std::uint64_t newLength);

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
