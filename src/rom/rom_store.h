#pragma once
// The ROM file read into one image, once what a stopped run left
// half-written of it is put back.

#include <cstdint>
#include <cstdio>

#include "rom/rom_image.h"

// What the file seam found of a file a stopped run left half-written
// (platform/file_io.h).
enum class HalfWritten : std::uint8_t;

// Measures the open ROM file and reads all of it into rom.bytes, setting
// rom.size and rom.headerOffset (rom.path names it in messages). False after
// printing a message: the file cannot be measured or read, or it is larger
// than kMaximumRomSize after its copier header (refused before a byte is read).
bool loadRomImage(RomImage& rom, std::FILE* file);

// Says what restoreHalfWrittenFiles found for the file shown as `name`: a
// line when it was half-written. False when it is still half-written (it could
// not be restored), and the run must not use it.
bool reportHalfWritten(const char* name, HalfWritten result);

// Puts back the earlier content of the ROM at `path` (held locked by this run)
// when a run stopped while writing it in place left it half-written, saying
// so. False after a message when it could not be restored.
bool restoreHalfWrittenRom(const char* path);
