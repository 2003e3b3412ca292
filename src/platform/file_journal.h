#pragma once
// The rollback journal of an in-place write (file_journal.cpp): a hidden file
// beside the file, ".<name>.sheetpak-journal", that holds the old bytes of
// every range the write changes. For the seam's own source files only.

#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/file_io_system.h"

// Writes the journal of a rewrite of `file` (opened from `path`) from
// `oldBytes` (`oldLength`) to `newLength` bytes over `ranges`, and puts it
// and its folder on the disk. False, with no journal left, when any of it fails.
bool writeJournal(std::FILE* file, const char* path, const std::uint8_t* oldBytes, std::uint64_t oldLength,
                  std::uint64_t newLength, const std::vector<ByteRange>& ranges, JournalFile& journal);

// Removes the journal as a counted step, then syncs its folder. False when it
// is still there (left open: the caller may try again).
bool finishJournal(JournalFile& journal);
