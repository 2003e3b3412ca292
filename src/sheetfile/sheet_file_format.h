#pragma once
// The four forms a run's sheets take on disk, as data: raw planar bytes or
// PNG pictures, one file per sheet in a folder or one combined file. Each
// form is a record of the same few functions (reading a file's sheets as
// insertion reads them, making a file's bytes, naming a file), kept in its
// own file pair (raw_sheet_file, picture_sheet_file) and found through the
// one table of sheet_file_forms.h, so that no walk asks which form it has.

#include <cstdint>
#include <string>

#include "rom/rom_image.h"
#include "sheetfile/png_picture.h"
#include "sheetfile/sheet_file_name.h"
#include "sheetfile/sheet_file_reading.h"

enum class SheetFileFormat : std::uint8_t {
    RawPerSheet,      // GFX00.bin to GFXDE.bin: each sheet's bytes, up to 0x8000
    RawCombined,      // one file of every sheet in a slot of its catalogue size
    PicturePerSheet,  // GFX00.png to GFXDE.png: each sheet as a picture
    PictureCombined,  // one picture of every sheet
};

inline bool isCombinedFormat(SheetFileFormat format)
{
    return format == SheetFileFormat::RawCombined || format == SheetFileFormat::PictureCombined;
}

inline bool isPictureFormat(SheetFileFormat format)
{
    return format == SheetFileFormat::PicturePerSheet || format == SheetFileFormat::PictureCombined;
}

// The same arrangement in the other kind: raw for pictures, pictures for raw.
SheetFileFormat otherKindOf(SheetFileFormat format);

// Where a run's sheets are: their form, and the combined file, or the folder
// of the per-sheet files ("" for the current folder), as the user gave it.
struct SheetFiles {
    SheetFileFormat format = SheetFileFormat::RawPerSheet;
    std::string path;
};

// The path of the file that holds `sheet`: the combined file, or the sheet's
// own file in the folder (the bare name for the current folder).
std::string sheetFilePath(const SheetFiles& files, std::uint32_t sheet);

// How many files a set has (223 per-sheet files, or one combined file), and
// which sheets file `k` of them holds: `first` and `count` of them.
std::uint32_t sheetFileCount(SheetFileFormat format);
void sheetsOfFile(SheetFileFormat format, std::uint32_t k, std::uint32_t& first, std::uint32_t& count);

// One sheet's place in a file being read or made: its number, its bytes
// (kSheetBufferSize room when a per-sheet raw file is read into it), and
// their length (the catalogue size for a slot or a picture; read: what the
// file gave).
struct SheetSlot {
    std::uint32_t sheet = 0;
    std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
};

// A file's bytes as made for writing: the sheets' own bytes, or a picture's.
struct MadeSheetFile {
    const std::uint8_t* bytes = nullptr;
    std::uint64_t length = 0;
    EncodedPicture picture;  // owns the bytes of a picture
};

struct SheetFileFunctions {
    // Reads the file at `path` into its `count` sheets' slots, as insertion
    // reads it; a per-sheet file is never read through a symbolic link.
    // False with the refusal in `reading`; warnings are in it too. Prints nothing.
    bool (*read)(const char* path, const RomLayout& layout, SheetSlot* slots, std::uint32_t count,
                 SheetFileReading& reading);
    // Makes the bytes of the file that holds these sheets (each slot its
    // length). False after printing why not (memory ran out).
    bool (*make)(const char* path, const SheetSlot* slots, std::uint32_t count, MadeSheetFile& file);
};
