#pragma once
// Where a sheet lies in the ROM file, or would lie after an insertion.

#include <cstdint>

struct SheetSpan {
    std::uint32_t sheet = 0;
    std::uint32_t offset = 0;  // file offset, copier header included
    std::uint32_t length = 0;  // bytes in the ROM
    bool marked = false;       // shown with a * after the length (a sheet written in place)
};
