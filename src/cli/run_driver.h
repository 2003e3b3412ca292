#pragma once
// Where a run begins and ends: arguments, ROM open and identification, the one
// selected operation, the outcome message, the exit prompt.

#include <cstdio>

#include "cli/run_options.h"
#include "rom/rom_image.h"

// Banner, argument checks, the ROM read into its image, identification.
// True: `options` is complete and `rom` holds the identified image. False: a
// message has been printed. Either way `romLock` may hold the ROM file open,
// locked against other runs, for the caller to close when the run is over.
bool prepareRun(int argc, const char* const* argv, RunOptions& options, RomImage& rom, std::FILE*& romLock);

// Start message, the operation, outcome message. Only after prepareRun
// returned true. Returns the operation's result.
bool runSelectedOperation(RunOptions& options, RomImage& rom);

// The whole run, from the process arguments to the exit prompt. Returns the
// process exit status: 0 when the run succeeded, 1 when any step failed.
int runSheetpak(int argc, const char* const* argv);
