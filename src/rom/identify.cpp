#include "rom/identify.h"

#include <cstdio>
#include <cstring>

#include "rom/rom_messages.h"

bool identifyRom(RomImage& rom)
{
    if (rom.size < rom.headerOffset + kMinimumRomSize) {
        std::printf("%s", kMsgRomTooSmall);
        return false;
    }

    // The title field is compared over all 21 bytes: case, trailing spaces
    // and zero bytes inside the field all count.
    char title[kRomTitleLength] = {};
    const bool titleRead = readRomBytes(rom, kTitleOffset, title, sizeof title);
    if (titleRead && std::memcmp(title, kUsLayout.title, kRomTitleLength) == 0) {
        rom.layout = &kUsLayout;
    } else if (titleRead && std::memcmp(title, kJapanLayout.title, kRomTitleLength) == 0) {
        rom.layout = &kJapanLayout;
    } else {
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
