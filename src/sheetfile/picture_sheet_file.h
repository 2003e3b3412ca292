#pragma once
// Sheet files as PNG pictures (png_sheet_file.h has the layout and the
// palette): one picture per sheet ("GFX21.png") or one picture of every
// sheet stacked in sheet order.

#include "sheetfile/sheet_file_format.h"

// The functions of the per-sheet and the combined picture forms; a picture
// holds each sheet's catalogue size.
extern const SheetFileFunctions kPicturePerSheetFiles;
extern const SheetFileFunctions kPictureCombinedFile;
