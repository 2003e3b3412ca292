#include "platform/file_io.h"

// The plain steps every part of the file seam builds on: the record of the
// last system error, opening, seeking, measuring, resizing and flushing one
// open file, writing it in counted pieces, and following links.

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/file_fault.h"
#include "platform/file_io_system.h"

namespace fs = std::filesystem;

namespace {

// Largest piece written in one step: a fault or kill can land between pieces.
constexpr std::uint64_t kWritePiece = 0x40000;

SystemError gLastSystemError;

}  // namespace

SystemError lastSystemError()
{
    return gLastSystemError;
}

void clearSystemError()
{
    gLastSystemError = SystemError{};
}

void noteSystemError(SystemError error)
{
    if (error.code != 0) {
        gLastSystemError = error;
    }
}

void noteErrno(int code)
{
    noteSystemError({code, false});
}

std::FILE* openExistingFile(const char* path, const char* mode)
{
    return openRegularFile(path, mode, true);
}

std::FILE* openExistingFileNotThroughLink(const char* path, const char* mode)
{
    return openRegularFile(path, mode, false);
}

bool isSymbolicLink(const char* path)
{
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
}

bool seekTo(std::FILE* file, std::uint64_t position)
{
    return seekFile(file, static_cast<std::int64_t>(position), SEEK_SET);
}

bool seekToEnd(std::FILE* file)
{
    return seekFile(file, 0, SEEK_END);
}

bool tellPosition(std::FILE* file, std::uint64_t& position)
{
    const std::int64_t at = tellFile(file);
    if (at < 0) {
        return false;
    }
    position = static_cast<std::uint64_t>(at);
    return true;
}

bool resizeOpenFile(std::FILE* file, std::uint64_t size)
{
    return fileStepMayRun(FileStep::Resize) && std::fflush(file) == 0 && truncateFile(file, size);
}

bool flushToDisk(std::FILE* file)
{
    return fileStepMayRun(FileStep::Flush) && std::fflush(file) == 0 && syncFile(file);
}

bool measureFileSize(std::FILE* file, std::uint64_t& size)
{
    return seekToEnd(file) && tellPosition(file, size);
}

bool writePiecesAt(std::FILE* file, std::uint64_t position, const std::uint8_t* bytes, std::uint64_t length,
                   FileStep kind)
{
    while (length > 0) {
        const std::uint64_t piece = length < kWritePiece ? length : kWritePiece;
        if (!fileStepMayRun(kind) || !writeAt(file, position, bytes, piece)) {
            return false;
        }
        position += piece;
        bytes += piece;
        length -= piece;
    }
    return true;
}

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
