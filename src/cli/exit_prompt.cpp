#include "cli/exit_prompt.h"

// Placeholder until the console prompt lands: never waits.
void runExitPrompt(bool /*succeeded*/, std::uint32_t /*modeWord*/) {}
