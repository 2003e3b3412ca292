// The file seam on Windows.

#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "platform/file_io_system.h"

namespace fs = std::filesystem;

namespace {

// The byte the run locks: far past any data, so that the lock never stands
// in the way of reads and writes (Windows locks bar them on the bytes locked).
constexpr DWORD kLockOffsetHigh = 0x40000000;

// FileRenameInfoEx of the SDK's FILE_INFO_BY_HANDLE_CLASS (Windows 10 1709 on)
// and its flags, named here for the older headers.
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;

// How long a rename over a file waits for other runs to let go of it.
constexpr DWORD kRenameWaitMilliseconds = 3000;

void noteWindowsError(DWORD error)
{
    noteSystemError({static_cast<int>(error), true});
}

HANDLE handleOf(std::FILE* file)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
}

std::wstring widened(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
    wide.resize(static_cast<std::size_t>(size - 1));
    return wide;
}

// A file's identity: volume serial number and file index.
bool identityOf(HANDLE handle, FileIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
        return false;
    }
    identity = {info.dwVolumeSerialNumber,
                (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

bool identityOf(const std::string& path, FileIdentity& identity, bool throughLinks = true)
{
    const HANDLE handle =
        CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | (throughLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    const bool known = identityOf(handle, identity);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    return known;
}

// The descriptors of the files this process holds locked: a rename over one
// of them, where Windows cannot rename over an open file, lets it go first.
constexpr int kLockedSlots = 8;
int gLockedDescriptors[kLockedSlots] = {-1, -1, -1, -1, -1, -1, -1, -1};

void rememberLocked(std::FILE* file)
{
    static int next = 0;
    gLockedDescriptors[next] = _fileno(file);
    next = (next + 1) % kLockedSlots;
}

// Points every descriptor of this process that still holds `target` at the
// null device: the handle, and with it the lock, goes; the streams stay valid.
void letGoOfLockedFile(const fs::path& target)
{
    FileIdentity wanted;
    if (!identityOf(target.string(), wanted)) {
        return;
    }
    for (int& descriptor : gLockedDescriptors) {
        FileIdentity held;
        if (descriptor < 0 || !identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)), held) ||
            !(held == wanted)) {
            continue;
        }
        const int nothing = _open("NUL", _O_RDWR | _O_BINARY);
        if (nothing >= 0) {
            _dup2(nothing, descriptor);
            _close(nothing);
        }
        descriptor = -1;
    }
}

bool lockHandle(HANDLE handle, FileLock lock, bool wait, DWORD& error)
{
    OVERLAPPED place{};
    place.OffsetHigh = kLockOffsetHigh;
    const DWORD flags = (lock == FileLock::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (LockFileEx(handle, flags, 0, 1, 0, &place)) {
        return true;
    }
    error = GetLastError();
    return false;
}

bool setDeleteOnClose(HANDLE handle)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// One try at `lock` on the handle, without waiting.
LockTry tryLockHandle(HANDLE handle, FileLock lock)
{
    DWORD error = 0;
    if (lockHandle(handle, lock, false, error)) {
        return LockTry::Granted;
    }
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockTry::Busy : LockTry::NoLocks;
}

// ---- Stop events of the console ----

// The exit status of a process that Ctrl-C ends (STATUS_CONTROL_C_EXIT).
constexpr UINT kStoppedExitStatus = 0xC000013A;

// The live temporary files of the run, by handle (opened with DELETE access):
// the console handler marks them for deletion, and they go when the process
// ends. Read by that handler's thread without locks.
constexpr std::size_t kTemporarySlots = 1024;
std::atomic<HANDLE> gTemporaryHandles[kTemporarySlots];

// Held by a commit (and each change to the registry) on the main thread: the
// handler waits for it, and once it has it no commit can begin.
CRITICAL_SECTION gCommitSection;
std::atomic<bool> gStopHandlerInstalled{false};
thread_local int tStopHolds = 0;
thread_local bool tInSection = false;

void rememberTemporary(HANDLE handle)
{
    for (std::atomic<HANDLE>& slot : gTemporaryHandles) {
        HANDLE empty = nullptr;
        if (slot.compare_exchange_strong(empty, handle)) {
            return;
        }
    }
}

void forgetTemporary(HANDLE handle)
{
    for (std::atomic<HANDLE>& slot : gTemporaryHandles) {
        HANDLE held = handle;
        if (slot.compare_exchange_strong(held, nullptr)) {
            return;
        }
    }
}

// Runs on a thread of its own: waits for the commit under way, removes the
// run's temporary files and ends the process as Ctrl-C would.
BOOL WINAPI endRunOnConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    EnterCriticalSection(&gCommitSection);
    for (std::atomic<HANDLE>& slot : gTemporaryHandles) {
        const HANDLE handle = slot.load();
        if (handle != nullptr) {
            setDeleteOnClose(handle);
        }
    }
    TerminateProcess(GetCurrentProcess(), kStoppedExitStatus);
    return TRUE;
}

// The hidden file in a folder that stands for the folder's lock.
constexpr char kFolderLockName[] = ".sheetpak-lock";

// How long an open of a lock file that is still being deleted is retried
// before the folder counts as one that takes no lock file.
constexpr ULONGLONG kDeletePendingMilliseconds = 2000;

// ".<target>.sheetpak-*" in the folder of `target`, as a search pattern and
// the folder prefix of the names found.
std::string temporaryPattern(const fs::path& target, std::string& folderPrefix)
{
    const fs::path folder = target.parent_path();
    folderPrefix = folder.empty() ? std::string() : folder.string() + "\\";
    return folderPrefix + "." + target.filename().string() + ".sheetpak-*";
}

// Calls `visit(path)` for each temporary file of `target` until it returns true.
template <typename Visit>
bool anyTemporaryOf(const fs::path& target, Visit visit)
{
    std::string prefix;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(temporaryPattern(target, prefix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool stopped = false;
    do {
        const std::size_t length = std::strlen(found.cFileName);
        const std::size_t markEnd = target.filename().string().size() + 1 + std::strlen(".sheetpak-");
        if (length == markEnd + 6 && (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            stopped = visit(prefix + found.cFileName);
        }
    } while (!stopped && FindNextFileA(search, &found));
    FindClose(search);
    return stopped;
}

// Whether another run is renaming a new file over `target` right now: its
// temporary file is there and open (no one may delete it while it is).
bool replacementUnderWay(const char* path)
{
    std::error_code error;
    fs::path target = fs::path(path);
    if (fs::is_symlink(target, error)) {
        target = fs::canonical(target, error);
    }
    return anyTemporaryOf(target, [](const std::string& name) {
        const HANDLE probe = CreateFileA(name.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (probe == INVALID_HANDLE_VALUE) {
            return GetLastError() == ERROR_SHARING_VIOLATION;
        }
        CloseHandle(probe);
        return false;
    });
}

bool renameHandle(HANDLE handle, const std::wstring& fullTarget, FILE_INFO_BY_HANDLE_CLASS kind, DWORD flags)
{
    const std::size_t nameBytes = fullTarget.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    if (kind == FileRenameInfo) {
        info->ReplaceIfExists = TRUE;
    } else {
        std::memcpy(buffer.data(), &flags, sizeof flags);
    }
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, fullTarget.c_str(), nameBytes);
    return SetFileInformationByHandle(handle, kind, info, static_cast<DWORD>(buffer.size())) != 0;
}

// Reads or writes (`call`: ReadFile or WriteFile) exactly `length` bytes at
// `position`, which the OVERLAPPED record carries, piece after piece.
template <typename Byte, typename Call>
bool transferAt(HANDLE handle, std::uint64_t position, Byte* bytes, std::uint64_t length, Call call)
{
    while (length > 0) {
        OVERLAPPED place{};
        place.Offset = static_cast<DWORD>(position);
        place.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD wanted = static_cast<DWORD>(length < 0x40000000 ? length : 0x40000000);
        DWORD done = 0;
        if (!call(handle, bytes, wanted, &done, &place)) {
            noteWindowsError(GetLastError());
            return false;
        }
        if (done == 0) {
            return false;
        }
        position += done;
        bytes += done;
        length -= done;
    }
    return true;
}

}  // namespace

void letWritesFailPastSizeLimit()
{
    // No signal ends a process for a write past a size limit on Windows.
}

void letStopSignalsWaitForCommits()
{
    if (gStopHandlerInstalled.load()) {
        return;
    }
    InitializeCriticalSection(&gCommitSection);
    gStopHandlerInstalled.store(true);
    SetConsoleCtrlHandler(endRunOnConsoleEvent, TRUE);
}

void holdStopSignals()
{
    if (tStopHolds++ == 0 && gStopHandlerInstalled.load()) {
        EnterCriticalSection(&gCommitSection);
        tInSection = true;
    }
}

void releaseStopSignals()
{
    if (--tStopHolds == 0 && tInSection) {
        tInSection = false;
        LeaveCriticalSection(&gCommitSection);
    }
}

bool identityOfOpenFile(std::FILE* file, FileIdentity& identity)
{
    return identityOf(handleOf(file), identity);
}

bool identityOfPath(const fs::path& path, bool throughLinks, FileIdentity& identity)
{
    return identityOf(path.string(), identity, throughLinks);
}

// The stream of a handle opened for reading (and writing, when `writable`);
// null (the handle closed) when none can be had.
std::FILE* streamOf(HANDLE handle, bool writable = true)
{
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), (writable ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, writable ? "r+b" : "rb");
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
}

bool createJournal(const fs::path& path, const TargetState& /*before*/, JournalFile& journal)
{
    // Shared for reading, writing and deleting, so that a later run may open,
    // lock and remove it; guarded from its creation by this run's lock.
    const HANDLE handle = CreateFileA(path.string().c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD error = 0;
    static_cast<void>(lockHandle(handle, FileLock::Exclusive, false, error));
    journal.file = streamOf(handle);
    if (journal.file == nullptr) {
        DeleteFileA(path.string().c_str());
        return false;
    }
    journal.path = path;
    return true;
}

bool openJournal(const fs::path& path, JournalFile& journal)
{
    // To be removed once settled; a run that may not remove it still reads
    // it, so that it never takes a half-written file for a whole one.
    bool writable = true;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (const DWORD access : {GENERIC_READ | GENERIC_WRITE | DELETE, DWORD{GENERIC_READ}}) {
        handle = CreateFileA(path.string().c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) {
            break;
        }
        writable = false;
    }
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        CloseHandle(handle);
        return false;
    }
    journal.file = streamOf(handle, writable);
    journal.path = path;
    return journal.file != nullptr;
}

LockTry tryLockJournal(JournalFile& journal)
{
    return tryLockHandle(handleOf(journal.file), FileLock::Exclusive);
}

bool removeJournal(JournalFile& journal)
{
    // Through its own handle, which holds it: gone when the last handle is.
    const bool removed = journal.file != nullptr && setDeleteOnClose(handleOf(journal.file));
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

void syncFolder(const fs::path& /*folder*/)
{
    // NTFS logs the creation and removal of a file with its flush.
}

bool lockFolderAgainstRuns(const fs::path& folder, FileLock lock, LockWait& wait, std::intptr_t& handle)
{
    // A folder cannot be locked on Windows: its hidden lock file is, opened
    // by every run with delete sharing and deleted when the last handle goes.
    // While that file is deleted, opens of its name fail; a new one can be
    // made only once no handle of the old one is left, so two runs never
    // hold locks on two different files. After its lock is granted, a run
    // checks that the name still opens its file (else it tries again).
    const std::string path = (folder.empty() ? fs::path(kFolderLockName) : folder / kFolderLockName).string();
    ULONGLONG deniedSince = 0;
    for (;;) {
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            // Access is denied to a lock file being deleted (its last holders
            // letting go): soon over. Anything else, or nothing there, is a
            // folder that takes no lock file: the run goes on without.
            const ULONGLONG now = GetTickCount64();
            deniedSince = deniedSince == 0 ? now : deniedSince;
            const bool denied = GetLastError() == ERROR_ACCESS_DENIED;
            const bool there = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ||
                               GetLastError() == ERROR_ACCESS_DENIED;
            if (!denied || !there || now - deniedSince > kDeletePendingMilliseconds) {
                return false;
            }
            waitBeforeRetry(wait);
            continue;
        }
        deniedSince = 0;
        LockTry result = LockTry::Busy;
        while ((result = tryLockHandle(file, lock)) == LockTry::Busy) {
            waitBeforeRetry(wait);
        }
        FileIdentity locked;
        FileIdentity named;
        if (result == LockTry::NoLocks) {
            CloseHandle(file);
            return false;
        }
        if (identityOf(file, locked) && identityOf(path, named) && locked == named) {
            handle = reinterpret_cast<std::intptr_t>(file);
            return true;
        }
        CloseHandle(file);  // a lock file on its way out: the one after it counts
        waitBeforeRetry(wait);
    }
}

void unlockFolderAgainstRuns(std::intptr_t handle)
{
    if (handle != -1 && handle != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
}

bool seekFile(std::FILE* file, std::int64_t offset, int origin)
{
    return _fseeki64(file, offset, origin) == 0;
}

std::int64_t tellFile(std::FILE* file)
{
    return _ftelli64(file);
}

std::FILE* openRegularFile(const char* path, const char* mode, bool throughLinks)
{
    std::error_code error;
    if ((!throughLinks && isSymbolicLink(path)) || !fs::is_regular_file(path, error)) {
        if (error) {
            noteWindowsError(static_cast<DWORD>(error.value()));
        } else if (fs::is_directory(path, error)) {
            noteErrno(EISDIR);
        } else if (!fs::exists(path, error)) {
            noteErrno(ENOENT);
        }
        return nullptr;
    }
    const bool update = std::strchr(mode, '+') != nullptr;
    // Shared for deleting too, so that a run may rename a new file over this
    // one while it is held open.
    const HANDLE handle = CreateFileA(path, GENERIC_READ | (update ? GENERIC_WRITE : 0),
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL | (throughLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        noteWindowsError(GetLastError());
        return nullptr;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), (update ? _O_RDWR : _O_RDONLY) | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(descriptor, mode);
    if (file == nullptr) {
        _close(descriptor);
    }
    return file;
}

bool truncateFile(std::FILE* file, std::uint64_t size)
{
    const errno_t failed = _chsize_s(_fileno(file), static_cast<__int64>(size));
    if (failed != 0) {
        noteErrno(failed);
        return false;
    }
    return true;
}

bool syncFile(std::FILE* file)
{
    const HANDLE handle = handleOf(file);
    if (handle == INVALID_HANDLE_VALUE || FlushFileBuffers(handle) == 0) {
        noteWindowsError(GetLastError());
        return false;
    }
    return true;
}

bool readAt(std::FILE* file, std::uint64_t position, std::uint8_t* bytes, std::uint64_t length)
{
    return transferAt(handleOf(file), position, bytes, length,
                      [](HANDLE handle, std::uint8_t* at, DWORD size, DWORD* done, OVERLAPPED* place) {
                          return ReadFile(handle, at, size, done, place);
                      });
}

bool writeAt(std::FILE* file, std::uint64_t position, const std::uint8_t* bytes, std::uint64_t length)
{
    return transferAt(handleOf(file), position, bytes, length,
                      [](HANDLE handle, const std::uint8_t* at, DWORD size, DWORD* done, OVERLAPPED* place) {
                          return WriteFile(handle, at, size, done, place);
                      });
}

bool inspectTarget(const fs::path& target, TargetState& state)
{
    state = TargetState{};
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (!fs::exists(status)) {
        return !error || error == std::errc::no_such_file_or_directory;
    }
    state.exists = true;
    state.regular = fs::is_regular_file(status);
    const std::uintmax_t links = fs::hard_link_count(target, error);
    state.links = error ? 1 : links;
    return true;
}

void holdFolder(FolderHold& hold, const fs::path& folder)
{
    // A temporary file is guarded by its own sharing from its creation on.
    hold.folder = folder;
    hold.held = true;
}

void releaseFolder(FolderHold& hold)
{
    hold.held = false;
}

bool createTemporary(const fs::path& target, const TargetState& /*before*/, Temporary& temporary)
{
    std::string prefix;
    std::string name = temporaryPattern(target, prefix);
    name.pop_back();  // the '*'
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[7];
        std::snprintf(suffix, sizeof suffix, "%06X",
                      static_cast<unsigned>((GetCurrentProcessId() * 7919u + GetTickCount() + ++serial) & 0xFFFFFF));
        const std::string candidate = name + suffix;
        // Not shared for deleting: no other run removes it while it is open.
        // In the registry from its creation on: no stop event comes between.
        holdStopSignals();
        const HANDLE handle = CreateFileA(candidate.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            releaseStopSignals();
            if (error == ERROR_FILE_EXISTS) {
                continue;
            }
            noteWindowsError(error);
            return false;
        }
        const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        temporary.file = descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
        if (temporary.file == nullptr) {
            setDeleteOnClose(handle);
            if (descriptor >= 0) {
                _close(descriptor);
            } else {
                CloseHandle(handle);
            }
            releaseStopSignals();
            return false;
        }
        temporary.path = candidate;
        rememberTemporary(handle);
        releaseStopSignals();
        return true;
    }
    return false;
}

bool flushTemporaries(Temporary* const* temporaries, std::uint32_t count)
{
    for (std::uint32_t k = 0; k < count; ++k) {
        if (!flushToDisk(temporaries[k]->file)) {
            return false;
        }
    }
    return true;
}

bool renameTemporary(Temporary& temporary, const fs::path& target)
{
    const HANDLE handle = handleOf(temporary.file);
    const std::wstring relative = widened(target.string());
    std::wstring full(MAX_PATH, L'\0');
    DWORD size = GetFullPathNameW(relative.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (size >= full.size()) {
        full.resize(size);
        size = GetFullPathNameW(relative.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (size == 0 || size >= full.size()) {
        return false;
    }
    full.resize(size);
    // POSIX semantics replace a file that other handles hold open (those
    // that share deleting), the lock of this run's own handle included.
    if (renameHandle(handle, full, kFileRenameInfoEx, kRenameReplaceIfExists | kRenamePosixSemantics)) {
        return true;
    }
    // Without them no handle may be open on the old file: this process lets
    // go of its own, and other runs step back while they see this temporary
    // file (see openLockedFile), so the rename goes through within moments.
    letGoOfLockedFile(target);
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (renameHandle(handle, full, FileRenameInfo, 0)) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            GetTickCount64() - start > kRenameWaitMilliseconds) {
            noteWindowsError(error);
            return false;
        }
        Sleep(5);
    }
}

void syncAfterRename(Temporary& renamed, const fs::path& /*target*/)
{
    // Flushing the renamed file puts the rename on the disk with it (NTFS logs both).
    static_cast<void>(FlushFileBuffers(handleOf(renamed.file)));
}

void closeTemporary(Temporary& temporary)
{
    if (temporary.file != nullptr) {
        holdStopSignals();
        forgetTemporary(handleOf(temporary.file));
        std::fclose(temporary.file);
        temporary.file = nullptr;
        releaseStopSignals();
    }
}

void discardTemporary(Temporary& temporary)
{
    // Through its own handle: nobody else may delete it while it is open.
    if (temporary.file != nullptr) {
        setDeleteOnClose(handleOf(temporary.file));
    }
    closeTemporary(temporary);
}

PathLook lookAtPath(const char* path, bool throughLinks, const std::uint8_t* bytes, std::uint64_t length)
{
    PathLook look;
    std::error_code error;
    const fs::file_status own = fs::symlink_status(path, error);
    if (!fs::exists(own)) {
        look.kind = !error || error == std::errc::no_such_file_or_directory ? PathKind::Absent : PathKind::Other;
        return look;
    }
    if (fs::is_symlink(own) && !throughLinks) {
        look.kind = PathKind::SymbolicLink;
        return look;
    }
    const fs::file_status status = fs::is_symlink(own) ? fs::status(path, error) : own;
    if (!fs::exists(status)) {
        return look;
    }
    if (!fs::is_regular_file(status)) {
        look.kind = PathKind::Other;
        return look;
    }
    look.kind = PathKind::RegularFile;
    look.writeBits = (status.permissions() & fs::perms::owner_write) != fs::perms::none;
    const HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        look.size = fs::file_size(path, error);
        return look;
    }
    LARGE_INTEGER size{};
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileSizeEx(handle, &size)) {
        look.size = static_cast<std::uint64_t>(size.QuadPart);
        std::uint8_t chunk[0x4000];
        std::uint64_t at = 0;
        while (look.size == length && at < length) {
            const DWORD piece = static_cast<DWORD>(length - at < sizeof chunk ? length - at : sizeof chunk);
            DWORD got = 0;
            if (!ReadFile(handle, chunk, piece, &got, nullptr) || got != piece ||
                std::memcmp(chunk, bytes + at, piece) != 0) {
                break;
            }
            at += piece;
        }
        look.holdsBytes = look.size == length && at == length;
    }
    CloseHandle(handle);
    return look;
}

bool mayOpenForWriting(const char* path)
{
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::FILE* openLockedFile(const char* path, const char* mode, FileLock lock, LockWaitNotice waiting)
{
    LockWait wait{path, waiting};
    for (;;) {
        std::FILE* file = openExistingFile(path, mode);
        if (file == nullptr) {
            return nullptr;
        }
        const HANDLE handle = handleOf(file);
        LockTry result = LockTry::Busy;
        while ((result = tryLockHandle(handle, lock)) == LockTry::Busy) {
            waitBeforeRetry(wait);
        }
        if (result == LockTry::NoLocks) {
            return file;  // no locks on this file system
        }
        // A run before this one may be renaming a new file over this one:
        // step back until it has, then take the file the path names.
        if (replacementUnderWay(path)) {
            std::fclose(file);
            waitBeforeRetry(wait);
            continue;
        }
        FileIdentity locked;
        FileIdentity named;
        if (identityOf(handle, locked) && identityOf(std::string(path), named) && locked == named) {
            rememberLocked(file);
            return file;
        }
        std::fclose(file);
    }
}

void removeLeftoverTemporaries(const char* const* paths, std::uint32_t count, bool throughLinks)
{
    for (std::uint32_t k = 0; k < count; ++k) {
        std::error_code error;
        fs::path target = fs::path(paths[k]);
        if (throughLinks && fs::is_symlink(target, error)) {
            target = fs::canonical(target, error);
            if (error) {
                continue;
            }
        }
        anyTemporaryOf(target, [](const std::string& name) {
            // Live temporary files refuse this open (not shared for deleting)
            // or hold their lock; only what neither guards is removed.
            const HANDLE candidate =
                CreateFileA(name.c_str(), DELETE | GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
            if (candidate == INVALID_HANDLE_VALUE) {
                return false;
            }
            DWORD lockError = 0;
            if (lockHandle(candidate, FileLock::Exclusive, false, lockError)) {
                setDeleteOnClose(candidate);
            }
            CloseHandle(candidate);
            return false;
        });
    }
}

std::string systemErrorText(SystemError error)
{
    if (error.code == 0) {
        return std::string();
    }
    if (!error.windows) {
        return std::strerror(error.code);
    }
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        static_cast<DWORD>(error.code), 0, text, sizeof text, nullptr);
    std::string said(text, length);
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' ' || said.back() == '.')) {
        said.pop_back();
    }
    return said.empty() ? "system error " + std::to_string(error.code) : said;
}
