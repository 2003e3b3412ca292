#include "cli/console.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The Windows console input API. A handle that is not a console (a file, a
// pipe, the null device) makes GetConsoleMode fail; GetFileType would report
// the null device as a character device, so it is no test for a console.

namespace {

ConsoleInputRecord toRecord(const INPUT_RECORD& input)
{
    ConsoleInputRecord record;
    record.eventType = input.EventType;
    if (input.EventType == KEY_EVENT) {
        record.keyDown = input.Event.KeyEvent.bKeyDown != 0;
        record.asciiChar = input.Event.KeyEvent.uChar.AsciiChar;
    } else if (input.EventType == MOUSE_EVENT) {
        record.buttonState = input.Event.MouseEvent.dwButtonState;
    }
    return record;
}

bool getInputHandle(ConsoleHandle& handle)
{
    handle = GetStdHandle(STD_INPUT_HANDLE);
    return handle != INVALID_HANDLE_VALUE;
}

bool getMode(ConsoleHandle handle, std::uint32_t& mode)
{
    DWORD current = 0;
    if (!GetConsoleMode(handle, &current)) {
        return false;
    }
    mode = current;
    return true;
}

bool setMode(ConsoleHandle handle, std::uint32_t mode)
{
    return SetConsoleMode(handle, mode) != 0;
}

bool peekInput(ConsoleHandle handle, ConsoleInputRecord& record, std::uint32_t& count)
{
    INPUT_RECORD input{};
    DWORD read = 0;
    count = 0;
    if (!PeekConsoleInputA(handle, &input, 1, &read)) {
        return false;
    }
    if (read > 0) {
        record = toRecord(input);
        count = 1;
    }
    return true;
}

bool readInput(ConsoleHandle handle, ConsoleInputRecord& record)
{
    INPUT_RECORD input{};
    DWORD read = 0;
    if (!ReadConsoleInputA(handle, &input, 1, &read) || read == 0) {
        return false;
    }
    record = toRecord(input);
    return true;
}

}  // namespace

const ConsoleApi& platformConsole()
{
    static const ConsoleApi console{getInputHandle, getMode, setMode, peekInput, readInput,
                                    writeStandardOutput};
    return console;
}
