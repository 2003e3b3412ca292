#pragma once
// Runs the real sheetpak binary as a user would.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_fault.h"

struct RunResult {
    int exitStatus;      // the process exit status; -1 when it did not exit normally
    std::string output;  // everything written to standard output
    std::string errors;  // everything written to standard error (always empty for this tool)
};

// Runs sheetpak with `arguments` in `workingDirectory`, standard input from the
// null device, and captures both output streams and the exit status. On Windows
// the CR LF line ends of the text-mode streams come back as LF. A non-zero
// `fileSizeLimit` caps the size of any file the process writes (where the
// platform can), so writes past it fail as on a full disk; the signal such a
// write raises (SIGXFSZ) is left at its default. A non-zero
// `timeoutSeconds` kills a run that lasts longer (exit status -1; where the
// platform can).
RunResult runSheetpakBinary(const std::vector<std::string>& arguments,
                            const std::filesystem::path& workingDirectory,
                            std::uint64_t fileSizeLimit = 0, unsigned timeoutSeconds = 0);

// As runSheetpakBinary, but as a user whom file permissions bind: the test's
// own user, or, when that is the superuser (on POSIX), nobody, who must be
// able to reach `workingDirectory` and read what the run reads.
RunResult runSheetpakBinaryAsUser(const std::vector<std::string>& arguments,
                                  const std::filesystem::path& workingDirectory);

// Whether a file without write permission stays unwritable for the user
// runSheetpakBinaryAsUser runs as. Always on POSIX; under Windows, not when
// the read-only attribute does not bind (wine run by the superuser).
bool writeProtectionBindsUser(const std::filesystem::path& readOnlyFile);

// Starts one run of sheetpak per entry of `runs`, all before waiting for any,
// in `workingDirectory`; their results in the same order.
std::vector<RunResult> runSheetpakBinariesAtOnce(const std::vector<std::vector<std::string>>& runs,
                                                 const std::filesystem::path& workingDirectory);

// Whether runSheetpakBinary can honour a file size limit and a timeout on
// this platform.
bool canLimitFileSize();

// Runs the whole program in a child process forked from the test, through
// runSheetpak, with `fault` set in the file seam's test hook: as
// runSheetpakBinary, but the exit status is kFileFaultExitStatus when the hook
// ended the run. Only where canRunInChild().
RunResult runSheetpakInChild(const std::vector<std::string>& arguments,
                             const std::filesystem::path& workingDirectory, const FileFaultForTests& fault);

bool canRunInChild();

// How a run that a signal may have ended ended.
struct SignalledRun {
    RunResult run;   // run.exitStatus is -1 when a signal ended it
    int signal = 0;  // that signal; 0 when the run exited
};

// As runSheetpakBinary, but `signal` is sent to the run `after` its start,
// when it still runs then. Only where canRunInChild().
SignalledRun runSheetpakBinarySignalled(const std::vector<std::string>& arguments,
                                        const std::filesystem::path& workingDirectory,
                                        std::chrono::microseconds after, int signal);

// As runSheetpakInChild, telling the signal that ended the child.
SignalledRun runSheetpakInChildSignalled(const std::vector<std::string>& arguments,
                                         const std::filesystem::path& workingDirectory,
                                         const FileFaultForTests& fault);

// The banner every run prints first.
const std::string& bannerText();

// `output` without the banner in front; the whole output when it lacks one.
std::string afterBanner(const std::string& output);

// The line a run prints after a file error, with the system's text for
// the errno value `code`: "The system says: No such file or directory.\n"
// (on Windows, the text of the Windows error that stands for it).
std::string systemSays(int code);
