#pragma once
// Where a run begins and ends: the command line read into a request, the ROM
// opened and identified, the one operation studied, its plan committed or its
// report printed, the outcome and advice, the exit prompt.

#include "cli/run_request.h"

// Runs the request once the command line has been read into it: returns
// whether the run succeeded, after its messages.
bool runRequest(const RunRequest& request);

// The whole run, from the process arguments to the exit prompt. Returns the
// process exit status: 0 when the run succeeded, 1 when any step failed.
int runSheetpak(int argc, const char* const* argv);
