#pragma once
// The ROM of a run as one image in memory, and the two per-release layouts.

#include <cstdint>
#include <memory>

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
// No release or expansion of the game is larger after its copier header.
inline constexpr std::uint32_t kMaximumRomSize = 0x1000000;

// Where the game's graphics start, and where an expanded ROM's new room starts.
inline constexpr PcOffset kGraphicsAreaStart = 0x87000;
inline constexpr PcOffset kExpansionAreaStart = 0x100000;
// The internal header, the vectors and the pointer tables lie below this.
inline constexpr PcOffset kSystemAreaEnd = 0x8000;

// The copier-header offset of a file of `size` bytes: 0x200 exactly when bit 9
// of the size is set; the header's contents are never read.
inline std::uint32_t copierHeaderOffset(std::uint64_t size)
{
    return static_cast<std::uint32_t>(size & kCopierHeaderSize);
}

struct RomImage {
    const char* path = nullptr;            // as typed; for messages and for replacing the file
    std::unique_ptr<std::uint8_t[]> bytes;  // the whole file, copier header included: `size` bytes
    std::uint32_t size = 0;                // at most kMaximumRomSize + kCopierHeaderSize
    std::uint32_t headerOffset = 0;        // copierHeaderOffset(size)
    const RomLayout* layout = nullptr;     // set by identifyRom
};

// Copies `length` bytes at a PcOffset (image position headerOffset + offset)
// into `destination`. False when they do not all lie in the image; the bytes
// that do are copied, and the rest of `destination` is left as it was.
bool readRomBytes(const RomImage& rom, PcOffset offset, void* destination, std::uint32_t length);

// The bytes of the image from a PcOffset to its end (none when the offset
// lies at or past the end): the stream a sheet pointer leads to.
struct RomSpan {
    const std::uint8_t* bytes;
    std::uint32_t length;
};
RomSpan romBytesFrom(const RomImage& rom, PcOffset offset);
