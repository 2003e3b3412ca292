#pragma once
// The few console input calls the exit prompt needs, behind a record of plain
// function pointers so that the prompt's logic runs against scripted input in
// tests. Windows fills it with the real console API; elsewhere there is no
// such console and every call reports failure.

#include <cstdint>

// An opaque console input handle (a Windows HANDLE).
using ConsoleHandle = void*;

// Event types of console input records, with their Windows values.
inline constexpr std::uint16_t kConsoleKeyEvent = 1;
inline constexpr std::uint16_t kConsoleMouseEvent = 2;

// Console input modes the prompt changes, with their Windows values.
inline constexpr std::uint32_t kConsoleMouseInput = 0x10;
inline constexpr std::uint32_t kConsoleQuickEditMode = 0x40;
inline constexpr std::uint32_t kConsoleExtendedFlags = 0x80;

// The fields of a console input record that the prompt looks at.
struct ConsoleInputRecord {
    std::uint16_t eventType = 0;    // kConsoleKeyEvent, kConsoleMouseEvent or another type
    bool keyDown = false;           // key events: press or release (the prompt never asks)
    char asciiChar = 0;             // key events: the character
    std::uint32_t buttonState = 0;  // mouse events: held buttons and wheel movement
};

struct ConsoleApi {
    // The standard input handle; false when there is none (INVALID_HANDLE_VALUE).
    bool (*getInputHandle)(ConsoleHandle& handle);
    // The current input mode; false when the handle is not a console.
    bool (*getMode)(ConsoleHandle handle, std::uint32_t& mode);
    bool (*setMode)(ConsoleHandle handle, std::uint32_t mode);
    // Copies the first queued record without removing it; `count` is 0 or 1.
    bool (*peekInput)(ConsoleHandle handle, ConsoleInputRecord& record, std::uint32_t& count);
    // Removes the first record, waiting until there is one.
    bool (*readInput)(ConsoleHandle handle, ConsoleInputRecord& record);
    // Writes `text` to standard output and flushes it.
    void (*writeOutput)(const char* text);
};

// The console of the platform the program runs on.
const ConsoleApi& platformConsole();

// Standard output writer shared by the platform consoles.
void writeStandardOutput(const char* text);
