#pragma once
// Whether an existing sheet file holds changes a user made: whether inserting
// it would store other bytes for its sheets than inserting what an
// extraction would write there. Extraction refuses to replace such a file
// unless told to. Nothing here prints.

#include <cstdint>

#include "rom/rom_image.h"
#include "sheetfile/sheet_file_format.h"

// The file `path` of `format` against the sheets extraction would write
// into it (`count` slots: one for a per-sheet file, every sheet in order for
// a combined file), read quietly as insertion reads it and compared sheet by
// sheet in their stored form (stored_form.h). A file that cannot be read
// holds changes (what cannot be looked at is kept), except an empty raw
// per-sheet file: there is nothing of a sheet in it.
bool sheetFileHoldsChanges(const RomLayout& layout, SheetFileFormat format, const char* path,
                           const SheetSlot* newSheets, std::uint32_t count);
