#include "sheetfile/sheet_file_forms.h"

#include "sheetfile/picture_sheet_file.h"
#include "sheetfile/raw_sheet_file.h"

const SheetFileFunctions& sheetFileFunctions(SheetFileFormat format)
{
    switch (format) {
    case SheetFileFormat::RawPerSheet:
        return kRawPerSheetFiles;
    case SheetFileFormat::RawCombined:
        return kRawCombinedFile;
    case SheetFileFormat::PicturePerSheet:
        return kPicturePerSheetFiles;
    case SheetFileFormat::PictureCombined:
        break;
    }
    return kPictureCombinedFile;
}
