#pragma once
// The one table of the sheet-file forms: for each form, the record of its
// functions, kept in the form's own file pair.

#include "sheetfile/sheet_file_format.h"

// The functions of the form `format`.
const SheetFileFunctions& sheetFileFunctions(SheetFileFormat format);
