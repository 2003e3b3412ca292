#pragma once
// Fixed facts about the game's 223 graphics sheets, numbered 0x00 to 0xDE.

#include <cstdint>

#include "codec/sheet_codec_type.h"
#include "rom/rom_image.h"

inline constexpr std::uint32_t kSheetCount = 0xDF;

// The sheets the game keeps raw with 3 bits per pixel, through their pointers.
inline constexpr std::uint32_t kFirstRaw3bppSheet = 0x73;
inline constexpr std::uint32_t kLastRaw3bppSheet = 0x7E;

// How a sheet is stored in the ROM; follows from the sheet number alone.
enum class SheetStorage : std::uint8_t {
    FixedOffset,  // 0xDD, 0xDE: raw bytes at a fixed offset, not through a pointer
    Raw3bpp,      // 0x73-0x7E: 1536 bytes of 3bpp tiles at the pointer
    Compressed,   // all others: the sheet's codec type at the pointer
};

// Complete combined sheet file lengths (the sum of all sheet sizes).
inline constexpr std::uint32_t kCombinedFileSizeUs = 0x76800;
inline constexpr std::uint32_t kCombinedFileSizeJapan = 0x79040;

SheetCodecType sheetCodecType(std::uint32_t sheet);
std::uint32_t sheetSize(std::uint32_t sheet, const RomLayout& layout);
SheetStorage sheetStorage(std::uint32_t sheet);
// Whether the game keeps the sheet with 3 bits per pixel: the raw sheets and
// the compressed sheets of codec type 1.
bool sheetKeeps3BitsPerPixel(std::uint32_t sheet);
PcOffset fixedSheetOffset(std::uint32_t sheet);  // FixedOffset sheets only
// The sheet whose pointer entries an insertion copies over this sheet's
// (0x71 for 0xDD, 0x72 for 0xDE), or kSheetCount for every other sheet.
std::uint32_t pointerEntrySource(std::uint32_t sheet);
std::uint32_t combinedFileOffset(std::uint32_t sheet, const RomLayout& layout);
std::uint32_t combinedFileSize(const RomLayout& layout);

// The sheets a run is asked about: every sheet, or those chosen.
struct SheetSelection {
    bool every = true;
    bool chosen[kSheetCount] = {};
};

inline bool isSelected(const SheetSelection& selection, std::uint32_t sheet)
{
    return selection.every || selection.chosen[sheet];
}
