#pragma once
// The texts the ROM layer prints: reading, identification, expansion and
// replacement of the ROM file.
// All go to standard output; texts with a conversion are printf formats,
// the rest are printed through "%s".

// Opening and reading the ROM file.
inline constexpr const char* kFmtUnableToOpenRom = "Unable to open the ROM: %s\n";
inline constexpr const char* kMsgRomLargerThanAnyRelease =
    "This ROM is larger than 16 MiB; no release or expansion of the game is that large.\n";

// Identification.
inline constexpr const char* kMsgRomTooSmall = "This ROM is too small to be the Zelda ROM.\n";
inline constexpr const char* kMsgWrongTitle =
    "The ROM either has the wrong game title, or is in the wrong format.\n";
inline constexpr const char* kMsgWrongCountry =
    "This ROM is from the wrong country.  Only the US and Japanese ROMs are supported.\n";

// Expansion.
inline constexpr const char* kFmtAlreadyExpanded = "The ROM is already %u MiB or larger.\n";
inline constexpr const char* kFmtWouldExpand = "The ROM would grow from 0x%X to 0x%X bytes.\n";

// Writing a whole new ROM image.
inline constexpr const char* kFmtRomWriteFailed = "Couldn't write to the ROM: %s\n";
inline constexpr const char* kFmtRomReadFailed = "Couldn't read the ROM: %s\n";
inline constexpr const char* kMsgRomUnchanged = "The ROM has not been changed.\n";
inline constexpr const char* kMsgRomRestored = "The ROM has been restored.\n";
inline constexpr const char* kFmtRomNotRestored = "The ROM could not be restored: %s\n";
// A file (the ROM or a sheet file) that a run stopped in the middle of
// writing it in place left half-written, found by the next run.
inline constexpr const char* kFmtHalfWrittenRestored =
    "%s was left half-written by a run that was stopped; its earlier content has been restored.\n";
inline constexpr const char* kFmtHalfWrittenNotWritable =
    "%s was left half-written by a run that was stopped, and this run cannot open it for writing to restore it.\n";
inline constexpr const char* kFmtHalfWrittenRestoreFailed =
    "%s was left half-written by a run that was stopped, and writing its earlier content back failed.\n";

inline constexpr const char* kMsgOutOfMemory = "Not enough memory.\n";  // any layer that cannot allocate
