#pragma once
// What reading a sheet file found, as a record: the refusal (what, which
// file or pixel, why) and the warnings, so that a caller prints them or
// stays quiet. Insertion prints; the comparison of existing files with what
// an extraction would write reads the same way, quietly.

#include <cstdint>

#include "platform/file_io.h"
#include "rom/rom_image.h"
#include "sheetfile/png_sheet_file.h"

enum class SheetFileFault : std::uint8_t {
    None,
    SymbolicLink,  // a per-sheet file that is a link: never read through one
    CannotOpen,    // no regular file to open at the path
    Empty,         // a raw per-sheet file of no byte: an empty stream would fail every later extraction
    CannotRead,    // the system failed a read
    OtherRelease,  // a raw combined file of the other release's length
    WrongSize,     // a raw combined file of any other length
    Picture,       // a picture refused: see `picture`
};

struct SheetFileReading {
    SheetFileFault fault = SheetFileFault::None;
    SystemError systemError;       // CannotOpen, CannotRead: the system's reason, when it gave one
    std::uint64_t size = 0;        // a raw file's size
    bool tooLarge = false;         // a raw per-sheet file of more than 0x8000 bytes: the first 0x8000 are used
    std::uint32_t keptLength = 0;  // a raw per-sheet file whose size is not the length the game keeps: that length
    bool isPicture = false;        // a picture was read: `picture` holds its notes and refusal
    SheetPictureRecord picture;
};

// Prints what `reading` of the file `path` (holding sheet `sheet`, or all
// sheets of `layout` for a combined file) found, in the order the reading
// met it: a warning that the file is too large, then the refusal or the
// warning of a length the game does not keep; for a picture, its note on how
// it was read, then its refusal.
void printSheetFileReading(const SheetFileReading& reading, const char* path, std::uint32_t sheet,
                           const RomLayout& layout);
