#pragma once

#include <cstdint>

// Last step of every run: unless the run succeeded with ModeNoPromptOnSuccess
// in `modeWord`, waits on a console for a key or a mouse click.
void runExitPrompt(bool succeeded, std::uint32_t modeWord);
