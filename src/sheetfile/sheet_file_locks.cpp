#include "sheetfile/sheet_file_locks.h"

#include <string>

#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"

bool holdSheetFiles(HeldRunLock& held, const SheetFiles& files, FileLock lock)
{
    if (isCombinedFormat(files.format)) {
        const char* path = files.path.c_str();
        held = lockFileOrFolder(path, lock);
        HalfWritten result = HalfWritten::No;
        restoreHalfWrittenFiles(&path, 1, true, &result);
        return reportHalfWritten(path, result);
    }
    held = lockFolder(files.path.c_str(), lock);
    std::string names[kSheetCount];
    const char* paths[kSheetCount];
    HalfWritten results[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        names[sheet] = sheetFilePath(files, sheet);
        paths[sheet] = names[sheet].c_str();
    }
    restoreHalfWrittenFiles(paths, kSheetCount, false, results);
    bool usable = true;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        usable = reportHalfWritten(paths[sheet], results[sheet]) && usable;
    }
    return usable;
}
