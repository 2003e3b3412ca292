#pragma once
// The three sheet pointer tables (bank, high, low bytes; 223 entries each,
// back to back from the layout's pointerTableBase) and the LoROM mapping.

#include <cstdint>

#include "rom/rom_image.h"

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
