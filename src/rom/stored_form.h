#pragma once
// What insertion stores for a sheet before its codec runs: the form in which
// two sheet files compare, so that "the same sheet" means the same bytes in
// the ROM, whatever the files hold that the game cannot keep.

#include <cstdint>

#include "rom/rom_image.h"

// Turns the `length` bytes of sheet `sheet` at the start of `bytes`
// (kSheetBufferSize bytes, zero past `length`; length at most
// kSheetBufferSize) in place into the bytes insertion hands to the sheet's
// codec or writes raw, and returns how many there are: a fixed sheet's
// catalogue size, whatever the length; a raw sheet's first 2048 bytes packed
// into 1536; a type-1 sheet packed to 3 bits per pixel; a type-0 sheet as it is.
std::uint32_t packForStorage(const RomLayout& layout, std::uint32_t sheet, std::uint8_t* bytes,
                             std::uint32_t length);

// Whether inserting the `lengthA` bytes at `a` and inserting the `lengthB`
// bytes at `b` would store the same bytes for sheet `sheet`: colours 8 to 15
// of a sheet kept with 3 bits per pixel, and lengths that pack the same, make
// no difference. Both lengths at most kSheetBufferSize; reads no further.
// False only when they differ or no scratch memory can be had.
bool storesTheSame(const RomLayout& layout, std::uint32_t sheet, const std::uint8_t* a, std::uint32_t lengthA,
                   const std::uint8_t* b, std::uint32_t lengthB);
