#include "platform/file_fault.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

FileFaultForTests gFault;
std::uint32_t gStepsCounted = 0;

}  // namespace

void setFileFaultForTests(const FileFaultForTests& fault)
{
    gFault = fault;
    gStepsCounted = 0;
}

bool fileStepMayRun(FileStep kind)
{
    if (gFault.only != FileStep::Any && gFault.only != kind) {
        return true;
    }
    ++gStepsCounted;
    const bool reached = gStepsCounted == gFault.at ||
                         (gFault.action == FileFaultAction::FailFromThen && gStepsCounted > gFault.at);
    if (!reached || gFault.action == FileFaultAction::None) {
        return true;
    }
    if (gFault.action == FileFaultAction::Exit) {
        std::fflush(stdout);
        std::_Exit(kFileFaultExitStatus);
    }
    if (gFault.action == FileFaultAction::Raise) {
        std::fflush(stdout);
        std::raise(gFault.signal);
        return true;
    }
    return false;
}
