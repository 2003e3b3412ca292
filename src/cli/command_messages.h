#pragma once
// The texts of the command form of the command line (command_form.h): its
// errors of use, its help, its advice and the line a run ends with. The
// texts both forms print are in messages.h.

#include <cinttypes>

#include "cli/version.h"

// Errors of use: one line naming it, then what to read.
inline constexpr const char* kMsgTryHelp = "Try 'sheetpak help'.\n";
inline constexpr const char* kFmtTryHelpCommand = "Try 'sheetpak help %s'.\n";
inline constexpr const char* kFmtUseUnknownCommand = "%s is no command of sheetpak.\n";
inline constexpr const char* kFmtUseOptionFirst = "%s comes after a command: extract, insert, expand, info or help.\n";
inline constexpr const char* kFmtUseUnknownOption = "%s is no option of sheetpak.\n";
inline constexpr const char* kFmtUseOptionOfOther = "%s is no option of %s.\n";
inline constexpr const char* kFmtUseNoValue = "%s takes no value.\n";
inline constexpr const char* kFmtUseNeedsValue = "%s needs a value.\n";
inline constexpr const char* kMsgUseRomMissing = "the ROM file is missing.\n";
inline constexpr const char* kMsgUseSizeMissing = "the size is missing: 2M or 3M.\n";
inline constexpr const char* kFmtUseExtraArgument = "%s is one argument too many.\n";
inline constexpr const char* kFmtUseBadSize = "%s is no size to expand to: 2M or 3M.\n";
inline constexpr const char* kFmtUseBadOffset = "--at %s is no hexadecimal file offset.\n";
inline constexpr const char* kFmtUseBadSheetList =
    "--sheets %s: %s is no sheet or range of sheets (hexadecimal, 00 to DE: 21,71-73,DD).\n";
inline constexpr const char* kFmtUseBadPatchName = "--patch %s: a patch file's name ends in .bps or .ips.\n";
inline constexpr const char* kMsgUsePngWithRaw = "--png and --raw do not go together.\n";
inline constexpr const char* kFmtUseRawWithPicture = "--raw does not go with the picture %s.\n";
inline constexpr const char* kFmtUseKindOfFile = "%s is no file for %s.\n";
inline constexpr const char* kFmtUseSheetsWithCombined = "--sheets does not go with the combined file %s.\n";
inline constexpr const char* kFmtUseSheetsWithFiles = "--sheets does not go with per-sheet files such as %s.\n";
inline constexpr const char* kFmtUseNotASheetFile = "%s is no per-sheet file (GFX00.png to GFXDE.png, or .bin).\n";
inline constexpr const char* kFmtUseSheetFilesApart =
    "%s is not of the same folder and kind as %s: per-sheet files are inserted from one folder.\n";

// Help.
inline constexpr const char* kHelpCommands =
    "sheetpak " SHEETPAK_VERSION ": the graphics sheets of Zelda : A Link to the Past (SNES) out of a ROM\n"
    "into pictures you can edit, and back.\n"
    "\n"
    "  sheetpak extract ROM [TARGET]    every sheet as a picture (GFX00.png to GFXDE.png) in a folder\n"
    "  sheetpak insert ROM [SOURCE...]  the sheets that changed back into the ROM\n"
    "  sheetpak expand ROM 2M|3M        the ROM enlarged to 2 or 3 MiB, for sheets that no longer fit\n"
    "  sheetpak info ROM                what the ROM holds: its release, its room, every sheet\n"
    "  sheetpak help COMMAND            a command's arguments and options, with an example\n"
    "  sheetpak --version               the version\n"
    "\n"
    "Example: sheetpak extract zelda.smc sheets\n"
    "         sheetpak insert zelda.smc sheets\n";
inline constexpr const char* kHelpModeWordHeading = "\nThe mode-word command line of scripts and batch files:\n";
inline constexpr const char* kHelpExtract =
    "Usage: sheetpak extract ROM [TARGET] [options]\n"
    "Writes the ROM's sheets into TARGET: a folder (the current one when left out; made when missing), or one\n"
    "combined file when its name ends in .png (a picture) or .bin (raw bytes).\n"
    "  --raw          per-sheet files of raw bytes, GFX00.bin to GFXDE.bin, instead of pictures\n"
    "  --sheets LIST  only these sheets' files: hexadecimal numbers and ranges, 21,71-73,DD\n"
    "  --force        replace sheet files that hold changes (otherwise the run refuses)\n"
    "  -n, --dry-run  write nothing: show where the ROM keeps each sheet\n"
    "  -q, --quiet    print only warnings and errors\n"
    "Example: sheetpak extract zelda.smc sheets\n";
inline constexpr const char* kHelpInsert =
    "Usage: sheetpak insert ROM [SOURCE...] [options]\n"
    "Puts the sheets that changed back into the ROM, each in its old place when it fits there. SOURCE is a\n"
    "folder (the current one when left out), a combined file (.png or .bin), or per-sheet files\n"
    "(GFX21.png GFX71.png: those sheets only).\n"
    "  --at OFFSET    place moved sheets from this file offset (hexadecimal) on\n"
    "  --all          lay every sheet out anew from the start, and 0xFF after the last one\n"
    "  --smallest     the shortest streams, and identical sheets stored once\n"
    "  --no-fill      leave the bytes the sheets free as they are, not 0xFF\n"
    "  --anywhere     take a start offset outside the graphics and expansion areas\n"
    "  --png, --raw   read the pictures, or the raw files, of a folder that holds both\n"
    "  --sheets LIST  read only these sheets' files; the others stay as the ROM has them (21,71-73,DD)\n"
    "  --patch FILE   write a patch (.bps or .ips) instead of changing the ROM\n"
    "  -n, --dry-run  write nothing: show where each sheet would go and how much room is left\n"
    "  -q, --quiet    print only warnings and errors\n"
    "Example: sheetpak insert zelda.smc sheets\n";
inline constexpr const char* kHelpExpand =
    "Usage: sheetpak expand ROM 2M|3M [options]\n"
    "Enlarges the ROM file to 2 or 3 MiB (after its copier header), for sheets that no longer fit.\n"
    "  --patch FILE   write a patch (.bps or .ips) instead of changing the ROM\n"
    "  -n, --dry-run  write nothing: show the size the ROM would grow to\n"
    "  -q, --quiet    print only warnings and errors\n"
    "Example: sheetpak expand zelda.smc 2M\n";
inline constexpr const char* kHelpInfo =
    "Usage: sheetpak info ROM [--json]\n"
    "Shows what the ROM holds: its release, copier header and size, the room of its graphics and expansion\n"
    "areas, and where each sheet lies, how many bytes it takes and whether it decodes. Reads only the ROM.\n"
    "  --json         one JSON object instead (its fields are in the README)\n"
    "Example: sheetpak info zelda.smc\n";

// Info.
inline constexpr const char* kFmtInfoRom =
    "%s: the %s release, %s a copier header; 0x%X bytes, declaring 0x%" PRIX64 "; %s.\n";
inline constexpr const char* kFmtInfoGraphicsArea =
    "Graphics area: 0x%06X to 0x%06X; its sheets use 0x%X bytes; 0x%X bytes after the last sheet hold 0xFF.\n";
inline constexpr const char* kFmtInfoExpansionArea =
    "Expansion area: 0x%06X to 0x%06X; its sheets use 0x%X bytes; 0x%X bytes after the last sheet are free.\n";
inline constexpr const char* kFmtInfoNoExpansionArea =
    "Expansion area: none; `sheetpak expand %s 2M` makes one.\n";
inline constexpr const char* kMsgInfoSheetHeading = "\nSheet Type Storage    Offset   Bytes  Shares with  State\n";
inline constexpr const char* kFmtInfoSheet = "%02X    %u    %-10s 0x%06X 0x%04X %-12s %s\n";

// Advice, as the mode-word texts in messages.h give it in mode words.
inline constexpr const char* kFmtWouldReplaceChangesForce =
    "Extraction would replace changes in %u of your sheet files: insert them first, move them away, or add "
    "--force to replace them.\n";
inline constexpr const char* kMsgDryRunHint = "--dry-run shows how much room the sheets need, without writing.\n";
inline constexpr const char* kFmtWouldFitAfterExpand = "They would fit after `sheetpak expand %s %uM`, from 0x%X on.\n";
inline constexpr const char* kMsgLayEverySheetOutAll = "An insertion of every sheet lays them all out anew: add --all.\n";
inline constexpr const char* kFmtPicturesAreTherePng = "%s is there: add --png to insert the pictures.\n";
inline constexpr const char* kFmtRawFilesAreThereRaw = "%s is there: add --raw to insert the raw sheet files.\n";
inline constexpr const char* kFmtCombinedIsPictureByName =
    "%s is a PNG picture: name it with .png at the end to insert it as one.\n";
inline constexpr const char* kFmtCombinedIsRawByName =
    "%s holds raw sheets: name it with .bin at the end to insert it as such.\n";
inline constexpr const char* kMsgChooseKind =
    "Add --png to insert the pictures or --raw to insert the raw files, or move the files you do not mean to "
    "insert away.\n";
inline constexpr const char* kFmtFillWritesNoFill =
    "The fill writes 0xFF from 0x%06X to 0x%06X; add --no-fill to leave those bytes as they are.\n";

// The line a successful run ends with: what it wrote and where.
inline constexpr const char* kMsgDryRunWroteNothing = "Nothing was written: this was a dry run.\n";
inline constexpr const char* kFmtWroteSheetFiles = "Sheet files written to %s: %u; left as they were: %u.\n";
inline constexpr const char* kFmtWroteCombinedFile = "%s written.\n";
inline constexpr const char* kFmtCombinedFileKept = "%s left as it was: it holds these sheets already.\n";
inline constexpr const char* kFmtRomKeptNothingChanged = "%s left as it was: no sheet changed.\n";
inline constexpr const char* kFmtWroteEverySheet =
    "%s written: every sheet laid out anew from 0x%06X; the last address written is 0x%06X.\n";
inline constexpr const char* kFmtWroteChangedSheetsMoved =
    "%s written: sheets changed: %u (%u in place, %u moved); the last address written is 0x%06X.\n";
inline constexpr const char* kFmtWroteChangedSheets = "%s written: sheets changed: %u, all in place.\n";
inline constexpr const char* kFmtWroteGrownRom = "%s written: it now holds 0x%X bytes.\n";

// A ROM dropped onto the program: after its info, how to go on.
inline constexpr const char* kFmtDroppedRomNext =
    "\nTo take its sheets out as pictures into the folder sheets:  sheetpak extract %s sheets\n"
    "To put the edited ones back:                                 sheetpak insert %s sheets\n";

// Folders.
inline constexpr const char* kFmtFolderParentMissing = "The folder %s cannot be made: %s does not exist.\n";
inline constexpr const char* kFmtFolderNotMade = "The folder %s cannot be made.\n";
