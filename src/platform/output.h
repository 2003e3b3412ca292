#pragma once
// Where the run's messages go. Every text the tool prints passes through one
// of the three functions below, by what it is: what the run does and finds,
// a warning (the run goes on), or an error (a refusal or a failure). The
// mode-word command line prints all of them to standard output; the command
// form sends warnings and errors to standard error, and quiet leaves only
// those. Texts are printf formats.

#include <cstdint>

enum class MessageRoute : std::uint8_t {
    AllToOutput,  // every message to standard output (the default)
    ErrorsApart,  // warnings and errors to standard error, the rest to standard output
    Quiet,        // warnings and errors to standard error, nothing else
};

// Chooses the route for the rest of the run.
void routeMessages(MessageRoute route);

#if defined(__GNUC__)
#define SHEETPAK_PRINTF_LIKE __attribute__((format(printf, 1, 2)))
#else
#define SHEETPAK_PRINTF_LIKE
#endif

// What the run does and finds: start lines, reports, outcomes.
void printNote(const char* format, ...) SHEETPAK_PRINTF_LIKE;
// A warning: the run goes on.
void printWarning(const char* format, ...) SHEETPAK_PRINTF_LIKE;
// A refusal or a failure, and what to do about it.
void printError(const char* format, ...) SHEETPAK_PRINTF_LIKE;

// After a message that reports a file that could not be opened, created,
// read, written, flushed or renamed: "The system says: ..." with the
// system's text for the seam's last failure (file_io.h), which is then
// forgotten; nothing when the seam met none.
void printSystemReason();

// The same for a reason a reader kept itself.
struct SystemError;
void printSystemReason(const SystemError& error);
void printErrnoReason(int code);

// Puts out what is buffered of both streams (before a wait, a prompt, the end).
void flushMessages();
