#pragma once
// The texts the extraction and insertion walks print.
// All go to standard output; texts with a conversion are printf formats,
// the rest are printed through "%s".

inline constexpr const char* kFmtCouldNotOpen = "Couldn't open %s\n";
inline constexpr const char* kFmtSheetTooLarge = "Warning, GFX 0x%02X was too large!\n";
inline constexpr const char* kFmtDecompressError = "Error decompressing GFX 0x%02X\n";
inline constexpr const char* kFmtCompressError = "Error compressing GFX 0x%02X\n";
inline constexpr const char* kMsgNotEnoughRoom =
    "Aborted in mid-operation: Not enough room.\nYou must expand the ROM and reinsert.\n";
inline constexpr const char* kFmtCouldNotRead = "Couldn't read %s\n";
inline constexpr const char* kFmtCouldNotWrite = "Couldn't write %s\n";
inline constexpr const char* kFmtSheetFileTooShort =
    "The sheet file %s is too short: it must hold 0x%X bytes for this ROM.\n";
inline constexpr const char* kFmtOutOfPointerReach =
    "GFX 0x%02X can't be placed at 0x%X: sheet pointers reach only the first 4 MiB of the ROM.\n";
inline constexpr const char* kFmtInsideCopierHeader =
    "GFX 0x%02X can't be placed at 0x%X: that is inside the copier header.\n";
inline constexpr const char* kFmtRomWriteFailed = "Couldn't write to the ROM: %s\n";
inline constexpr const char* kMsgOutOfMemory = "Not enough memory.\n";
