#include "sheetfile/sheet_file_format.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "platform/output.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheetfile_messages.h"

SheetFileFormat otherKindOf(SheetFileFormat format)
{
    switch (format) {
    case SheetFileFormat::RawPerSheet:
        return SheetFileFormat::PicturePerSheet;
    case SheetFileFormat::RawCombined:
        return SheetFileFormat::PictureCombined;
    case SheetFileFormat::PicturePerSheet:
        return SheetFileFormat::RawPerSheet;
    case SheetFileFormat::PictureCombined:
        return SheetFileFormat::RawCombined;
    }
    return format;
}

std::string sheetFilePath(const SheetFiles& files, std::uint32_t sheet)
{
    if (isCombinedFormat(files.format)) {
        return files.path;
    }
    const SheetFileName name = sheetFileName(sheet, isPictureFormat(files.format));
    if (files.path.empty()) {
        return name.text;
    }
    return (std::filesystem::path(files.path) / name.text).string();
}

std::uint32_t sheetFileCount(SheetFileFormat format)
{
    return isCombinedFormat(format) ? 1 : kSheetCount;
}

void sheetsOfFile(SheetFileFormat format, std::uint32_t k, std::uint32_t& first, std::uint32_t& count)
{
    first = isCombinedFormat(format) ? 0 : k;
    count = isCombinedFormat(format) ? kSheetCount : 1;
}

void printSheetFileReading(const SheetFileReading& reading, const char* path, std::uint32_t sheet,
                           const RomLayout& layout)
{
    const unsigned number = static_cast<unsigned>(sheet);
    switch (reading.fault) {
    case SheetFileFault::SymbolicLink:
        printError(kFmtSheetFileIsLink, path);
        return;
    case SheetFileFault::CannotOpen:
        printError(kFmtCouldNotOpen, path);
        printSystemReason(reading.systemError);
        return;
    case SheetFileFault::Empty:
        printError(kFmtSheetFileEmpty, path);
        return;
    case SheetFileFault::OtherRelease: {
        const RomLayout& other = layout.version == RomVersion::Us ? kJapanLayout : kUsLayout;
        printError(kFmtSheetFileOfOtherRelease, path, releaseName(other), releaseName(layout));
        return;
    }
    case SheetFileFault::WrongSize:
        printError(kFmtSheetFileWrongSize, path, reading.size, static_cast<unsigned>(combinedFileSize(layout)));
        return;
    case SheetFileFault::Picture:
    case SheetFileFault::None:
        if (reading.isPicture) {
            printSheetPictureRecord(reading.picture, path);
            if (reading.picture.fault.fault == PictureFault::CannotRead) {
                printErrnoReason(reading.picture.fault.systemError);
            }
            return;
        }
        break;
    case SheetFileFault::CannotRead:
        break;
    }
    if (reading.tooLarge) {
        printWarning(kFmtSheetTooLarge, number);
    }
    if (reading.fault == SheetFileFault::CannotRead) {
        printError(kFmtCouldNotRead, path);
        printSystemReason(reading.systemError);
    } else if (reading.fault == SheetFileFault::None && reading.keptLength != 0) {
        printWarning(kFmtSheetLengthNotKept, number, reading.size, static_cast<unsigned>(reading.keptLength));
    }
}
