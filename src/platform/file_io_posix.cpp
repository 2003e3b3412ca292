// The file seam on POSIX systems.

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/file_fault.h"
#include "platform/file_io.h"
#include "platform/file_io_system.h"

namespace fs = std::filesystem;

namespace {

// The lock on a folder that orders the creation of temporary files against
// the removal of leftovers: a run holds it shared from creating a temporary
// file until it has locked that file, and removeLeftoverTemporaries holds it
// exclusively while it looks. -1 when the folder cannot be opened or locked;
// then no removal can lock it either.
int lockFolder(const fs::path& folder, int operation)
{
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return -1;
    }
    while (flock(descriptor, operation) != 0) {
        if (errno != EINTR) {
            close(descriptor);
            return -1;
        }
    }
    return descriptor;
}

// Waits for `lock` on the open descriptor. False only when the file system
// keeps no such locks.
bool lockDescriptor(int descriptor, int operation)
{
    while (flock(descriptor, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
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
    const int folderLock = lockFolder(folder, LOCK_EX | LOCK_NB);
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
            return false;
        }
        position += static_cast<std::uint64_t>(done);
        bytes += done;
        length -= static_cast<std::uint64_t>(done);
    }
    return true;
}

}  // namespace

void letWritesFailPastSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
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
        return nullptr;
    }
    struct stat info;
    const int flags = fcntl(descriptor, F_GETFL);
    if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) != 0) {
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
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
}

bool syncFile(std::FILE* file)
{
    return fsync(fileno(file)) == 0;
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
    hold.descriptor = lockFolder(folder, LOCK_SH);
    hold.held = true;
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
            return false;
        }
    }
    if (descriptor < 0) {
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
        return false;
    }
    return true;
}

bool flushTemporaries(Temporary* const* temporaries, std::uint32_t count)
{
#if defined(__linux__)
    // One flush for the whole batch: syncfs puts every written file of the
    // file system on the disk and reports a failed write-back (Linux 5.8 on).
    if (count > 1) {
        return fileStepMayRun(FileStep::Flush) && syncfs(fileno(temporaries[0]->file)) == 0;
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
    return std::rename(temporary.path.c_str(), target.c_str()) == 0;
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
        std::fclose(temporary.file);
        temporary.file = nullptr;
    }
}

void discardTemporary(Temporary& temporary)
{
    // Removed while still locked, so that no removal of leftovers races it.
    std::remove(temporary.path.c_str());
    closeTemporary(temporary);
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
    bool told = false;
    for (;;) {
        std::FILE* file = openExistingFile(path, mode);
        if (file == nullptr) {
            return nullptr;
        }
        const int descriptor = fileno(file);
        if (flock(descriptor, operation | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) {
                return file;  // no locks on this file system
            }
            if (!told && waiting != nullptr) {
                waiting(path);
                told = true;
            }
            if (!lockDescriptor(descriptor, operation)) {
                return file;
            }
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
