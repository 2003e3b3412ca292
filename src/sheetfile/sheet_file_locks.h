#pragma once
// The sheet files of a run held against other runs while it reads or writes
// them, and put back first when a run stopped while writing them in place
// left them half-written.

#include "platform/file_io.h"
#include "sheetfile/sheet_file_format.h"

// Holds the sheet files of `files` with `lock`: Exclusive for an extraction
// that writes them, Shared for runs that only read them. Per-sheet files: the
// folder is held, then those of its files of the set's kind that a stopped
// run left half-written are restored, a line for each. A combined file: the
// file itself is held, or, while none is there, its folder alone until the
// run has made it; then restored likewise. False after a message when one
// could not be restored. `held` holds the files either way.
bool holdSheetFiles(HeldRunLock& held, const SheetFiles& files, FileLock lock);
