#pragma once
// The texts the sheet-file formats print, and those the walks share with
// them. All go to standard output; texts with a conversion are printf
// formats, the rest are printed through "%s". Sizes of files are 64-bit.

#include <cinttypes>

inline constexpr const char* kFmtCouldNotOpen = "Couldn't open %s\n";
inline constexpr const char* kFmtSheetTooLarge = "Warning, GFX 0x%02X was too large!\n";
inline constexpr const char* kFmtCouldNotRead = "Couldn't read %s\n";
inline constexpr const char* kFmtCouldNotWrite = "Couldn't write %s\n";
inline constexpr const char* kFmtSheetFileOfOtherRelease =
    "The sheet file %s was made for the %s release; this ROM is the %s release.\n";
inline constexpr const char* kFmtSheetFileWrongSize =
    "The sheet file %s holds 0x%" PRIX64 " bytes; for this ROM it must hold exactly 0x%X.\n";
inline constexpr const char* kFmtSheetFileEmpty = "The sheet file %s is empty.\n";
inline constexpr const char* kFmtSheetLengthNotKept =
    "Warning, GFX 0x%02X holds 0x%" PRIX64 " bytes; the game keeps 0x%X.\n";
inline constexpr const char* kFmtSheetFileIsRom =
    "The sheet file %s is a ROM of the game; sheets are never written over a ROM.\n";
inline constexpr const char* kFmtSheetFileRestored = "%s has been restored.\n";
inline constexpr const char* kFmtSheetFileNotRestored = "%s could not be restored.\n";
inline constexpr const char* kFmtSheetFileIsLink =
    "%s is a symbolic link: sheet files are never read or written through links.\n";
inline constexpr const char* kFmtSheetFileReadOnly = "%s is read-only: it is left as it is.\n";
