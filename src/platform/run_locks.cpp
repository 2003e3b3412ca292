#include "platform/file_io.h"

// Runs held apart: the waits for a lock another run holds, and the locks on
// a run's sheet files (their folder, or a combined file).

#include <atomic>
#include <chrono>
#include <filesystem>
#include <new>
#include <thread>

#include "platform/file_io_system.h"

namespace fs = std::filesystem;

// Why no two runs ever wait for each other. A run takes its locks in this
// order, each wait only for a lock of a later kind than all it holds:
//   1. the ROM (openLockedFile, shared or alone), holding nothing;
//   2. for a moment, the journal of an in-place write beside the ROM
//      (restoreHalfWrittenFiles);
//   3. the sheet files: their folder (lockFolder) or the combined file, or
//      its folder while it is created (lockFileOrFolder);
//   4. for a moment, the journal of a sheet file;
//   5. shared, the folder where a temporary file is being made (holdFolder,
//      in file_io_posix.cpp), unless the run holds that folder already (3);
//   6. the run's own temporary files and journals, and the leftovers it
//      removes: without waiting, never a wait.
// A cycle needs a run that waits while it holds a lock some other waiting run
// needs. Waits 2 and 4 are for a journal whose holder is restoring it: that
// run holds the same file (or folder) shared and takes no lock until it lets
// go of the journal (a writer of the file cannot be at work: this run holds
// the file). A wait at 3 is for a run holding the sheet files: an extraction
// holding them alone takes nothing after them but 4 (held by nobody while it
// holds the folder alone), 6 and its own folder (5 without a lock); a reader
// holding them shared waits at most at 5. A wait at 5 is for a run holding
// that folder alone: an extraction into it (or the creation of a combined
// file there), which waits for nothing more, or a removal of leftovers, which
// never waits. So every chain of waits ends at a run that does not wait.

namespace {

// How often a lock held by another run is tried again, and how often a wait
// tells that it goes on.
constexpr auto kLockPoll = std::chrono::milliseconds(25);
constexpr std::uint32_t kStillWaitingEvery = 30;

std::atomic<LockWaitNotice> gLockWaitNotice{nullptr};

}  // namespace

void setLockWaitNotice(LockWaitNotice notice)
{
    gLockWaitNotice.store(notice);
}

LockWaitNotice lockWaitNotice()
{
    return gLockWaitNotice.load();
}

void waitBeforeRetry(LockWait& wait)
{
    if (!wait.waiting) {
        wait.waiting = true;
        wait.since = std::chrono::steady_clock::now();
        wait.nextNotice = kStillWaitingEvery;
        if (wait.notice != nullptr) {
            wait.notice(wait.name, 0);
        }
    }
    std::this_thread::sleep_for(kLockPoll);
    const auto waited = std::chrono::steady_clock::now() - wait.since;
    if (waited >= std::chrono::seconds(wait.nextNotice)) {
        if (wait.notice != nullptr) {
            wait.notice(wait.name, wait.nextNotice);
        }
        wait.nextNotice += kStillWaitingEvery;
    }
}

// ---- Sheet files held against other runs ----

void RunLockRelease::operator()(RunLock* lock) const
{
    if (lock->file != nullptr) {
        std::fclose(lock->file);
    }
    if (lock->folderHeld) {
        unlockFolderAgainstRuns(lock->folder);
    }
    delete lock;
}

HeldRunLock lockFolder(const char* folder, FileLock lock)
{
    HeldRunLock held(new (std::nothrow) RunLock);
    LockWait wait{folder, lockWaitNotice()};
    if (!held || !lockFolderAgainstRuns(fs::path(folder), lock, wait, held->folder)) {
        return nullptr;
    }
    held->folderHeld = true;
    return held;
}

HeldRunLock lockFileOrFolder(const char* path, FileLock lock)
{
    HeldRunLock held(new (std::nothrow) RunLock);
    fs::path target;
    if (!held || !resolveLinks(path, target)) {
        return nullptr;
    }
    for (;;) {
        held->file = openLockedFile(path, "rb", lock, lockWaitNotice());
        if (held->file != nullptr) {
            return held;
        }
        TargetState state;
        if (lock == FileLock::Shared || !inspectTarget(target, state) || state.exists) {
            return nullptr;  // nothing to read, or something no lock can be had on
        }
        // Nothing there yet: its folder alone, until this run has made it.
        LockWait wait{path, lockWaitNotice()};
        if (!lockFolderAgainstRuns(target.parent_path(), FileLock::Exclusive, wait, held->folder)) {
            return nullptr;
        }
        if (inspectTarget(target, state) && !state.exists) {
            held->folderHeld = true;
            return held;
        }
        // Made by the run this one waited for: that file is to be locked.
        unlockFolderAgainstRuns(held->folder);
    }
}
