#pragma once
// Putting a whole new ROM image in the place of the ROM file.

#include <cstdint>

#include "rom/rom_image.h"

// Reads the first `length` bytes of the ROM file (copier header included) into
// `image`, which the caller owns and which holds at least `length` bytes.
// False, after printing a message naming rom.path, when the read fell short.
bool readWholeRom(const RomImage& rom, std::uint8_t* image, std::uint64_t length);

// Makes the ROM file at rom.path hold exactly `image` (`length` bytes, owned
// by the caller). Normally the image goes to a new file beside the ROM that
// replaces it at once (replaceWholeFile), so that the ROM is either the old one
// or the new one whatever happens. Where that is unavailable (a hard link, a
// folder that takes no new file) the differing bytes are written in place
// through rom.file, opened "r+b", with the old content held in memory to be
// written back if a write fails. True: the ROM holds the image. False, after
// its messages: the ROM is unchanged, or the messages say it could not be
// restored. rom.file stays open, holding the run's lock on the ROM.
bool storeRomImage(RomImage& rom, const std::uint8_t* image, std::uint64_t length);
