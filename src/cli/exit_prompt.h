#pragma once
// The last step of a run on a console: waiting for a key or a click, so that
// a window opened for the run stays readable.

#include <cstdint>

#include "cli/run_request.h"

struct ConsoleApi;

// Unless the run succeeded and `policy` skips the prompt after success,
// waits on a console for a key or a mouse click. Returns at once when
// standard input is not a console, so it never waits on POSIX systems.
void runExitPrompt(bool succeeded, PromptPolicy policy);

// The same on the given console.
void runExitPrompt(const ConsoleApi& console, bool succeeded, PromptPolicy policy);
