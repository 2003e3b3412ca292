#include "rom/identify.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "platform/file_io.h"
#include "platform/output.h"
#include "rom/rom_messages.h"

namespace {

// The layout whose title `title` holds, or null. The field is compared over
// all 21 bytes: case, trailing spaces and zero bytes inside the field all count.
const RomLayout* layoutByTitle(const char* title)
{
    for (const RomLayout* layout : {&kUsLayout, &kJapanLayout}) {
        if (std::memcmp(title, layout->title, kRomTitleLength) == 0) {
            return layout;
        }
    }
    return nullptr;
}

// Whether a file of `size` bytes is large enough to be the game after its
// copier header.
bool largeEnough(std::uint64_t size)
{
    return size >= std::uint64_t{copierHeaderOffset(size)} + kMinimumRomSize;
}

}  // namespace

bool identifyRom(RomImage& rom)
{
    if (!largeEnough(rom.size)) {
        printError("%s", kMsgRomTooSmall);
        return false;
    }
    char title[kRomTitleLength] = {};
    static_cast<void>(readRomBytes(rom, kTitleOffset, title, sizeof title));
    rom.layout = layoutByTitle(title);
    if (rom.layout == nullptr) {
        printError("%s", kMsgWrongTitle);
        return false;
    }

    std::uint8_t destination = 0xFF;
    if (!readRomBytes(rom, kDestinationCodeOffset, &destination, 1) || destination > 1) {
        printError("%s", kMsgWrongCountry);
        return false;
    }
    return true;
}

bool looksLikeGameRom(std::FILE* file, std::uint64_t size)
{
    if (!largeEnough(size)) {
        return false;
    }
    char title[kRomTitleLength] = {};
    return seekTo(file, std::uint64_t{copierHeaderOffset(size)} + kTitleOffset) &&
           std::fread(title, 1, sizeof title, file) == sizeof title && layoutByTitle(title) != nullptr;
}
