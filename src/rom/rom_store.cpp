#include "rom/rom_store.h"

#include <cstdio>
#include <memory>
#include <new>

#include "rom/file_io.h"
#include "rom/rom_messages.h"

namespace {

// The fallback: the differing bytes written through the open ROM, the old
// content kept to be written back.
bool rewriteRomInPlace(RomImage& rom, const std::uint8_t* image, std::uint64_t length)
{
    std::uint64_t oldLength = 0;
    if (rom.file == nullptr || !measureFileSize(rom.file, oldLength)) {
        std::printf(kFmtRomReadFailed, rom.path);
        return false;
    }
    std::unique_ptr<std::uint8_t[]> old(new (std::nothrow) std::uint8_t[oldLength == 0 ? 1 : oldLength]);
    if (!old) {
        std::printf("%s", kMsgRomOutOfMemory);
        return false;
    }
    if (!readWholeRom(rom, old.get(), oldLength)) {
        return false;
    }
    switch (rewriteInPlace(rom.file, old.get(), oldLength, image, length)) {
    case InPlaceRewrite::Written:
        return true;
    case InPlaceRewrite::Restored:
        std::printf(kFmtRomWriteFailed, rom.path);
        std::printf("%s", kMsgRomRestored);
        return false;
    case InPlaceRewrite::NotRestored:
        std::printf(kFmtRomWriteFailed, rom.path);
        std::printf(kFmtRomNotRestored, rom.path);
        return false;
    }
    return false;
}

}  // namespace

bool readWholeRom(const RomImage& rom, std::uint8_t* image, std::uint64_t length)
{
    if (!seekTo(rom.file, 0) || std::fread(image, 1, static_cast<std::size_t>(length), rom.file) != length) {
        std::printf(kFmtRomReadFailed, rom.path);
        return false;
    }
    return true;
}

bool storeRomImage(RomImage& rom, const std::uint8_t* image, std::uint64_t length)
{
    switch (replaceWholeFile(rom.path, image, length, &rom.file, "r+b")) {
    case FileReplacement::Replaced:
        return true;
    case FileReplacement::Unavailable:
        return rewriteRomInPlace(rom, image, length);
    case FileReplacement::NotAFile:
    case FileReplacement::Failed:
        break;
    }
    std::printf(kFmtRomWriteFailed, rom.path);
    std::printf("%s", kMsgRomUnchanged);
    return false;
}
