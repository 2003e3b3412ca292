#include "sheetfile/sheet_file_locks.h"

#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_file_name.h"

bool holdPerSheetFiles(HeldRunLock& held, bool pictures, FileLock lock)
{
    held = lockFolder("", lock);
    SheetFileName names[kSheetCount];
    const char* paths[kSheetCount];
    HalfWritten results[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        names[sheet] = sheetFileName(sheet, pictures);
        paths[sheet] = names[sheet].text;
    }
    restoreHalfWrittenFiles(paths, kSheetCount, false, results);
    bool usable = true;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        usable = reportHalfWritten(paths[sheet], results[sheet]) && usable;
    }
    return usable;
}

bool holdCombinedFile(HeldRunLock& held, const char* path, FileLock lock)
{
    held = lockFileOrFolder(path, lock);
    HalfWritten result = HalfWritten::No;
    restoreHalfWrittenFiles(&path, 1, true, &result);
    return reportHalfWritten(path, result);
}
