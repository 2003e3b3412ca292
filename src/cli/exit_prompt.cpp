#include "cli/exit_prompt.h"

#include <cstdio>

#include "cli/console.h"
#include "cli/messages.h"

namespace {

// Whether the record ends the wait: any key, pressed or released, or a mouse
// event with a button held or the wheel turned. Mouse movement alone, focus,
// menu and buffer-size events do not.
bool endsWait(const ConsoleInputRecord& record)
{
    if (record.eventType == kConsoleKeyEvent) {
        return true;
    }
    return record.eventType == kConsoleMouseEvent && record.buttonState != 0;
}

}  // namespace

void writeStandardOutput(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

void runExitPrompt(bool succeeded, PromptPolicy policy)
{
    runExitPrompt(platformConsole(), succeeded, policy);
}

void runExitPrompt(const ConsoleApi& console, bool succeeded, PromptPolicy policy)
{
    if (succeeded && policy == PromptPolicy::NotAfterSuccess) {
        return;
    }
    ConsoleHandle input = nullptr;
    if (!console.getInputHandle(input)) {
        return;
    }
    // Standard input redirected from a file, a pipe or the null device is no
    // console: there is nobody to wait for.
    std::uint32_t mode = 0;
    if (!console.getMode(input, mode)) {
        return;
    }
    // Clicks must arrive as mouse events instead of starting a text selection.
    // The previous mode is not restored.
    console.setMode(input, (mode & ~kConsoleQuickEditMode) | kConsoleMouseInput | kConsoleExtendedFlags);

    // Started by typing a command line in an open console: the release of the
    // Enter key is still queued, and the window stays open anyway. The record
    // is left in the queue.
    ConsoleInputRecord head;
    std::uint32_t count = 0;
    if (console.peekInput(input, head, count) && count > 0 && head.eventType == kConsoleKeyEvent &&
        head.asciiChar == '\r') {
        return;
    }

    console.writeOutput(kMsgExitPrompt);
    ConsoleInputRecord record;
    while (console.readInput(input, record)) {
        if (endsWait(record)) {
            return;
        }
    }
}
