#pragma once
// The ROM file read into one image, and a whole new image put in its place.

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

// Makes the ROM file at image.path hold exactly image's bytes. Normally they
// go to a new file beside the ROM that replaces it at once (replaceWholeFile),
// so that the ROM is either the old one or the new one whatever happens.
// Where that is unavailable (a hard link, a folder that takes no new file)
// the file is opened again and the differing bytes are written in place,
// with its old content held in memory to be written back if a write fails.
// True: the ROM holds the image. False, after its messages: the ROM is
// unchanged, or the messages say it could not be restored.
bool storeRomImage(const RomImage& image);

// Says what restoreHalfWrittenFiles found for the file shown as `name`: a
// line when it was half-written. False when it is still half-written (it could
// not be restored), and the run must not use it.
bool reportHalfWritten(const char* name, HalfWritten result);

// Puts back the earlier content of the ROM at `path` (held locked by this run)
// when a run stopped while writing it in place left it half-written, saying
// so. False after a message when it could not be restored.
bool restoreHalfWrittenRom(const char* path);
