#include "platform/file_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#define SHEETPAK_FSEEK _fseeki64
#define SHEETPAK_FTELL _ftelli64
using FilePosition = __int64;
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#define SHEETPAK_FSEEK fseeko
#define SHEETPAK_FTELL ftello
using FilePosition = off_t;
#endif

namespace fs = std::filesystem;

namespace {

// ---- The test hook ----

FileFaultForTests gFault;
std::uint32_t gStepsCounted = 0;

// Counts one step of `kind`. False when the hook makes this step fail; does
// not return when it ends the process here.
bool stepMayRun(FileStep kind)
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
    return false;
}

// Largest piece written in one step: a fault or kill can land between pieces.
constexpr std::uint64_t kWritePiece = 0x40000;

// Equal bytes that still join two differing ranges into one write.
constexpr std::uint64_t kMergeGap = 64;

// Writes `from` over the ranges where it differs from `reference`, both
// `length` bytes long.
bool writeDifferences(std::FILE* file, const std::uint8_t* from, const std::uint8_t* reference,
                      std::uint64_t length)
{
    std::uint64_t at = 0;
    while (at < length) {
        if (from[at] == reference[at]) {
            ++at;
            continue;
        }
        std::uint64_t last = at;
        for (std::uint64_t next = at + 1; next < length && next - last <= kMergeGap; ++next) {
            if (from[next] != reference[next]) {
                last = next;
            }
        }
        if (!writeBytesAt(file, at, from + at, last + 1 - at)) {
            return false;
        }
        at = last + 1;
    }
    return true;
}

// Follows symbolic links from `path` to the name of the file itself. False
// for a loop of links or one that cannot be read.
bool resolveLinks(const char* path, fs::path& resolved)
{
    resolved = fs::path(path);
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        if (!fs::is_symlink(resolved, error)) {
            return true;
        }
        const fs::path link = fs::read_symlink(resolved, error);
        if (error) {
            return false;
        }
        resolved = link.is_absolute() ? link : resolved.parent_path() / link;
    }
    return false;
}

// A temporary file beside the target, open for writing, and what the target
// was before.
struct Temporary {
    std::string path;
    std::FILE* file = nullptr;
};

void discard(Temporary& temporary)
{
    if (temporary.file != nullptr) {
        std::fclose(temporary.file);
        temporary.file = nullptr;
    }
    std::remove(temporary.path.c_str());
}

std::string temporaryPattern(const fs::path& target)
{
    const fs::path folder = target.parent_path();
    // Appended piece by piece: GCC 12 misreads "." + string at -O2 (-Wrestrict).
    std::string name(1, '.');
    name += target.filename().string();
    name += ".sheetpak-XXXXXX";
    return folder.empty() ? name : (folder / name).string();
}

#if defined(_WIN32)

// Windows reports what kind of object an open handle is.
bool isDiskFile(std::FILE* file)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}

// What the target was before its replacement.
struct TargetInfo {
    bool exists = false;
};

// Replaced: the target is absent or a regular file with one name.
FileReplacement inspectTarget(const fs::path& target, TargetInfo& before)
{
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    before.exists = fs::exists(status);
    if (!before.exists) {
        return error && error != std::errc::no_such_file_or_directory ? FileReplacement::NotAFile
                                                                       : FileReplacement::Replaced;
    }
    if (!fs::is_regular_file(status)) {
        return FileReplacement::NotAFile;
    }
    const std::uintmax_t links = fs::hard_link_count(target, error);
    return !error && links > 1 ? FileReplacement::Unavailable : FileReplacement::Replaced;
}

bool createTemporary(const fs::path& target, const TargetInfo& /*before*/, Temporary& temporary)
{
    const std::string pattern = temporaryPattern(target);
    static unsigned serial = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = pattern;
        char suffix[7];
        std::snprintf(suffix, sizeof suffix, "%06X",
                      static_cast<unsigned>((GetCurrentProcessId() * 7919u + GetTickCount() + ++serial) & 0xFFFFFF));
        name.replace(name.size() - 6, 6, suffix);
        int descriptor = -1;
        if (_sopen_s(&descriptor, name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _SH_DENYNO,
                     _S_IREAD | _S_IWRITE) != 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        temporary.path = name;
        temporary.file = _fdopen(descriptor, "wb");
        if (temporary.file == nullptr) {
            _close(descriptor);
            std::remove(name.c_str());
            return false;
        }
        return true;
    }
    return false;
}

bool renameOver(const std::string& from, const fs::path& to)
{
    return MoveFileExA(from.c_str(), to.string().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void syncFolder(const fs::path& /*target*/)
{
    // MOVEFILE_WRITE_THROUGH has already put the rename on the disk.
}

#else

// What the target was before its replacement.
struct TargetInfo {
    bool exists = false;
    struct stat info {};
};

// Replaced: the target is absent or a regular file with one name.
FileReplacement inspectTarget(const fs::path& target, TargetInfo& before)
{
    struct stat& info = before.info;
    before.exists = false;
    if (stat(target.c_str(), &info) != 0) {
        return errno == ENOENT ? FileReplacement::Replaced : FileReplacement::NotAFile;
    }
    before.exists = true;
    if (!S_ISREG(info.st_mode)) {
        return FileReplacement::NotAFile;
    }
    // Renaming would leave the other names with the old content.
    return info.st_nlink > 1 ? FileReplacement::Unavailable : FileReplacement::Replaced;
}

bool createTemporary(const fs::path& target, const TargetInfo& before, Temporary& temporary)
{
    std::string name = temporaryPattern(target);
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        return false;
    }
    temporary.path = std::move(name);
    // The new file gets the old one's permission bits, owner and group; a new
    // name gets what creating it would have given. Failures are ignored: some
    // file systems keep no such bits, and only root may give a file away.
    mode_t mode = 0;
    if (before.exists) {
        mode = before.info.st_mode & 07777;
        static_cast<void>(fchown(descriptor, before.info.st_uid, before.info.st_gid));
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    static_cast<void>(fchmod(descriptor, mode));
    temporary.file = fdopen(descriptor, "wb");
    if (temporary.file == nullptr) {
        close(descriptor);
        std::remove(temporary.path.c_str());
        return false;
    }
    return true;
}

bool renameOver(const std::string& from, const fs::path& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

// Puts the rename itself on the disk where the system allows it.
void syncFolder(const fs::path& target)
{
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (descriptor >= 0) {
        static_cast<void>(fsync(descriptor));
        close(descriptor);
    }
}

#endif

}  // namespace

bool seekTo(std::FILE* file, std::uint64_t position)
{
    return SHEETPAK_FSEEK(file, static_cast<FilePosition>(position), SEEK_SET) == 0;
}

bool seekToEnd(std::FILE* file)
{
    return SHEETPAK_FSEEK(file, 0, SEEK_END) == 0;
}

bool tellPosition(std::FILE* file, std::uint64_t& position)
{
    const FilePosition at = SHEETPAK_FTELL(file);
    if (at < 0) {
        return false;
    }
    position = static_cast<std::uint64_t>(at);
    return true;
}

bool measureFileSize(std::FILE* file, std::uint64_t& size)
{
    return seekToEnd(file) && tellPosition(file, size);
}

std::FILE* openExistingFile(const char* path, const char* mode)
{
    const bool update = std::strchr(mode, '+') != nullptr;
#if defined(_WIN32)
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return nullptr;
    }
    std::FILE* file = std::fopen(path, mode);
    if (file != nullptr && !isDiskFile(file)) {
        std::fclose(file);
        return nullptr;
    }
    static_cast<void>(update);
    return file;
#else
    // Non-blocking, so that a named pipe without a writer cannot hold the
    // open; the mode is cleared again once the file is known to be regular.
    const int descriptor = open(path, (update ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY);
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
#endif
}

bool resizeOpenFile(std::FILE* file, std::uint64_t size)
{
    if (!stepMayRun(FileStep::Resize) || std::fflush(file) != 0) {
        return false;
    }
#if defined(_WIN32)
    return _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
#else
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}

bool writeBytes(std::FILE* file, const void* bytes, std::uint64_t length)
{
    const auto* at = static_cast<const std::uint8_t*>(bytes);
    while (length > 0) {
        const std::size_t piece = static_cast<std::size_t>(length < kWritePiece ? length : kWritePiece);
        if (!stepMayRun(FileStep::Write) || std::fwrite(at, 1, piece, file) != piece) {
            return false;
        }
        at += piece;
        length -= piece;
    }
    return true;
}

bool writeBytesAt(std::FILE* file, std::uint64_t position, const void* bytes, std::uint64_t length)
{
    return seekTo(file, position) && writeBytes(file, bytes, length);
}

bool flushToDisk(std::FILE* file)
{
    if (!stepMayRun(FileStep::Flush) || std::fflush(file) != 0) {
        return false;
    }
#if defined(_WIN32)
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    return handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

FileReplacement replaceWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length,
                                 std::FILE** openHandle, const char* reopenMode)
{
    fs::path target;
    if (!resolveLinks(path, target)) {
        return FileReplacement::NotAFile;
    }
    TargetInfo before;
    const FileReplacement state = inspectTarget(target, before);
    if (state != FileReplacement::Replaced) {
        return state;
    }
    Temporary temporary;
    if (!stepMayRun(FileStep::Create) || !createTemporary(target, before, temporary)) {
        return FileReplacement::Unavailable;  // the folder takes no new file
    }
    const bool written = writeBytes(temporary.file, bytes, length) && flushToDisk(temporary.file);
    const bool closed = std::fclose(temporary.file) == 0;
    temporary.file = nullptr;
    if (!written || !closed) {
        discard(temporary);
        return FileReplacement::Failed;
    }

#if defined(_WIN32)
    // The one close of a handle the caller owns: Windows renames over no open file.
    if (openHandle != nullptr && *openHandle != nullptr) {
        std::fclose(*openHandle);
        *openHandle = nullptr;
    }
#endif
    const bool renamed = stepMayRun(FileStep::Rename) && renameOver(temporary.path, target);
#if defined(_WIN32)
    if (openHandle != nullptr) {
        *openHandle = openExistingFile(path, reopenMode);
    }
#else
    static_cast<void>(openHandle);
    static_cast<void>(reopenMode);
#endif
    if (!renamed) {
        discard(temporary);
        return FileReplacement::Failed;
    }
    if (stepMayRun(FileStep::SyncFolder)) {
        syncFolder(target);
    }
    return FileReplacement::Replaced;
}

bool mayCreateOrReplace(const char* path)
{
    fs::path target;
    TargetInfo before;
    if (!resolveLinks(path, target) || inspectTarget(target, before) == FileReplacement::NotAFile) {
        return false;
    }
    std::error_code error;
    return before.exists || target.parent_path().empty() || fs::is_directory(target.parent_path(), error);
}

bool mayOpenForWriting(const char* path)
{
#if defined(_WIN32)
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0 &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
#else
    return access(path, W_OK) == 0;
#endif
}

InPlaceRewrite rewriteInPlace(std::FILE* file, const std::uint8_t* newBytes, std::uint64_t newLength)
{
    std::uint64_t oldLength = 0;
    if (!measureFileSize(file, oldLength) || !seekTo(file, 0)) {
        return InPlaceRewrite::NotRead;
    }
    std::unique_ptr<std::uint8_t[]> held(new (std::nothrow) std::uint8_t[oldLength == 0 ? 1 : oldLength]);
    if (!held || std::fread(held.get(), 1, static_cast<std::size_t>(oldLength), file) != oldLength) {
        return InPlaceRewrite::NotRead;
    }
    const std::uint8_t* oldBytes = held.get();
    const std::uint64_t common = oldLength < newLength ? oldLength : newLength;
    const bool written =
        writeDifferences(file, newBytes, oldBytes, common) &&
        (newLength <= oldLength || writeBytesAt(file, oldLength, newBytes + oldLength, newLength - oldLength)) &&
        (newLength >= oldLength || resizeOpenFile(file, newLength)) && flushToDisk(file);
    if (written) {
        return InPlaceRewrite::Written;
    }
    // Every byte that may have changed lies in a range where the two differ,
    // in the new tail, or in the old tail.
    std::clearerr(file);
    const bool restored =
        writeDifferences(file, oldBytes, newBytes, common) &&
        (oldLength <= newLength || writeBytesAt(file, newLength, oldBytes + newLength, oldLength - newLength)) &&
        resizeOpenFile(file, oldLength) && flushToDisk(file);
    return restored ? InPlaceRewrite::Restored : InPlaceRewrite::NotRestored;
}

WholeFileWrite writeWholeFile(const char* path, const std::uint8_t* bytes, std::uint64_t length)
{
    switch (replaceWholeFile(path, bytes, length)) {
    case FileReplacement::Replaced:
        return WholeFileWrite::Written;
    case FileReplacement::NotAFile:
        return WholeFileWrite::CannotOpen;
    case FileReplacement::Failed:
        return WholeFileWrite::NotWritten;
    case FileReplacement::Unavailable:
        break;
    }

    // In place, with the old content in memory to write back.
    std::FILE* file = openExistingFile(path, "r+b");
    if (file == nullptr) {
        return WholeFileWrite::CannotOpen;
    }
    WholeFileWrite result = WholeFileWrite::NotWritten;
    switch (rewriteInPlace(file, bytes, length)) {
    case InPlaceRewrite::Written:
        result = WholeFileWrite::Written;
        break;
    case InPlaceRewrite::NotRead:
        break;
    case InPlaceRewrite::Restored:
        result = WholeFileWrite::Restored;
        break;
    case InPlaceRewrite::NotRestored:
        result = WholeFileWrite::NotRestored;
        break;
    }
    std::fclose(file);
    return result;
}

void setFileFaultForTests(const FileFaultForTests& fault)
{
    gFault = fault;
    gStepsCounted = 0;
}

std::uint32_t fileStepsCountedForTests()
{
    return gStepsCounted;
}
