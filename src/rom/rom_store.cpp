#include "rom/rom_store.h"

#include <cerrno>
#include <new>

#include "platform/file_io.h"
#include "platform/output.h"
#include "rom/rom_messages.h"

bool loadRomImage(RomImage& rom, std::FILE* file)
{
    std::uint64_t size = 0;
    if (!measureFileSize(file, size)) {
        noteErrno(errno);
        printError(kFmtUnableToOpenRom, rom.path);
        printSystemReason();
        return false;
    }
    if (size > std::uint64_t{copierHeaderOffset(size)} + kMaximumRomSize) {
        printError("%s", kMsgRomLargerThanAnyRelease);
        return false;
    }
    rom.size = static_cast<std::uint32_t>(size);
    rom.headerOffset = copierHeaderOffset(size);
    rom.bytes.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    if (!rom.bytes) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    if (!seekTo(file, 0) || std::fread(rom.bytes.get(), 1, rom.size, file) != rom.size) {
        noteErrno(std::ferror(file) != 0 ? errno : 0);
        printError(kFmtRomReadFailed, rom.path);
        printSystemReason();
        return false;
    }
    return true;
}

bool reportHalfWritten(const char* name, HalfWritten result)
{
    switch (result) {
    case HalfWritten::No:
        return true;
    case HalfWritten::Restored:
        printWarning(kFmtHalfWrittenRestored, name);
        return true;
    case HalfWritten::NotWritable:
        printError(kFmtHalfWrittenNotWritable, name);
        return false;
    case HalfWritten::RestoreFailed:
        printError(kFmtHalfWrittenRestoreFailed, name);
        return false;
    }
    return false;
}

bool restoreHalfWrittenRom(const char* path)
{
    HalfWritten result = HalfWritten::No;
    restoreHalfWrittenFiles(&path, 1, true, &result);
    return reportHalfWritten(path, result);
}
