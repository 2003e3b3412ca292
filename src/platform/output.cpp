#include "platform/output.h"

#include <cstdarg>
#include <cstdio>

namespace {

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

void flushMessages()
{
    std::fflush(stdout);
    std::fflush(stderr);
}
