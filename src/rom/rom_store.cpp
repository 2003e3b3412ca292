#include "rom/rom_store.h"

#include <cstdio>
#include <new>

#include "platform/file_io.h"
#include "rom/rom_messages.h"

namespace {

// The fallback: the differing bytes written through a stream opened "r+b",
// the old content kept to be written back.
bool rewriteRomInPlace(const RomImage& image)
{
    std::FILE* file = openExistingFile(image.path, "r+b");
    const InPlaceRewrite result =
        file == nullptr ? InPlaceRewrite::NotRead : rewriteInPlace(file, image.path, image.bytes.get(), image.size);
    if (file != nullptr) {
        std::fclose(file);
    }
    switch (result) {
    case InPlaceRewrite::Written:
        return true;
    case InPlaceRewrite::NotRead:
        std::printf(kFmtRomReadFailed, image.path);
        return false;
    case InPlaceRewrite::NotWritten:
        std::printf(kFmtRomWriteFailed, image.path);
        std::printf("%s", kMsgRomUnchanged);
        return false;
    case InPlaceRewrite::Restored:
        std::printf(kFmtRomWriteFailed, image.path);
        std::printf("%s", kMsgRomRestored);
        return false;
    case InPlaceRewrite::NotRestored:
        std::printf(kFmtRomWriteFailed, image.path);
        std::printf(kFmtRomNotRestored, image.path);
        return false;
    }
    return false;
}

}  // namespace

bool loadRomImage(RomImage& rom, std::FILE* file)
{
    std::uint64_t size = 0;
    if (!measureFileSize(file, size)) {
        std::printf(kFmtUnableToOpenRom, rom.path);
        return false;
    }
    if (size > std::uint64_t{copierHeaderOffset(size)} + kMaximumRomSize) {
        std::printf("%s", kMsgRomLargerThanAnyRelease);
        return false;
    }
    rom.size = static_cast<std::uint32_t>(size);
    rom.headerOffset = copierHeaderOffset(size);
    rom.bytes.reset(new (std::nothrow) std::uint8_t[size == 0 ? 1 : size]);
    if (!rom.bytes) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    if (!seekTo(file, 0) || std::fread(rom.bytes.get(), 1, rom.size, file) != rom.size) {
        std::printf(kFmtRomReadFailed, rom.path);
        return false;
    }
    return true;
}

bool storeRomImage(const RomImage& image)
{
    switch (replaceWholeFile(image.path, image.bytes.get(), image.size)) {
    case FileReplacement::Replaced:
        return true;
    case FileReplacement::Unavailable:
        return rewriteRomInPlace(image);
    case FileReplacement::NotAFile:
    case FileReplacement::Failed:
        break;
    }
    std::printf(kFmtRomWriteFailed, image.path);
    std::printf("%s", kMsgRomUnchanged);
    return false;
}

bool reportHalfWritten(const char* name, HalfWritten result)
{
    switch (result) {
    case HalfWritten::No:
        return true;
    case HalfWritten::Restored:
        std::printf(kFmtHalfWrittenRestored, name);
        return true;
    case HalfWritten::NotWritable:
        std::printf(kFmtHalfWrittenNotWritable, name);
        return false;
    case HalfWritten::RestoreFailed:
        std::printf(kFmtHalfWrittenRestoreFailed, name);
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
