#pragma once
// The sheet files of a walk, as one seam over their two formats: raw planar
// bytes (.bin) or pictures (the PNG format), one file per sheet in the current
// folder or one combined file. The walks read and write sheets through here
// and never ask which format they have.

#include <cstdint>
#include <memory>

#include "platform/file_io.h"
#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"

// Where insertion's sheets come from. A combined file is read and checked
// whole when the source opens, so its sheets then come from memory.
struct SheetSource {
    const RomLayout* layout = nullptr;
    bool pictures = false;
    const char* combinedPath = nullptr;          // null: one file per sheet
    std::unique_ptr<std::uint8_t[]> combined;    // combinedFileSize(layout) bytes
    HeldRunLock held;                            // the sheet files, shared with other readers
};

// Sets up `source` for `layout`'s sheets, holding them against writers as
// long as it lives (sheet_file_locks.h); a combined file must hold exactly
// that release's sheets. False after printing a message.
bool openSheetSource(SheetSource& source, const RomLayout& layout, const char* combinedPath, bool pictures);

// Reads sheet `sheet` into the first `length` bytes of `buffer`
// (kSheetBufferSize bytes; the rest is left as it was) and sets `length` to
// the bytes it holds: the slot or picture of the sheet, or a raw file's
// first 0x8000 bytes. Warns of a raw file whose length the game does not
// keep. A per-sheet file is never read through a symbolic link. False
// after printing a message.
bool readSheetFromSource(const SheetSource& source, std::uint32_t sheet, std::uint8_t* buffer,
                         std::uint32_t& length);

// Where extraction's sheets go. Every sheet is collected in memory; when the
// sink closes, the whole set of files is studied before any is written, so
// that a failed walk or a refusal leaves every sheet file as it was. The
// per-sheet files (fixed names in the current folder) are then written as one
// batch, each whole (writeFileBatch), the combined file whole.
struct SheetSink {
    const RomLayout* layout = nullptr;
    bool pictures = false;
    bool checkOnly = false;                      // study the files, write none
    bool replaceEdited = false;                  // replace files that hold changes instead of refusing
    std::uint32_t filesHoldingChanges = 0;       // after a refusal: how many files hold changes
    const char* combinedPath = nullptr;          // null: one file per sheet
    std::unique_ptr<std::uint8_t[]> combined;    // combinedFileSize(layout) bytes
    std::unique_ptr<std::uint8_t[]> sheets[kSheetCount];  // per sheet: its bytes as decoded
    std::uint32_t lengths[kSheetCount] = {};
};

// Whether `path` names an existing file that is a ROM of the game, after
// printing the refusal: sheets are never written over a ROM.
bool refusesRomAsSheetFile(const char* path);

// Sets up `sink` for `layout`'s sheets. False after printing a message when
// the combined file could not be created or replaced.
bool openSheetSink(SheetSink& sink, const RomLayout& layout, const char* combinedPath, bool pictures,
                   bool checkOnly);

// Puts sheet `sheet` into the sink. `buffer` holds kSheetBufferSize bytes, of
// which the first `length` are the sheet as decoded: a raw per-sheet file gets
// those; a picture or a slot of the combined file gets the sheet's catalogue
// size from the start of `buffer`. False after printing a message.
bool writeSheetToSink(SheetSink& sink, std::uint32_t sheet, const std::uint8_t* buffer, std::uint32_t length);

// Studies the files the sink would write, in this order, each refusal
// printed and ending the run with nothing written: a per-sheet file that is a
// symbolic link; one that is a ROM of the game; one that cannot be created or
// replaced; a file that would be replaced by other bytes while its
// permission bits allow no writing. Then, unless the sink only checks, writes
// every file that does not already hold exactly its new bytes (those are left
// as they are) and removes what killed runs left beside them. False after
// printing a message.
bool closeSheetSink(SheetSink& sink);
