#pragma once
// Runs the real sheetpak binary as a user would.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct RunResult {
    int exitStatus;      // the process exit status; -1 when it did not exit normally
    std::string output;  // everything written to standard output
    std::string errors;  // everything written to standard error (always empty for this tool)
    int signal = 0;      // the signal that ended the process, 0 when it exited
    bool timedOut = false;  // ended by the run's time limit
};

// Runs sheetpak with `arguments` in `workingDirectory`, standard input from the
// null device, and captures both output streams and the exit status. On Windows
// the CR LF line ends of the text-mode streams come back as LF. A non-zero
// `fileSizeLimit` caps the size of any file the process writes (where the
// platform can), so writes past it fail as on a full disk. A non-zero
// `timeLimitSeconds` ends the process after that many seconds of real time
// (where the platform can), reported as timedOut.
RunResult runSheetpakBinary(const std::vector<std::string>& arguments,
                            const std::filesystem::path& workingDirectory,
                            std::uint64_t fileSizeLimit = 0, unsigned timeLimitSeconds = 0);

// Whether runSheetpakBinary can honour a file size limit and a time limit on
// this platform.
bool canLimitFileSize();

// The banner every run prints first.
const std::string& bannerText();

// `output` without the banner in front; the whole output when it lacks one.
std::string afterBanner(const std::string& output);
