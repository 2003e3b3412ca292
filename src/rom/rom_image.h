#pragma once
// The open ROM file of a run and the two per-release layouts.

#include <cstdint>
#include <cstdio>

// Byte offset into the ROM image as it would be without a copier header.
// The file position of a PcOffset is the PcOffset plus RomImage::headerOffset.
using PcOffset = std::uint32_t;

// 24-bit LoROM CPU address, stored in the ROM as separate bank, high and low bytes.
using SnesAddress = std::uint32_t;

enum class RomVersion : std::uint8_t { Us, Japan };

// Which of the catalogue's two size columns applies to a release.
enum class SheetSizeColumn : std::uint8_t { UsSizes, JapaneseSizes };

inline constexpr std::uint32_t kRomTitleLength = 21;

struct RomLayout {
    RomVersion version;
    char title[kRomTitleLength];  // exactly 21 bytes, no terminator
    PcOffset pointerTableBase;    // first of the three pointer tables (bank bytes)
    PcOffset protectedBoundary;   // the sheet data area ends here
    SheetSizeColumn sheetSizeColumn;
};

extern const RomLayout kUsLayout;
extern const RomLayout kJapanLayout;

// "US" or "Japanese", for messages.
inline const char* releaseName(const RomLayout& layout)
{
    return layout.version == RomVersion::Us ? "US" : "Japanese";
}

// Internal header fields the tool touches.
inline constexpr PcOffset kTitleOffset = 0x7FC0;
inline constexpr PcOffset kRomSizeCodeOffset = 0x7FD7;
inline constexpr PcOffset kDestinationCodeOffset = 0x7FD9;
inline constexpr std::uint32_t kCopierHeaderSize = 0x200;
inline constexpr std::uint32_t kMinimumRomSize = 0x100000;

struct RomImage {
    std::FILE* file = nullptr;
    const char* path = nullptr;      // as typed; for messages and for replacing the file
    std::uint32_t size = 0;          // measured once when the file was opened
    std::uint32_t headerOffset = 0;  // 0x200 when bit 9 of size is set, else 0
    const RomLayout* layout = nullptr;  // set by identifyRom
};

// Reads `length` bytes at a PcOffset (file position headerOffset + offset).
// False when the seek failed or the read fell short; bytes past the end of the
// file leave `destination` as it was.
bool readRomBytes(const RomImage& rom, PcOffset offset, void* destination, std::uint32_t length);
