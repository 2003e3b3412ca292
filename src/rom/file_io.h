#pragma once
// Seeking and measuring C file streams with 64-bit positions on every platform
// (a plain long is 32 bits on Windows).

#include <cstdint>
#include <cstdio>

// Positions `file` at `position` bytes from its start. False when the seek failed.
bool seekTo(std::FILE* file, std::uint64_t position);

// Positions `file` at its end. False when the seek failed.
bool seekToEnd(std::FILE* file);

// Size in bytes of the open file as the file system reports it; false when it
// cannot be measured. Leaves the position at the end of the file.
bool measureFileSize(std::FILE* file, std::uint64_t& size);
