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

// Pictures. A whole picture's sheets are "GFX 0x21" or "GFX 0x00 to 0xDE".
inline constexpr const char* kFmtPictureOneSheet = "GFX 0x%02X";
inline constexpr const char* kFmtPictureSheets = "GFX 0x%02X to 0x%02X";
inline constexpr const char* kFmtPictureNotWritten = "Couldn't write the picture %s, %s: %s.\n";
inline constexpr const char* kFmtPictureUnreadable = "The picture %s, %s: the file could not be read.\n";
inline constexpr const char* kFmtPictureNotPng = "The picture %s, %s: the file is not a PNG picture.\n";
inline constexpr const char* kFmtPictureEndsInHeader = "The picture %s, %s: the file ends early, within its header.\n";
inline constexpr const char* kFmtPictureEndsEarly =
    "The picture %s, %s: the file ends early; it was cut off or not saved completely.\n";
inline constexpr const char* kFmtPictureDamaged = "The picture %s, %s: the PNG data is damaged: %s.\n";
inline constexpr const char* kFmtPictureOtherSize = "The picture %s, %s: it is %u x %u pixels, but it must be %u x %u.\n";
inline constexpr const char* kFmtPictureOutOfMemory = "The picture %s, %s: there is not enough memory to read it.\n";
inline constexpr const char* kFmtPictureReadByIndex =
    "Note: the palette of %s is not sheetpak's, so its pixels are read by their index.\n";
inline constexpr const char* kFmtPictureReadInOtherOrder =
    "Note: the palette of %s is in another order than sheetpak's, so its pixels are read by their colour.\n";
// A refused pixel: the place, then one of the endings below.
inline constexpr const char* kFmtPixelPlace = "The picture %s, GFX 0x%02X: the pixel at x %u, y %u ";
inline constexpr const char* kFmtPixelTransparent = "is %s (alpha %u of %u); every pixel must be opaque.\n";
inline constexpr const char* kMsgTransparent = "transparent";
inline constexpr const char* kMsgPartlyTransparent = "partly transparent";
inline constexpr const char* kFmtPixelOffPalette =
    "has the colour #%02X%02X%02X, which is none of the 16 colours of the palette.\n";
inline constexpr const char* kFmtPixelOffPalette16 =
    "has the colour #%02X%02X%02X%02X%02X%02X, which is none of the 16 colours of the palette.\n";
inline constexpr const char* kFmtPixelIndexTooHigh = "has colour %u; only colours 0 to 15 exist.\n";
inline constexpr const char* kFmtPixelNoPaletteEntry = "has colour %u, which the picture's palette does not hold.\n";
inline constexpr const char* kFmtPixelPastLastTile =
    "has colour %u, but it lies past the sheet's last tile, so it must be colour 0.\n";
inline constexpr const char* kFmtPixelThreeBits =
    "has colour %u; the game keeps 3 bits per pixel there, so only colours 0 to 7.\n";
inline constexpr const char* kFmtMorePixelsRefused =
    "%u more pixels of %s are refused as well; the last is at x %u, y %u.\n";

// Sheet files that hold changes the user made.
inline constexpr const char* kFmtSheetFileDiffers = "%s differs from sheet 0x%02X of the ROM.\n";
inline constexpr const char* kFmtCombinedFileDiffers = "%s differs from the ROM's sheets.\n";

// A sheet's file of the other kind beside the one a run reads.
inline constexpr const char* kFmtFileDiffersBeside = "%s differs from %s beside it.\n";
