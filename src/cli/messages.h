#pragma once
// The texts the run driver prints: banner, usage, argument and ROM-file
// errors, start and outcome lines, the exit prompt. The ROM layer and the
// transfer walks keep theirs beside their code. All go to standard output;
// texts with a conversion are printf formats, the rest go through "%s".

#include "cli/version.h"

inline constexpr const char* kBanner =
    "\n"
    "sheetpak - graphics sheet extractor and inserter Version " SHEETPAK_VERSION "\n"
    "Created for Zelda : A Link to the Past (SNES)\n"
    "Written by the sheetpak developers; 100% of its codecs made from scratch.\n"
    "\n";

inline constexpr const char* kUsage =
    "Usage: sheetpak 0 ROMFileName [FileToSaveAs]\n"
    "       sheetpak 1 PCHexAddressToInsert ROMFileName [FileToInsert]\n\n"
    "Example: sheetpak 0 zelda.smc AllGFX.bin\n"
    "         sheetpak 1 87200 zelda.smc AllGFX.bin\n";

// Help, after the banner and the usage lines; one line per mode and flag.
inline constexpr const char* kHelp =
    "\n"
    "Mode word (hexadecimal): the operation in its low digit, plus any flags.\n"
    "  0    extract every sheet into GFX00.bin to GFXDE.bin, or into one combined file\n"
    "  1    insert every sheet from those files, from the given file offset on\n"
    "  2    enlarge the ROM to 2 MiB (plus the copier header)\n"
    "  3    enlarge the ROM to 3 MiB (plus the copier header)\n"
    "  10   insertion: leave the space after the last sheet as it is (no 0xFF fill)\n"
    "  20   sheet files are PNG images: GFX00.png to GFXDE.png, or one combined picture\n"
    "  40   check only: write nothing, report what the run would do\n"
    "  80   insertion: smallest packing (shortest streams, identical sheets stored once)\n"
    "  100  no exit prompt after a successful run\n"
    "  200  insertion: any start offset, not only the graphics and expansion areas\n"
    "  400  insertion: changed sheets only; every other byte of the ROM stays as it is\n"
    "  800  extraction: replace sheet files that hold changes instead of refusing\n"
    "  1000 insertion, expansion: write a BPS patch beside the ROM (zelda.smc: zelda.bps) instead of the ROM\n";

inline constexpr const char* kVersion = "sheetpak " SHEETPAK_VERSION "\n";

// Command line and ROM file.
inline constexpr const char* kMsgTooManyParameters = "Too many parameters!\n";
inline constexpr const char* kMsgNotEnoughParameters = "Not enough parameters!\n";
inline constexpr const char* kFmtInvalidMode = "Mode %X is not valid.\n";
inline constexpr const char* kFmtUnknownModeBits = "Mode %X is not valid: %X are no flags of sheetpak.\n";
inline constexpr const char* kFmtLooksLikeAnOption =
    "%s looks like an option, but this form of the command line takes none; for a file of that name write ./%s.\n";
inline constexpr const char* kFmtModeNotANumber = "Mode %s is not valid.\n";
inline constexpr const char* kFmtAddressNotANumber = "The insert address %s is not a hexadecimal number.\n";
inline constexpr const char* kMsgIdenticalFiles = "File names are identical...bad idea!\n";

// Advice after an insertion that found no room.
inline constexpr const char* kFmtCheckOnlyHint =
    "Mode %X checks the insertion and shows how much room the sheets need, without writing.\n";
inline constexpr const char* kFmtWouldFitExpanded =
    "They would fit after mode %u expands the ROM, from 0x%X on.\n";

// A check's note of what the closing fill writes over.
inline constexpr const char* kFmtFillWrites =
    "The fill writes 0xFF from 0x%06X to 0x%06X; add 10 to the mode word to leave those bytes as they are.\n";

// Advice after a changed-sheets insertion that would have written over an unchanged sheet.
inline constexpr const char* kFmtLayEverySheetOut =
    "An insertion of every sheet lays them all out anew: take 400 off the mode word (mode %X).\n";

// Advice after a sheet file of the other kind was given.
inline constexpr const char* kFmtPicturesAreThere =
    "%s is there: add 20 to the mode word to insert pictures (mode %X).\n";
inline constexpr const char* kFmtRawFilesAreThere =
    "%s is there: take 20 off the mode word to insert raw sheet files (mode %X).\n";
inline constexpr const char* kFmtInsertThePictures =
    "Add 20 to the mode word to insert the pictures (mode %X), or move the files you do not mean to insert away.\n";
inline constexpr const char* kFmtInsertTheRawFiles =
    "Take 20 off the mode word to insert the raw files (mode %X), or move the files you do not mean to insert away.\n";
inline constexpr const char* kFmtSheetFilesMissing = "%u of the 223 sheet files are missing.\n";
inline constexpr const char* kFmtCombinedIsPicture =
    "%s is a PNG picture: add 20 to the mode word to insert it (mode %X).\n";
inline constexpr const char* kFmtCombinedIsRaw = "%s holds raw sheets: take 20 off the mode word to insert it (mode %X).\n";

// An extraction refused over sheet files that hold changes.
inline constexpr const char* kFmtWouldReplaceChanges =
    "Extraction would replace changes in %u of your sheet files: insert them first, move them away, or add 800 to "
    "the mode word (mode %X) to replace them.\n";

// A check of a run that writes, on a ROM that run could not open for writing.
inline constexpr const char* kFmtRomNotWritable =
    "The ROM %s cannot be opened for writing, so the real run would fail.\n";

// Another run holds the ROM, the sheet files' folder or the combined file;
// then every 30 seconds of waiting. The current folder is named in words.
inline constexpr const char* kFmtWaitingForRun = "Waiting for another run on %s to finish...\n";
inline constexpr const char* kFmtStillWaiting =
    "Still waiting after %u seconds: another program holds %s. Ctrl-C stops this run; nothing has been changed.\n";
inline constexpr const char* kMsgTheCurrentFolder = "the current folder";

// A run that writes a patch instead of the ROM.
inline constexpr const char* kFmtPatchWritten = "Patch written: %s (%u bytes); %s is unchanged.\n";
inline constexpr const char* kFmtPatchWouldHold = "The patch would hold %u bytes.\n";
inline constexpr const char* kMsgNoPatchWritten = "No sheet changed, so no patch was written.\n";
inline constexpr const char* kMsgNoPatchWouldBeWritten = "No sheet changed, so no patch would be written.\n";

// Start and outcome of the operations.
inline constexpr const char* kMsgStartExtract = "Decompressing...";
inline constexpr const char* kMsgStartInsert = "Recompressing...";
inline constexpr const char* kMsgStartExpand2 = "Expanding ROM to 2 megs...";
inline constexpr const char* kMsgStartExpand3 = "Expanding ROM to 3 megs...";
inline constexpr const char* kMsgStartCheck = "Checking...";
inline constexpr const char* kMsgDone = "Done!\n";
inline constexpr const char* kFmtDoneInsert = "Done!\nLast address written to: 0x%06X\n";
inline constexpr const char* kFmtDoneCheckInsert = "Done!\nLast address to be written: 0x%06X\n";
inline constexpr const char* kMsgFailed = "Failed!\n";

// Exit prompt.
inline constexpr const char* kMsgExitPrompt = "\nHit any key or click on the screen to exit.\n";
