#include "sheetfile/picture_sheet_file.h"

#include <cerrno>
#include <cstdio>

#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/png_sheet_file.h"

namespace {

// The picture's layout of the slots' sheets.
void describeSheets(const SheetSlot* slots, std::uint32_t count, PictureSheet* sheets)
{
    for (std::uint32_t k = 0; k < count; ++k) {
        sheets[k] = {slots[k].sheet, slots[k].bytes, slots[k].length, sheetKeeps3BitsPerPixel(slots[k].sheet)};
    }
}

// Reads a whole picture of `count` sheets from `path`, through a symbolic
// link only when `throughLinks`.
bool readPictureFile(const char* path, bool throughLinks, SheetSlot* slots, std::uint32_t count,
                     SheetFileReading& reading)
{
    if (!throughLinks && isSymbolicLink(path)) {
        reading.fault = SheetFileFault::SymbolicLink;
        return false;
    }
    clearSystemError();
    std::FILE* file = throughLinks ? openExistingFile(path, "rb") : openExistingFileNotThroughLink(path, "rb");
    if (file == nullptr) {
        reading.fault = SheetFileFault::CannotOpen;
        reading.systemError = lastSystemError();
        return false;
    }
    PictureSheet sheets[kSheetCount];
    describeSheets(slots, count, sheets);
    PictureSource source;
    source.file = file;
    reading.picture = readSheetPictureRecord(source, sheets, count);
    reading.isPicture = true;
    std::fclose(file);
    if (!reading.picture.read) {
        reading.fault = SheetFileFault::Picture;
    }
    return reading.picture.read;
}

bool readPerSheetPicture(const char* path, const RomLayout& /*layout*/, SheetSlot* slots, std::uint32_t count,
                         SheetFileReading& reading)
{
    return readPictureFile(path, false, slots, count, reading);
}

bool readCombinedPicture(const char* path, const RomLayout& /*layout*/, SheetSlot* slots, std::uint32_t count,
                         SheetFileReading& reading)
{
    return readPictureFile(path, true, slots, count, reading);
}

bool makePicture(const char* path, const SheetSlot* slots, std::uint32_t count, MadeSheetFile& file)
{
    PictureSheet sheets[kSheetCount];
    describeSheets(slots, count, sheets);
    if (!encodeSheetPicture(path, sheets, count, file.picture)) {
        return false;
    }
    file.bytes = file.picture.bytes;
    file.length = file.picture.length;
    return true;
}

}  // namespace

const SheetFileFunctions kPicturePerSheetFiles = {readPerSheetPicture, makePicture};
const SheetFileFunctions kPictureCombinedFile = {readCombinedPicture, makePicture};
