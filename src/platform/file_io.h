#pragma once
// The file platform seam: opening regular files without blocking, seeking and
// measuring with 64-bit positions on every platform (a plain long is 32 bits
// on Windows), writing, flushing to the disk, and putting a whole new file in
// the place of an old one. Nothing here prints.
//
// Every write, flush, resize, creation and rename of a ROM or sheet file goes
// through this seam, so that the test hook at the end of this header sees it.

#include <cstdint>
#include <cstdio>

// Opens an existing regular file like std::fopen ("rb" or "r+b"). Null when it
// cannot be opened or is no regular file (a folder, a named pipe, a device, a
// socket); the check never blocks, not even on a named pipe without a writer.
std::FILE* openExistingFile(const char* path, const char* mode);

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

// Writes `length` bytes from `bytes` at the current position. False when any
// of them could not be written.
bool writeBytes(std::FILE* file, const void* bytes, std::uint64_t length);

// Writes `length` bytes at `position`. False when the seek or a write failed.
bool writeBytesAt(std::FILE* file, std::uint64_t position, const void* bytes, std::uint64_t length);

// Flushes the stream and has the system put the file's data on the disk
// (fsync; FlushFileBuffers on Windows). False when either failed.
bool flushToDisk(std::FILE* file);

// How replaceWholeFile ended.
enum class FileReplacement : std::uint8_t {
    Replaced,     // the file now holds exactly the new bytes
    NotAFile,     // the path names something other than a regular file: nothing done
    Unavailable,  // a hard link, or its folder takes no new file: nothing done
    Failed,       // a write, flush or rename failed: the file is as it was
};

// Writes `length` bytes to a new temporary file ".<name>.sheetpak-XXXXXX" in
// the folder of the file `path` names (symbolic links followed, so every name
// of the file sees the new bytes), flushes it to the disk and renames it over
// that file, which need not exist yet. Keeps the old file's permission bits
// (and on POSIX its owner and group where the process may set them). On any
// result but Replaced the temporary file is gone and the file untouched.
//
// `openHandle`, when not null, is an open stream on that file, opened with
// `reopenMode`. Windows cannot rename over an open file: there, and only
// there, the stream is closed just before the rename and *openHandle is
// replaced by a stream on the file as it then is (null if that cannot be
// opened). Elsewhere the handle is left alone.
FileReplacement replaceWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length,
                                 std::FILE** openHandle = nullptr, const char* reopenMode = "rb");

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
    NotRestored,  // a write failed, and so did writing the old bytes back
};

// Makes the open `file` (opened "r+b") hold the `newLength` bytes of
// `newBytes`: reads its old content into memory, writes the ranges where the
// two differ and the tail, resizes, flushes to the disk. On a failure writes
// the old bytes back over every range it may have changed and gives the file
// its old length. Reads `newBytes` no further than newLength; the caller keeps it.
InPlaceRewrite rewriteInPlace(std::FILE* file, const std::uint8_t* newBytes, std::uint64_t newLength);

// How writeWholeFile ended.
enum class WholeFileWrite : std::uint8_t {
    Written,      // the file holds exactly the bytes
    CannotOpen,   // no regular file can be had at the path: nothing done
    NotWritten,   // a write failed: the file (or its absence) is as before
    Restored,     // written in place, a write failed, the old content is back
    NotRestored,  // written in place, a write failed, the old content is not back
};

// Creates or replaces the file at `path` with `length` bytes: through
// replaceWholeFile, or, where that is unavailable, through rewriteInPlace on
// the existing file (whose old content is held in memory meanwhile).
WholeFileWrite writeWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length);

// ---- For tests only ----------------------------------------------------
// A process-wide fault hook: the product never sets it. Every step of the
// seam (each creation of a temporary file, each write of at most 0x40000
// bytes, each flush to the disk, resize, rename and folder sync) is counted;
// the `at`-th counted step (from 1) fails, or it and every later one, or the
// process ends there at once with _exit(kFileFaultExitStatus) as if killed.
enum class FileStep : std::uint8_t { Create, Write, Flush, Resize, Rename, SyncFolder, Any };
enum class FileFaultAction : std::uint8_t { None, FailOnce, FailFromThen, Exit };

struct FileFaultForTests {
    FileFaultAction action = FileFaultAction::None;
    std::uint32_t at = 0;         // the step that faults, counted from 1
    FileStep only = FileStep::Any;  // count only steps of this kind
};

inline constexpr int kFileFaultExitStatus = 86;

// Sets the hook and restarts the count.
void setFileFaultForTests(const FileFaultForTests& fault);

// The number of steps counted since the hook was last set.
std::uint32_t fileStepsCountedForTests();
