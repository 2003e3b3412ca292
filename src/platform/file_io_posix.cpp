// The file seam on POSIX systems.

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "platform/file_io_system.h"

namespace fs = std::filesystem;

namespace {

// Opens `folder` ("" : the current one) to be locked or listed; -1 when it cannot be.
int openFolder(const fs::path& folder)
{
    return open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// One try at `operation` (LOCK_SH or LOCK_EX) on the descriptor, without waiting.
LockTry tryFlock(int descriptor, int operation)
{
    while (flock(descriptor, operation | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return LockTry::Busy;
        }
        if (errno != EINTR) {
            return LockTry::NoLocks;
        }
    }
    return LockTry::Granted;
}

// `operation` on the descriptor, waiting (with `wait`'s notices) while
// another run holds a conflicting lock.
LockTry flockWaiting(int descriptor, int operation, LockWait& wait)
{
    LockTry result = LockTry::Busy;
    while ((result = tryFlock(descriptor, operation)) == LockTry::Busy) {
        waitBeforeRetry(wait);
    }
    return result;
}

// The folders this process holds against other runs (lockFolderAgainstRuns),
// by device and inode: a flock belongs to an open file description, so a
// second lock this process took on one of them would wait for its own.
// holdFolder and removeLeftoversIn ask here first.
struct HeldFolder {
    dev_t device = 0;
    ino_t inode = 0;
    bool exclusive = false;
    int descriptor = -1;
    int holds = 0;  // 0: a free slot
};
constexpr int kHeldFolderSlots = 8;
HeldFolder gHeldFolders[kHeldFolderSlots];

// The slot of `folder` among those held, or -1.
int heldFolderSlot(const fs::path& folder)
{
    struct stat info;
    if (stat(folder.empty() ? "." : folder.c_str(), &info) != 0) {
        return -1;
    }
    for (int slot = 0; slot < kHeldFolderSlots; ++slot) {
        const HeldFolder& held = gHeldFolders[slot];
        if (held.holds > 0 && held.device == info.st_dev && held.inode == info.st_ino) {
            return slot;
        }
    }
    return -1;
}

// The lock on a folder that orders the creation of temporary files against
// the removal of leftovers: a run holds it shared from creating a temporary
// file until it has locked that file (waiting, with the notices, while another
// run holds the folder alone), and removeLeftoverTemporaries holds it
// exclusively while it looks, without waiting. -1 when the folder cannot be
// opened or locked (or, without LOCK_NB, is busy); then no removal can lock it
// either.
int lockFolderForTemporaries(const fs::path& folder, int operation)
{
    const int descriptor = openFolder(folder);
    if (descriptor < 0) {
        return -1;
    }
    const std::string name = folder.string();
    LockWait wait{name.c_str(), lockWaitNotice()};
    const LockTry result = (operation & LOCK_NB) != 0 ? tryFlock(descriptor, operation & ~LOCK_NB)
                                                       : flockWaiting(descriptor, operation, wait);
    if (result != LockTry::Granted) {
        close(descriptor);
        return -1;
    }
    return descriptor;
}

// Whether `path` still names the file open on `descriptor`.
bool namesOpenFile(const char* path, int descriptor)
{
    struct stat named;
    struct stat opened;
    return stat(path, &named) == 0 && fstat(descriptor, &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

// ".<target>.sheetpak-XXXXXX" for one of `targets`.
bool isTemporaryOf(const char* name, const std::vector<std::string>& targets)
{
    static constexpr char kMark[] = ".sheetpak-";
    constexpr std::size_t kMarkLength = sizeof kMark - 1;
    constexpr std::size_t kSuffixLength = 6;
    const std::size_t length = std::strlen(name);
    if (name[0] != '.' || length < 1 + kMarkLength + kSuffixLength) {
        return false;
    }
    const std::size_t targetLength = length - 1 - kMarkLength - kSuffixLength;
    if (std::memcmp(name + 1 + targetLength, kMark, kMarkLength) != 0) {
        return false;
    }
    for (const std::string& target : targets) {
        if (target.size() == targetLength && std::memcmp(name + 1, target.data(), targetLength) == 0) {
            return true;
        }
    }
    return false;
}

// Removes from `folder` the temporary files of `targets` that no live run holds.
void removeLeftoversIn(const fs::path& folder, const std::vector<std::string>& targets)
{
    // A folder this run holds alone keeps every other run from making
    // temporary files there; one it holds shared, only removals.
    const int held = heldFolderSlot(folder);
    if (held >= 0 && !gHeldFolders[held].exclusive) {
        return;  // others may be making temporary files here: another time
    }
    const int folderLock = held >= 0 ? openFolder(folder) : lockFolderForTemporaries(folder, LOCK_EX | LOCK_NB);
    if (folderLock < 0) {
        return;  // a run is creating a temporary file here: another time
    }
    const int listing = dup(folderLock);
    DIR* entries = listing < 0 ? nullptr : fdopendir(listing);
    if (entries == nullptr && listing >= 0) {
        close(listing);
    }
    while (entries != nullptr) {
        const dirent* entry = readdir(entries);
        if (entry == nullptr) {
            break;
        }
        if (!isTemporaryOf(entry->d_name, targets)) {
            continue;
        }
        const int descriptor = openat(folderLock, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) {
            continue;
        }
        struct stat info;
        if (fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
            static_cast<void>(unlinkat(folderLock, entry->d_name, 0));
        }
        close(descriptor);
    }
    if (entries != nullptr) {
        closedir(entries);
    }
    close(folderLock);
}

// Reads or writes (`call`: pread or pwrite) exactly `length` bytes at
// `position`, piece after piece as the system takes them.
template <typename Byte, typename Call>
bool transferAt(int descriptor, std::uint64_t position, Byte* bytes, std::uint64_t length, Call call)
{
    while (length > 0) {
        const ssize_t done = call(descriptor, bytes, static_cast<std::size_t>(length), static_cast<off_t>(position));
        if (done <= 0) {
            if (done < 0 && errno == EINTR) {
                continue;
            }
            if (done < 0) {
                noteErrno(errno);
            }
            return false;
        }
        position += static_cast<std::uint64_t>(done);
        bytes += done;
        length -= static_cast<std::uint64_t>(done);
    }
    return true;
}

// ---- Stop signals ----

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t stopSignalSet()
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kStopSignals) {
        sigaddset(&set, signal);
    }
    return set;
}

// The live temporary files of the run: each slot null or a path this registry
// owns. Read by the signal handler, which only loads the slots and unlinks.
constexpr std::size_t kTemporarySlots = 1024;
std::atomic<char*> gTemporaryPaths[kTemporarySlots];
static_assert(std::atomic<char*>::is_always_lock_free, "the handler reads the registry");

// Holds of stop signals on this thread, and the mask before the first.
thread_local int tStopHolds = 0;
thread_local sigset_t tMaskBeforeHold;

// Enters `path` in the registry (the caller holds stop signals). A full
// registry leaves it to the next run's removal of leftovers.
void rememberTemporary(const std::string& path)
{
    char* copy = new (std::nothrow) char[path.size() + 1];
    if (copy == nullptr) {
        return;
    }
    std::memcpy(copy, path.c_str(), path.size() + 1);
    for (std::atomic<char*>& slot : gTemporaryPaths) {
        char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, copy)) {
            return;
        }
    }
    delete[] copy;
}

void forgetTemporary(const std::string& path)
{
    for (std::atomic<char*>& slot : gTemporaryPaths) {
        char* held = slot.load();
        if (held != nullptr && path == held && slot.compare_exchange_strong(held, nullptr)) {
            delete[] held;
            return;
        }
    }
}

// Outside any commit (the signals are blocked in one): removes the run's
// temporary files, then ends the process as the signal would have.
extern "C" void endRunOnStopSignal(int signal)
{
    for (std::atomic<char*>& slot : gTemporaryPaths) {
        const char* path = slot.load();
        if (path != nullptr) {
            static_cast<void>(unlink(path));
        }
    }
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    raise(signal);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, signal);
    sigprocmask(SIG_UNBLOCK, &just, nullptr);  // delivered here: the process ends
    _exit(128 + signal);
}

}  // namespace

void letWritesFailPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

void letStopSignalsWaitForCommits()
{
    for (const int signal : kStopSignals) {
        struct sigaction before {};
        if (sigaction(signal, nullptr, &before) != 0 || before.sa_handler == SIG_IGN) {
            continue;  // ignored by whoever started the run (nohup, a background job): stays so
        }
        struct sigaction handler {};
        handler.sa_handler = endRunOnStopSignal;
        handler.sa_mask = stopSignalSet();
        handler.sa_flags = 0;
        sigaction(signal, &handler, nullptr);
    }
}

void holdStopSignals()
{
    if (tStopHolds++ == 0) {
        const sigset_t set = stopSignalSet();
        pthread_sigmask(SIG_BLOCK, &set, &tMaskBeforeHold);
    }
}

void releaseStopSignals()
{
    if (--tStopHolds == 0) {
        // A signal that came meanwhile is delivered here.
        pthread_sigmask(SIG_SETMASK, &tMaskBeforeHold, nullptr);
    }
}

bool identityOfOpenFile(std::FILE* file, FileIdentity& identity)
{
    struct stat info;
    if (fstat(fileno(file), &info) != 0) {
        return false;
    }
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}

bool identityOfPath(const fs::path& path, bool throughLinks, FileIdentity& identity)
{
    struct stat info;
    if ((throughLinks ? stat(path.c_str(), &info) : lstat(path.c_str(), &info)) != 0) {
        return false;
    }
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return true;
}

bool createJournal(const fs::path& path, const TargetState& before, JournalFile& journal)
{
    // Readable as the file is, so that whoever may restore it may read it.
    const mode_t mode = before.exists ? static_cast<mode_t>(before.mode & 0666) | S_IRUSR | S_IWUSR : 0600;
    const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0) {
        noteErrno(errno);
        return false;
    }
    // Held until it is removed: no other run takes a live journal.
    static_cast<void>(flock(descriptor, LOCK_EX | LOCK_NB));
    journal.file = fdopen(descriptor, "r+b");
    if (journal.file == nullptr) {
        unlink(path.c_str());
        close(descriptor);
        return false;
    }
    journal.path = path;
    return true;
}

bool openJournal(const fs::path& path, JournalFile& journal)
{
    const int descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    struct stat info;
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(descriptor);
        return false;
    }
    journal.file = fdopen(descriptor, "rb");
    if (journal.file == nullptr) {
        close(descriptor);
        return false;
    }
    journal.path = path;
    return true;
}

LockTry tryLockJournal(JournalFile& journal)
{
    return tryFlock(fileno(journal.file), LOCK_EX);
}

bool removeJournal(JournalFile& journal)
{
    const bool removed = unlink(journal.path.c_str()) == 0;
    closeJournal(journal);
    return removed;
}

void closeJournal(JournalFile& journal)
{
    if (journal.file != nullptr) {
        std::fclose(journal.file);
        journal.file = nullptr;
    }
}

void syncFolder(const fs::path& folder)
{
    const int descriptor = openFolder(folder);
    if (descriptor >= 0) {
        static_cast<void>(fsync(descriptor));
        close(descriptor);
    }
}

bool lockFolderAgainstRuns(const fs::path& folder, FileLock lock, LockWait& wait, std::intptr_t& handle)
{
    // Held already by this run (one run takes one such lock: nested holds
    // only count).
    const int held = heldFolderSlot(folder);
    if (held >= 0) {
        ++gHeldFolders[held].holds;
        handle = held;
        return true;
    }
    int slot = 0;
    while (slot < kHeldFolderSlots && gHeldFolders[slot].holds > 0) {
        ++slot;
    }
    const int descriptor = openFolder(folder);
    struct stat info;
    if (slot == kHeldFolderSlots || descriptor < 0 || fstat(descriptor, &info) != 0 ||
        flockWaiting(descriptor, lock == FileLock::Exclusive ? LOCK_EX : LOCK_SH, wait) != LockTry::Granted) {
        if (descriptor >= 0) {
            close(descriptor);
        }
        return false;
    }
    gHeldFolders[slot] = {info.st_dev, info.st_ino, lock == FileLock::Exclusive, descriptor, 1};
    handle = slot;
    return true;
}

void unlockFolderAgainstRuns(std::intptr_t handle)
{
    if (handle < 0 || handle >= kHeldFolderSlots) {
        return;
    }
    HeldFolder& held = gHeldFolders[handle];
    if (held.holds > 0 && --held.holds == 0) {
        close(held.descriptor);
        held = HeldFolder{};
    }
}

bool seekFile(std::FILE* file, std::int64_t offset, int origin)
{
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
}

std::int64_t tellFile(std::FILE* file)
{
    return ftello(file);
}

std::FILE* openRegularFile(const char* path, const char* mode, bool throughLinks)
{
    const bool update = std::strchr(mode, '+') != nullptr;
    // Non-blocking, so that a named pipe without a writer cannot hold the
    // open; the mode is cleared again once the file is known to be regular.
    // Not passed on to programs this process starts: a lock must end with the run.
    const int descriptor = open(path, (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                                          (throughLinks ? 0 : O_NOFOLLOW));
    if (descriptor < 0) {
        noteErrno(errno);
        return nullptr;
    }
    struct stat info;
    const int flags = fcntl(descriptor, F_GETFL);
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        if (S_ISDIR(info.st_mode)) {
            noteErrno(EISDIR);
        }
        close(descriptor);
        return nullptr;
    }
    std::FILE* file = fdopen(descriptor, mode);
    if (file == nullptr) {
        close(descriptor);
    }
    return file;
}

bool truncateFile(std::FILE* file, std::uint64_t size)
{
    if (ftruncate(fileno(file), static_cast<off_t>(size)) != 0) {
        noteErrno(errno);
        return false;
    }
    return true;
}

bool syncFile(std::FILE* file)
{
    if (fsync(fileno(file)) != 0) {
        noteErrno(errno);
        return false;
    }
    return true;
}

bool readAt(std::FILE* file, std::uint64_t position, std::uint8_t* bytes, std::uint64_t length)
{
    return transferAt(fileno(file), position, bytes, length,
                      [](int descriptor, std::uint8_t* at, std::size_t size, off_t offset) {
                          return pread(descriptor, at, size, offset);
                      });
}

bool writeAt(std::FILE* file, std::uint64_t position, const std::uint8_t* bytes, std::uint64_t length)
{
    return transferAt(fileno(file), position, bytes, length,
                      [](int descriptor, const std::uint8_t* at, std::size_t size, off_t offset) {
                          return pwrite(descriptor, at, size, offset);
                      });
}

bool inspectTarget(const fs::path& target, TargetState& state)
{
    state = TargetState{};
    struct stat info;
    if (stat(target.c_str(), &info) != 0) {
        return errno == ENOENT;
    }
    state.exists = true;
    state.regular = S_ISREG(info.st_mode);
    state.links = info.st_nlink;
    state.mode = info.st_mode & 07777;
    state.owner = info.st_uid;
    state.group = info.st_gid;
    return true;
}

void holdFolder(FolderHold& hold, const fs::path& folder)
{
    if (hold.held && hold.folder == folder) {
        return;
    }
    releaseFolder(hold);
    hold.folder = folder;
    hold.held = true;
    // A folder this run holds against other runs keeps their removals out
    // already; a lock of its own here would wait for that one.
    hold.descriptor = heldFolderSlot(folder) >= 0 ? -1 : lockFolderForTemporaries(folder, LOCK_SH);
}

void releaseFolder(FolderHold& hold)
{
    if (hold.descriptor >= 0) {
        close(hold.descriptor);
    }
    hold.descriptor = -1;
    hold.held = false;
}

bool createTemporary(const fs::path& target, const TargetState& before, Temporary& temporary)
{
    // The process's file mode mask, asked once (asking sets it).
    static const mode_t kMask = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return mask;
    }();
    static std::uint64_t serial = 0;
    static const std::uint64_t kProcess = static_cast<std::uint64_t>(getpid());
    static const uid_t kOwner = geteuid();
    static const gid_t kGroup = getegid();
    // The new file gets the old one's permission bits, owner and group; a new
    // name gets what creating it would have given. Failures are ignored: some
    // file systems keep no such bits, and only root may give a file away.
    const mode_t mode = before.exists ? static_cast<mode_t>(before.mode) : (0666 & ~kMask);
    const fs::path folder = target.parent_path();
    // Appended piece by piece: GCC 12 misreads "." + string at -O2 (-Wrestrict).
    std::string name(1, '.');
    name += target.filename().string();
    name += ".sheetpak-XXXXXX";
    if (!folder.empty()) {
        name = (folder / name).string();
    }
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // From its creation on the file is in the registry that a stop signal
    // empties: no signal comes in between.
    holdStopSignals();
    int descriptor = -1;
    for (int attempt = 0; attempt < 100 && descriptor < 0; ++attempt) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::uint64_t mix = (static_cast<std::uint64_t>(now.tv_nsec) << 20) ^ (kProcess << 8) ^
                            (++serial * 0x9E3779B97F4A7C15u);
        for (std::size_t k = name.size() - 6; k < name.size(); ++k) {
            name[k] = kLetters[mix % (sizeof kLetters - 1)];
            mix /= sizeof kLetters - 1;
        }
        descriptor = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (descriptor < 0 && errno != EEXIST) {
            break;
        }
    }
    if (descriptor < 0) {
        noteErrno(errno);
        releaseStopSignals();
        return false;
    }
    // Held until the file is renamed or removed: no other run's removal of
    // leftovers takes it meanwhile.
    static_cast<void>(flock(descriptor, LOCK_EX | LOCK_NB));
    temporary.path = std::move(name);
    if (before.exists && (before.owner != kOwner || before.group != kGroup)) {
        if (fchown(descriptor, static_cast<uid_t>(before.owner), static_cast<gid_t>(before.group)) != 0) {
            // Only root may give a file away: the run's own owner stays.
        }
    }
    if ((mode & kMask) != 0) {
        static_cast<void>(fchmod(descriptor, mode));  // the bits the mask took
    }
    temporary.file = fdopen(descriptor, "wb");
    if (temporary.file == nullptr) {
        std::remove(temporary.path.c_str());
        close(descriptor);
        releaseStopSignals();
        return false;
    }
    rememberTemporary(temporary.path);
    releaseStopSignals();
    return true;
}

bool flushTemporaries(Temporary* const* temporaries, std::uint32_t count)
{
#if defined(__linux__)
    // One flush for the whole batch: syncfs puts every written file of the
    // file system on the disk and reports a failed write-back (Linux 5.8 on).
    if (count > 1) {
        if (!fileStepMayRun(FileStep::Flush)) {
            return false;
        }
        if (syncfs(fileno(temporaries[0]->file)) != 0) {
            noteErrno(errno);
            return false;
        }
        return true;
    }
#endif
    for (std::uint32_t k = 0; k < count; ++k) {
        if (!flushToDisk(temporaries[k]->file)) {
            return false;
        }
    }
    return true;
}

bool renameTemporary(Temporary& temporary, const fs::path& target)
{
    if (std::rename(temporary.path.c_str(), target.c_str()) != 0) {
        noteErrno(errno);
        return false;
    }
    return true;
}

std::string systemErrorText(SystemError error)
{
    return error.code == 0 ? std::string() : std::string(std::strerror(error.code));
}

void syncAfterRename(Temporary& /*renamed*/, const fs::path& target)
{
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        static_cast<void>(fsync(descriptor));
        close(descriptor);
    }
}

void closeTemporary(Temporary& temporary)
{
    if (temporary.file != nullptr) {
        holdStopSignals();
        forgetTemporary(temporary.path);
        std::fclose(temporary.file);
        temporary.file = nullptr;
        releaseStopSignals();
    }
}

void discardTemporary(Temporary& temporary)
{
    // Removed while still locked, so that no removal of leftovers races it.
    holdStopSignals();
    std::remove(temporary.path.c_str());
    closeTemporary(temporary);
    releaseStopSignals();
}

PathLook lookAtPath(const char* path, bool throughLinks, const std::uint8_t* bytes, std::uint64_t length)
{
    PathLook look;
    struct stat info;
    const int descriptor =
        open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (throughLinks ? 0 : O_NOFOLLOW));
    if (descriptor < 0) {
        // What is there, unread: a link (not followed), or a file this process may not read.
        if ((throughLinks ? stat(path, &info) : lstat(path, &info)) != 0) {
            look.kind = errno == ENOENT || errno == ENOTDIR ? PathKind::Absent : PathKind::Other;
            return look;
        }
    } else if (fstat(descriptor, &info) != 0) {
        close(descriptor);
        look.kind = PathKind::Other;
        return look;
    }
    look.kind = S_ISLNK(info.st_mode) ? PathKind::SymbolicLink
                : S_ISREG(info.st_mode) ? PathKind::RegularFile
                                        : PathKind::Other;
    if (look.kind == PathKind::RegularFile) {
        look.size = static_cast<std::uint64_t>(info.st_size);
        look.writeBits = (info.st_mode & 0222) != 0;
        std::uint8_t chunk[0x4000];
        std::uint64_t at = 0;
        while (descriptor >= 0 && look.size == length && at < length) {
            const std::uint64_t piece = length - at < sizeof chunk ? length - at : sizeof chunk;
            const ssize_t got = pread(descriptor, chunk, static_cast<std::size_t>(piece), static_cast<off_t>(at));
            if (got != static_cast<ssize_t>(piece) || std::memcmp(chunk, bytes + at, static_cast<std::size_t>(piece)) != 0) {
                break;
            }
            at += piece;
        }
        look.holdsBytes = descriptor >= 0 && look.size == length && at == length;
    }
    if (descriptor >= 0) {
        close(descriptor);
    }
    return look;
}

bool mayOpenForWriting(const char* path)
{
    return access(path, W_OK) == 0;
}

std::FILE* openLockedFile(const char* path, const char* mode, FileLock lock, LockWaitNotice waiting)
{
    const int operation = lock == FileLock::Exclusive ? LOCK_EX : LOCK_SH;
    LockWait wait{path, waiting};
    for (;;) {
        std::FILE* file = openExistingFile(path, mode);
        if (file == nullptr) {
            return nullptr;
        }
        const int descriptor = fileno(file);
        if (flockWaiting(descriptor, operation, wait) == LockTry::NoLocks) {
            return file;  // no locks on this file system
        }
        if (namesOpenFile(path, descriptor)) {
            return file;
        }
        // Replaced while this run waited: start again on the file there now.
        std::fclose(file);
    }
}

void removeLeftoverTemporaries(const char* const* paths, std::uint32_t count, bool throughLinks)
{
    std::vector<fs::path> folders;
    std::vector<std::vector<std::string>> names;
    for (std::uint32_t k = 0; k < count; ++k) {
        std::error_code error;
        fs::path target = fs::path(paths[k]);
        if (throughLinks && fs::is_symlink(target, error)) {
            target = fs::canonical(target, error);
            if (error) {
                continue;
            }
        }
        const fs::path folder = target.parent_path();
        std::size_t at = 0;
        while (at < folders.size() && folders[at] != folder) {
            ++at;
        }
        if (at == folders.size()) {
            folders.push_back(folder);
            names.emplace_back();
        }
        names[at].push_back(target.filename().string());
    }
    for (std::size_t at = 0; at < folders.size(); ++at) {
        removeLeftoversIn(folders[at], names[at]);
    }
}
