// Writes a synthetic ROM image to try the tool on:
//   make_sample_rom FILE [japan] [header]
// It has the game's layout and made-up graphics, no data of the game.

#include <cstdio>
#include <cstring>
#include <vector>

#include "sample_rom.h"

int main(int argc, char** argv)
{
    const char* const usage =
        "Usage: make_sample_rom FILE [japan] [header]\n"
        "Writes a synthetic ROM image with the game's layout and made-up graphics to FILE:\n"
        "the US release unless \"japan\" is given, with a 512-byte copier header if \"header\" is.\n";
    if (argc < 2) {
        std::printf("%s", usage);
        return 1;
    }
    if (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        std::printf("%s", usage);
        return 0;
    }
    SampleRomOptions options;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "japan") == 0) {
            options.version = RomVersion::Japan;
        } else if (std::strcmp(argv[i], "header") == 0) {
            options.copierHeader = true;
        } else {
            std::printf("Unknown option: %s\n", argv[i]);
            return 1;
        }
    }
    std::vector<std::uint8_t> image;
    const std::uint32_t end = buildSampleRom(options, image);
    if (end == 0) {
        std::printf("The sample graphics do not fit.\n");
        return 1;
    }
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::printf("Couldn't open %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
    if (std::fclose(file) != 0 || !written) {
        std::printf("Couldn't write %s\n", argv[1]);
        return 1;
    }
    std::printf("Wrote %s: a %s sample ROM of 0x%zX bytes, sheets up to 0x%06X.\n", argv[1],
                options.version == RomVersion::Us ? "US" : "Japanese", image.size(), end - 1);
    return 0;
}
