#pragma once
// Synthetic ROM images: the right title, destination code and pointer tables,
// with bytes placed where a test wants them. No real game data is involved.

#include <cstdint>
#include <filesystem>

#include "rom/rom_image.h"
#include "support/temp_dir.h"

struct SyntheticRom {
    Bytes bytes;                  // the whole file, copier header included
    std::uint32_t headerOffset;   // 0 or 0x200
    const RomLayout* layout;

    // Places `data` at a PcOffset (the header offset is added), growing nothing:
    // the data must lie inside the image.
    void put(PcOffset offset, const Bytes& data);
    Bytes get(PcOffset offset, std::uint32_t length) const;
    std::uint8_t at(PcOffset offset) const { return bytes.at(headerOffset + offset); }

    // Writes and reads a sheet's pointer bytes through the layout's tables.
    void setPointer(std::uint32_t sheet, PcOffset target);
    PcOffset pointer(std::uint32_t sheet) const;
    // The raw bank, high and low bytes of a sheet's pointer.
    Bytes pointerBytes(std::uint32_t sheet) const;

    void save(const std::filesystem::path& path) const { writeFile(path, bytes); }
};

struct RomOptions {
    RomVersion version = RomVersion::Us;
    std::uint32_t imageSize = 0x100000;  // without the copier header
    bool copierHeader = false;
    int destinationCode = -1;            // -1: 1 for the US release, 0 for the Japanese one
};

// An image of imageSize zero bytes (plus a 512-byte header filled with 0xCC),
// with the release's title and destination code in the internal header.
SyntheticRom makeSyntheticRom(const RomOptions& options = {});
