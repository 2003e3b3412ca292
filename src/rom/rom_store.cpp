#include "rom/rom_store.h"

#include <cstdio>

#include "platform/file_io.h"
#include "rom/rom_messages.h"

namespace {

// The fallback: the differing bytes written through the open ROM, the old
// content kept to be written back.
bool rewriteRomInPlace(RomImage& rom, const std::uint8_t* image, std::uint64_t length)
{
    switch (rom.file == nullptr ? InPlaceRewrite::NotRead : rewriteInPlace(rom.file, image, length)) {
    case InPlaceRewrite::Written:
        return true;
    case InPlaceRewrite::NotRead:
        std::printf(kFmtRomReadFailed, rom.path);
        return false;
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
    switch (replaceWholeFile(rom.path, image, length)) {
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
