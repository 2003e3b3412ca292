#pragma once
// Where a run begins and ends: arguments, ROM open and identification, the one
// selected operation, the outcome message, the exit prompt.

#include "cli/run_options.h"
#include "rom/rom_image.h"

// Banner, argument checks, ROM open, size, header offset and identification.
// True: `options` is complete and `rom` is open and identified. False: a message
// has been printed; rom.file may be open, and runSheetpak closes it.
bool prepareRun(int argc, const char* const* argv, RunOptions& options, RomImage& rom);

// Start message, the operation, outcome message. Only after prepareRun
// returned true. Returns the operation's result.
bool runSelectedOperation(RunOptions& options, RomImage& rom);

// The whole run, from the process arguments to the exit prompt; the one place
// the ROM file is closed. Returns the process exit status: 0 when the run
// succeeded, 1 when any step failed.
int runSheetpak(int argc, const char* const* argv);
