#pragma once
// Committing a run's plan: the only functions that write a ROM or a sheet
// file, one per kind of target, each through the file seam's whole-file
// writes, with one set of messages for how a write ended.

#include "rom/rom_image.h"
#include "rom/patch_bytes.h"
#include "rom/patch_format.h"
#include "rom/rom_plan.h"
#include "sheetfile/sheet_files.h"

// Builds the planned new file, over the run's own image when it keeps its
// size (the run needs the old one no more), and puts it in the ROM's place
// (rom.path): a new file beside it renamed over it, or where that is
// unavailable (a hard link, a folder that takes no new file) the differing
// bytes written in place. True: the ROM holds the new file. False after the
// messages: the ROM is unchanged, or they say whether it could be restored.
// A plan that writes nothing leaves the file as it is.
bool commitRom(RomImage& rom, const RomPlan& plan);

// Removes what killed runs left beside the planned sheet files, then writes
// every file that does not already hold its new bytes, as one batch. False
// after the message naming the file that failed.
bool commitSheetFiles(const SheetFilesPlan& plan);

// The patch of `format` from the ROM file as it is (its image, copier header
// included) to the file the plan would make of it. False after the message
// when it cannot be made (memory; an IPS patch of a file over 16 MiB).
bool makeRunPatch(const RomImage& rom, const RomPlan& plan, PatchFormat format, PatchBytes& patch);

// Writes `patch` whole as the file `path` (through a new file renamed into
// place, replacing a file of that name), after removing what killed runs
// left beside it. False after the message.
bool commitPatch(const char* path, const PatchBytes& patch);
