#pragma once

#include <cstdint>

struct ConsoleApi;

// Last step of every run: unless the run succeeded with ModeNoPromptOnSuccess
// in `modeWord`, waits on a console for a key or a mouse click. Returns at once
// when standard input is not a console, so it never waits on POSIX systems.
void runExitPrompt(bool succeeded, std::uint32_t modeWord);

// The same on the given console.
void runExitPrompt(const ConsoleApi& console, bool succeeded, std::uint32_t modeWord);
