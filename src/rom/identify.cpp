#include "rom/identify.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "rom/rom_messages.h"

namespace {

// The layout whose title the image's title field holds, or null. The field is
// compared over all 21 bytes: case, trailing spaces and zero bytes inside the
// field all count.
const RomLayout* layoutByTitle(const RomImage& rom)
{
    char title[kRomTitleLength] = {};
    if (!readRomBytes(rom, kTitleOffset, title, sizeof title)) {
        return nullptr;
    }
    for (const RomLayout* layout : {&kUsLayout, &kJapanLayout}) {
        if (std::memcmp(title, layout->title, kRomTitleLength) == 0) {
            return layout;
        }
    }
    return nullptr;
}

}  // namespace

bool identifyRom(RomImage& rom)
{
    if (rom.size < rom.headerOffset + kMinimumRomSize) {
        std::printf("%s", kMsgRomTooSmall);
        return false;
    }
    rom.layout = layoutByTitle(rom);
    if (rom.layout == nullptr) {
        std::printf("%s", kMsgWrongTitle);
        return false;
    }

    std::uint8_t destination = 0xFF;
    if (!readRomBytes(rom, kDestinationCodeOffset, &destination, 1) || destination > 1) {
        std::printf("%s", kMsgWrongCountry);
        return false;
    }
    return true;
}

bool looksLikeGameRom(std::FILE* file, std::uint64_t size)
{
    if (size > 0xFFFFFFFFu) {
        return false;
    }
    RomImage image;
    image.file = file;
    image.size = static_cast<std::uint32_t>(size);
    image.headerOffset = image.size & kCopierHeaderSize;
    return image.size >= image.headerOffset + kMinimumRomSize && layoutByTitle(image) != nullptr;
}
