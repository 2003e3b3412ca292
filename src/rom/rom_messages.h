#pragma once
// Texts printed by the ROM layer (standard output; formats where they convert).

inline constexpr const char* kFmtRomWriteFailed = "Couldn't write to the ROM: %s\n";
inline constexpr const char* kFmtRomReadFailed = "Couldn't read the ROM: %s\n";
inline constexpr const char* kMsgRomUnchanged = "The ROM has not been changed.\n";
inline constexpr const char* kMsgRomRestored = "The ROM has been restored.\n";
inline constexpr const char* kFmtRomNotRestored = "The ROM could not be restored: %s\n";
inline constexpr const char* kMsgRomOutOfMemory = "Not enough memory.\n";

// Expansion.
inline constexpr const char* kMsgExpandMeasureFailed = "Couldn't measure the size of the ROM.\n";
inline constexpr const char* kFmtRomAlreadyLarge = "The ROM is already %u MiB or larger.\n";
