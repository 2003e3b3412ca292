#pragma once
// What is at the paths of a run's sheet files, asked without reading them,
// for the advice a run gives after a sheet file was refused.

#include <cstdint>
#include <string>

#include "rom/rom_image.h"
#include "sheetfile/sheet_file_format.h"

// Around the per-sheet file of `sheet` in `files`' folder.
struct SheetFilesFound {
    bool sheetFileThere = false;  // something is at its path (a link counts, even one to nothing)
    bool otherKindThere = false;  // the same sheet's file of the other kind is a regular file
    std::string otherKindName;    // ... its path
    std::uint32_t missing = 0;    // how many of the set's 223 files are not there
};
SheetFilesFound lookForSheetFiles(const SheetFiles& files, std::uint32_t sheet);

// What the combined file at `path` holds, by its first bytes and its size.
struct CombinedFileLook {
    bool picture = false;  // it starts with the PNG signature
    bool rawSize = false;  // it is exactly as long as a raw combined file of `layout`
};
CombinedFileLook lookAtCombinedFile(const char* path, const RomLayout& layout);
