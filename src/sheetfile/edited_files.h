#pragma once
// Whether an existing sheet file holds changes a user made: whether inserting
// it would store other bytes for its sheets than inserting what an
// extraction would write there. Extraction refuses to replace such a file
// unless told to. Nothing here prints.

#include <cstdint>

#include "rom/rom_image.h"

// The per-sheet file `path` (a raw file, or a picture when `picture` is set)
// against the `length` bytes at `sheetBytes` that extraction would write for
// sheet `sheet` (for a picture, the sheet's catalogue size of them). A raw file is read as insertion reads
// it, its first 0x8000 bytes; an empty one holds nothing to lose. A picture is
// read as insertion reads it; one that cannot be read holds changes.
bool sheetFileHoldsChanges(const RomLayout& layout, std::uint32_t sheet, const char* path, bool picture,
                           const std::uint8_t* sheetBytes, std::uint32_t length);

// The combined file `path` against `combined`, the combinedFileSize(layout)
// bytes extraction would write (raw, or as a picture when `picture` is set),
// slot by slot; a raw file of another length, or a picture that cannot be
// read, holds changes.
bool combinedFileHoldsChanges(const RomLayout& layout, const char* path, bool picture, const std::uint8_t* combined);
