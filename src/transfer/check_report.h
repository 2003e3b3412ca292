#pragma once
// The table of a check-only run: where each sheet lies and how many bytes it
// takes there.

#include <cstdint>

struct SheetSpan {
    std::uint32_t sheet = 0;
    std::uint32_t offset = 0;  // file offset, copier header included
    std::uint32_t length = 0;  // bytes in the ROM
    bool marked = false;       // shown with a * after the length (a sheet written in place)
};

// Prints a heading and the spans, four to a line, in the order given.
void printSheetSpans(const SheetSpan* spans, std::uint32_t count);
