#pragma once
// The texts the extraction and insertion walks print.
// All go to standard output; texts with a conversion are printf formats,
// the rest are printed through "%s".

inline constexpr const char* kFmtDecompressError = "Error decompressing GFX 0x%02X\n";
inline constexpr const char* kFmtCompressError = "Error compressing GFX 0x%02X\n";
inline constexpr const char* kMsgNotEnoughRoom =
    "Aborted in mid-operation: Not enough room.\nYou must expand the ROM and reinsert.\n";
inline constexpr const char* kFmtColoursDropped =
    "Warning, GFX 0x%02X uses colours 8 to 15, which become 0 to 7: the game keeps 3 bits per pixel there.\n";
inline constexpr const char* kFmtOutsideSheetAreas =
    "The insert address 0x%X is outside the graphics area (0x%X to 0x%X) and the expansion area (from 0x%X).\n";
inline constexpr const char* kFmtWouldOverwrite = "GFX 0x%02X can't be placed at 0x%X: it would overwrite %s.\n";
inline constexpr const char* kRegionSystemArea = "the ROM header and pointer tables";
inline constexpr const char* kRegionSheetDD = "GFX 0xDD";
inline constexpr const char* kRegionSheetDE = "GFX 0xDE";
inline constexpr const char* kFmtStartPastEnd =
    "The start offset 0x%X is at or past the end of the ROM, which holds 0x%X bytes.\n";
inline constexpr const char* kFmtOutOfPointerReach =
    "GFX 0x%02X can't be placed at 0x%X: sheet pointers reach only the first 4 MiB of the ROM.\n";
inline constexpr const char* kFmtInsideCopierHeader =
    "GFX 0x%02X can't be placed at 0x%X: that is inside the copier header.\n";

// Insertion of the changed sheets only.
inline constexpr const char* kFmtChangedSheets = "%u of 223 sheets changed: %u written in place, %u moved.\n";
inline constexpr const char* kFmtKeptStreamWrittenOver =
    "GFX 0x%02X did not change, but its stream lies in bytes this run writes for other sheets, from 0x%X.\n";

// Check-only runs.
inline constexpr const char* kFmtForeignFillBytes = "0x%X of those bytes belong to no sheet, the first at 0x%06X.\n";
inline constexpr const char* kFmtRoomNeeded =
    "The sheets need 0x%X bytes from 0x%X; 0x%X of the 0x%X bytes up to 0x%X are left.\n";
inline constexpr const char* kFmtSmallestSaves =
    "The smallest packing saves 0x%X bytes against the default one (0x%X bytes); %u sheets share an earlier one's bytes.\n";
inline constexpr const char* kFmtWouldFitFromGraphicsArea = "They would fit from 0x%X, the start of the graphics area.\n";
inline constexpr const char* kFmtWouldFitFrom = "They would fit from 0x%X, in the expansion area.\n";
inline constexpr const char* kMsgSpanHeading = "\nSheet at file offset + bytes:\n";
inline constexpr const char* kFmtSpan = "%02X %06X+%04X%s";
inline constexpr const char* kFmtExtractionSpan =
    "The sheets use the bytes from 0x%X to 0x%X; without 0xDD and 0xDE, from 0x%X to 0x%X.\n";


// Patches.
inline constexpr const char* kMsgPatchTooLargeForIps =
    "The ROM file is larger than 16 MiB, which an IPS patch cannot express: write a BPS patch (.bps) instead.\n";
