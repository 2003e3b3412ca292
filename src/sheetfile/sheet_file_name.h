#pragma once
// The names of the per-sheet files in their folder.

#include <cstdint>
#include <cstdio>

// Room for "GFX%02X.bin" or "GFX%02X.png" and its terminator.
struct SheetFileName {
    char text[16];
};

// A per-sheet file's name in its folder: "GFX00.bin" to "GFXDE.bin",
// or "GFX00.png" to "GFXDE.png" for sheets as pictures.
inline SheetFileName sheetFileName(std::uint32_t sheet, bool picture = false)
{
    SheetFileName name{};
    std::snprintf(name.text, sizeof name.text, picture ? "GFX%02X.png" : "GFX%02X.bin",
                  static_cast<unsigned>(sheet & 0xFF));
    return name;
}
