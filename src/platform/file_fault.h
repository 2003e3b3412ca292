#pragma once
// The file seam's fault hook, for tests only: the product never sets it, and
// no flag or environment variable reaches it. Every step of the seam (each
// creation of a temporary file or a journal, each write of at most 0x40000
// bytes, each flush to the disk, resize, rename, folder sync and removal of a
// journal) is counted; the `at`-th
// counted step (from 1) fails, or it and every later one, or the process ends
// there at once with _exit(kFileFaultExitStatus) as if killed, or it raises a
// signal there and the step runs on.

#include <cstdint>

// A journal's own writes are JournalWrite, so that a count of Write steps
// sees only the bytes written to the file itself.
enum class FileStep : std::uint8_t { Create, Write, Flush, Resize, Rename, SyncFolder, JournalWrite, Remove, Any };
enum class FileFaultAction : std::uint8_t { None, FailOnce, FailFromThen, Exit, Raise };

struct FileFaultForTests {
    FileFaultAction action = FileFaultAction::None;
    std::uint32_t at = 0;           // the step that faults, counted from 1
    FileStep only = FileStep::Any;  // count only steps of this kind
    int signal = 0;                 // the signal Raise raises
};

inline constexpr int kFileFaultExitStatus = 86;

// Sets the hook and restarts the count.
void setFileFaultForTests(const FileFaultForTests& fault);

// For the seam itself: counts one step of `kind`. False when the hook makes
// this step fail; does not return when it ends the process here.
bool fileStepMayRun(FileStep kind);
