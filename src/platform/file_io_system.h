#pragma once
// The system calls behind the file seam, one source file per platform
// (file_io_posix.cpp, file_io_windows.cpp): what file_io.cpp builds the
// portable operations from. For the seam's own source files only.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

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
