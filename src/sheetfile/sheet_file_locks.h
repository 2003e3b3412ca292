#pragma once
// The sheet files of a run held against other runs while it reads or writes
// them, and put back first when a run stopped while writing them in place
// left them half-written.

#include "platform/file_io.h"

// Holds the folder of the per-sheet files (the current folder) with `lock`:
// Exclusive for an extraction that writes them, Shared for runs that only
// read them. Then restores those of the kind (`pictures`) that a stopped run
// left half-written, a line for each. False after a message when one could
// not be restored. `held` holds the folder either way.
bool holdPerSheetFiles(HeldRunLock& held, bool pictures, FileLock lock);

// The same for the combined file at `path`: the file itself is held with
// `lock`, or, while none is there, its folder alone until the run has made it.
bool holdCombinedFile(HeldRunLock& held, const char* path, FileLock lock);
