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

// Reads sheet's bank, high and low pointer bytes, in that order, one seek
// and one byte each. Add headerOffset to the result for the file position.
PcOffset readSheetPointer(const RomImage& rom, std::uint32_t sheet);

// All three tables as read in one go, for a walk that reads every pointer of
// a ROM it does not write.
struct PointerTableBytes {
    std::uint8_t bank[223];
    std::uint8_t high[223];
    std::uint8_t low[223];
};

// Reads the three tables (3 x 223 bytes, back to back). False when a read
// fell short; the tables lie inside every identified ROM.
bool readPointerTables(const RomImage& rom, PointerTableBytes& tables);

// The PcOffset of a sheet's entry in tables read by readPointerTables; the
// same value readSheetPointer gives for the same bytes.
PcOffset sheetPointer(const PointerTableBytes& tables, std::uint32_t sheet);

// Stores sheet's bank, high and low pointer bytes into `image`, a whole ROM
// file's bytes (copier header included) that reaches past the tables.
void storeSheetPointer(std::uint8_t* image, std::uint32_t headerOffset, const RomLayout& layout,
                       std::uint32_t sheet, PcOffset offset);

// Writes sheet's bank, high and low pointer bytes, in that order, one seek and
// one byte each. False when a seek or write failed.
bool writeSheetPointer(const RomImage& rom, std::uint32_t sheet, PcOffset offset);
