#pragma once
// The sheet files of a walk, as one seam over their two formats: raw planar
// bytes (.bin) or pictures (the PNG format), one file per sheet in the current
// folder or one combined file. The walks read and write sheets through here
// and never ask which format they have.

#include <cstdint>
#include <memory>

#include "rom/rom_image.h"

// Where insertion's sheets come from. A combined file is read and checked
// whole when the source opens, so its sheets then come from memory.
struct SheetSource {
    const RomLayout* layout = nullptr;
    bool pictures = false;
    const char* combinedPath = nullptr;          // null: one file per sheet
    std::unique_ptr<std::uint8_t[]> combined;    // combinedFileSize(layout) bytes
};

// Sets up `source` for `layout`'s sheets; a combined file must hold exactly
// that release's sheets. False after printing a message.
bool openSheetSource(SheetSource& source, const RomLayout& layout, const char* combinedPath, bool pictures);

// Reads sheet `sheet` into `buffer` (kSheetBufferSize bytes; the positions it
// does not fill are zero) and sets `length` to the bytes it holds: the slot
// or picture of the sheet, or a raw file's first 0x8000 bytes. Warns of a raw
// file whose length the game does not keep. False after printing a message.
bool readSheetFromSource(const SheetSource& source, std::uint32_t sheet, std::uint8_t* buffer,
                         std::uint32_t& length);
