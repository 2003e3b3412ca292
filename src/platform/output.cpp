#include "platform/output.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/file_io.h"

namespace {

constexpr const char* kFmtSystemSays = "The system says: %s.\n";

MessageRoute gRoute = MessageRoute::AllToOutput;

// Prints to the stream a message of this kind goes to; an error or warning
// on standard error comes after everything printed to standard output before it.
void printTo(bool error, const char* format, std::va_list arguments)
{
    if (!error || gRoute == MessageRoute::AllToOutput) {
        std::vfprintf(stdout, format, arguments);
        return;
    }
    std::fflush(stdout);
    std::vfprintf(stderr, format, arguments);
}

}  // namespace

void routeMessages(MessageRoute route)
{
    gRoute = route;
}

void printNote(const char* format, ...)
{
    if (gRoute == MessageRoute::Quiet) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    printTo(false, format, arguments);
    va_end(arguments);
}

void printWarning(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    printTo(true, format, arguments);
    va_end(arguments);
}

void printError(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    printTo(true, format, arguments);
    va_end(arguments);
}

void printSystemReason()
{
    const SystemError error = lastSystemError();
    clearSystemError();
    if (error.code != 0) {
        printError(kFmtSystemSays, systemErrorText(error).c_str());
    }
}

void printSystemReason(const SystemError& error)
{
    if (error.code != 0) {
        printError(kFmtSystemSays, systemErrorText(error).c_str());
    }
    clearSystemError();
}

void printErrnoReason(int code)
{
    printSystemReason(SystemError{code, false});
}

void flushMessages()
{
    std::fflush(stdout);
    std::fflush(stderr);
}
