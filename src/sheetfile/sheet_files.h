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

// Reads sheet `sheet` into the first `length` bytes of `buffer`
// (kSheetBufferSize bytes; the rest is left as it was) and sets `length` to
// the bytes it holds: the slot or picture of the sheet, or a raw file's
// first 0x8000 bytes. Warns of a raw file whose length the game does not
// keep. False after printing a message.
bool readSheetFromSource(const SheetSource& source, std::uint32_t sheet, std::uint8_t* buffer,
                         std::uint32_t& length);

// Where extraction's sheets go. A combined file is assembled in memory and
// written whole when the sink closes, so that a failed walk leaves any earlier
// file of that name as it was; each per-sheet file is written whole at once.
struct SheetSink {
    const RomLayout* layout = nullptr;
    bool pictures = false;
    const char* combinedPath = nullptr;          // null: one file per sheet
    std::unique_ptr<std::uint8_t[]> combined;    // combinedFileSize(layout) bytes
};

// Whether `path` names an existing file that is a ROM of the game, after
// printing the refusal: sheets are never written over a ROM.
bool refusesRomAsSheetFile(const char* path);

// Sets up `sink` for `layout`'s sheets. False after printing a message when
// the combined file could not be created or replaced.
bool openSheetSink(SheetSink& sink, const RomLayout& layout, const char* combinedPath, bool pictures);

// What openSheetSink and the per-sheet writes would refuse, without creating
// anything: the combined file, or each per-sheet file, must be a regular file
// or absent from a folder that exists. False after printing a message.
bool checkSheetSink(const char* combinedPath, bool pictures);

// Puts sheet `sheet` into the sink. `buffer` holds kSheetBufferSize bytes, of
// which the first `length` are the sheet as decoded: a raw per-sheet file gets
// those; a picture or a slot of the combined file gets the sheet's catalogue
// size from the start of `buffer`. False after printing a message.
bool writeSheetToSink(SheetSink& sink, std::uint32_t sheet, const std::uint8_t* buffer, std::uint32_t length);

// Writes the combined file, if any. False after printing a message.
bool closeSheetSink(SheetSink& sink);
