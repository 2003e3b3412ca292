#pragma once
// Every text the tool prints, in one place. All of them go to standard output.
// Texts with a conversion are printf formats; the rest are printed through "%s".

inline constexpr const char* kBanner =
    "\n"
    "sheetpak - graphics sheet extractor and inserter Version 1.20\n"
    "Created for Zelda : A Link to the Past (SNES)\n"
    "Written by the sheetpak developers; 100% of its codecs made from scratch.\n"
    "\n";

inline constexpr const char* kUsage =
    "Usage: sheetpak 0 ROMFileName [FileToSaveAs]\n"
    "       sheetpak 1 PCHexAddressToInsert ROMFileName [FileToInsert]\n\n"
    "Example: sheetpak 0 zelda.smc AllGFX.bin\n"
    "         sheetpak 1 87200 zelda.smc AllGFX.bin\n";

// Command line and ROM file.
inline constexpr const char* kMsgTooManyParameters = "Too many parameters!\n";
inline constexpr const char* kMsgNotEnoughParameters = "Not enough parameters!\n";
inline constexpr const char* kFmtInvalidMode = "Mode %X is not valid.\n";
inline constexpr const char* kMsgIdenticalFiles = "File names are identical...bad idea!\n";
inline constexpr const char* kFmtUnableToOpenRom = "Unable to open the ROM: %s\n";
inline constexpr const char* kFmtRomTooLarge = "The ROM is too large to be handled: %s\n";

// Identification.
inline constexpr const char* kMsgRomTooSmall = "This ROM is too small to be the Zelda ROM.\n";
inline constexpr const char* kMsgWrongTitle =
    "The ROM either has the wrong game title, or is in the wrong format.\n";
inline constexpr const char* kMsgWrongCountry =
    "This ROM is from the wrong country.  Only the US and Japanese ROMs are supported.\n";

// Start and outcome of the operations.
inline constexpr const char* kMsgStartExtract = "Decompressing...";
inline constexpr const char* kMsgStartInsert = "Recompressing...";
inline constexpr const char* kMsgStartExpand2 = "Expanding ROM to 2 megs...";
inline constexpr const char* kMsgStartExpand3 = "Expanding ROM to 3 megs...";
inline constexpr const char* kMsgDone = "Done!\n";
inline constexpr const char* kFmtDoneInsert = "Done!\nLast address written to: 0x%06X\n";
inline constexpr const char* kMsgFailed = "Failed!\n";

// Sheet transfer.
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
inline constexpr const char* kMsgOutOfMemory = "Not enough memory.\n";

// Exit prompt.
inline constexpr const char* kMsgExitPrompt = "\nHit any key or click on the screen to exit.\n";
