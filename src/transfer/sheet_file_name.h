#pragma once

#include <cstdint>
#include <cstdio>

// Room for "GFX%02X.bin" and its terminator.
struct SheetFileName {
    char text[16];
};

// The per-sheet file name, "GFX00.bin" to "GFXDE.bin", in the current folder.
inline SheetFileName sheetFileName(std::uint32_t sheet)
{
    SheetFileName name{};
    std::snprintf(name.text, sizeof name.text, "GFX%02X.bin", static_cast<unsigned>(sheet & 0xFF));
    return name;
}
