#include "cli/console.h"

// POSIX has no console input queue to wait on, and a terminal stays open after
// the process ends, so standard input never counts as a console here.

namespace {

bool getInputHandle(ConsoleHandle& handle)
{
    handle = nullptr;
    return true;
}

bool getMode(ConsoleHandle /*handle*/, std::uint32_t& /*mode*/)
{
    return false;
}

bool setMode(ConsoleHandle /*handle*/, std::uint32_t /*mode*/)
{
    return false;
}

bool peekInput(ConsoleHandle /*handle*/, ConsoleInputRecord& /*record*/, std::uint32_t& count)
{
    count = 0;
    return false;
}

bool readInput(ConsoleHandle /*handle*/, ConsoleInputRecord& /*record*/)
{
    return false;
}

}  // namespace

const ConsoleApi& platformConsole()
{
    static const ConsoleApi console{getInputHandle, getMode, setMode, peekInput, readInput,
                                    writeStandardOutput};
    return console;
}
