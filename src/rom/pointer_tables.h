#pragma once
// The three sheet pointer tables (bank, high, low bytes; 223 entries each,
// back to back from the layout's pointerTableBase) and the LoROM mapping.

#include <cstdint>

#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"

struct PointerTables {
    PcOffset bank;  // bits 16-23 of the SnesAddress
    PcOffset high;  // bits 8-15
    PcOffset low;   // bits 0-7
};

PointerTables pointerTables(const RomLayout& layout);

// Offsets this mapping can express: a PcOffset below this has a pointer.
inline constexpr PcOffset kLoRomAddressableLimit = 0x400000;

// Bank bit 0x80 and bit 15 of the in-bank offset are ignored; the result is
// always below 0x400000.
PcOffset toPcOffset(SnesAddress address);

// Defined for offsets below 0x400000: banks 0x70-0x7F are stored as 0xF0-0xFF,
// and the in-bank offset always has bit 15 set.
SnesAddress toSnesAddress(PcOffset offset);

// The PcOffset that sheet's bank, high and low pointer bytes lead to, in
// `image`, a whole ROM file's bytes (copier header of `headerOffset` bytes
// included) that reaches past the tables. Add headerOffset for the image position.
PcOffset readSheetPointer(const std::uint8_t* image, std::uint32_t headerOffset, const RomLayout& layout,
                          std::uint32_t sheet);

// Writes sheet's bank, high and low pointer bytes for `offset` into `image`,
// as above.
void writeSheetPointer(std::uint8_t* image, std::uint32_t headerOffset, const RomLayout& layout,
                       std::uint32_t sheet, PcOffset offset);

// The three tables lie back to back: as one block of kPointerTablesSize
// bytes from the layout's pointerTableBase, sheet n's bank, high and low
// bytes are at n, 223 + n and 446 + n.
inline constexpr std::uint32_t kPointerTablesSize = 3 * kSheetCount;

// Sets sheet's three entries in the block `tables` for `offset`.
void setPointerEntries(std::uint8_t* tables, std::uint32_t sheet, PcOffset offset);

// Copies, in the block `tables`, the entries of the sheets that others take
// theirs from (pointerEntrySource) over those others' entries: 0xDD and 0xDE
// then point where 0x71 and 0x72 do.
void copyPointerEntries(std::uint8_t* tables);
