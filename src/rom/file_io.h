#pragma once
// Seeking and measuring C file streams with 64-bit positions on every platform
// (a plain long is 32 bits on Windows).

#include <cstdint>
#include <cstdio>

// Opens an existing file like std::fopen, but never a folder (which some
// systems open for reading). Null when it cannot be opened.
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
