#include "rom/file_io.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#define SHEETPAK_FSEEK _fseeki64
#define SHEETPAK_FTELL _ftelli64
using FilePosition = __int64;
#else
#include <sys/types.h>
#include <unistd.h>
#define SHEETPAK_FSEEK fseeko
#define SHEETPAK_FTELL ftello
using FilePosition = off_t;
#endif

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
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        return nullptr;
    }
    return std::fopen(path, mode);
}

bool resizeOpenFile(std::FILE* file, std::uint64_t size)
{
    if (std::fflush(file) != 0) {
        return false;
    }
#if defined(_WIN32)
    return _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
#else
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}
