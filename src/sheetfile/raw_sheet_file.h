#pragma once
// Raw sheet files: a sheet's 4bpp planar bytes and nothing else, one file
// per sheet ("GFX21.bin", up to 0x8000 bytes used) or every sheet back to
// back in one combined file, each in a slot of its catalogue size.

#include "sheetfile/sheet_file_format.h"

// The functions of the raw per-sheet form (one slot a file, of
// kSheetBufferSize bytes' room) and of the raw combined form (every sheet's
// slot, in sheet order).
extern const SheetFileFunctions kRawPerSheetFiles;
extern const SheetFileFunctions kRawCombinedFile;
