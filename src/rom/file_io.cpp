#include "rom/file_io.h"

#if defined(_WIN32)
#define SHEETPAK_FSEEK _fseeki64
#define SHEETPAK_FTELL _ftelli64
using FilePosition = __int64;
#else
#include <sys/types.h>
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

bool measureFileSize(std::FILE* file, std::uint64_t& size)
{
    if (!seekToEnd(file)) {
        return false;
    }
    const FilePosition end = SHEETPAK_FTELL(file);
    if (end < 0) {
        return false;
    }
    size = static_cast<std::uint64_t>(end);
    return true;
}
