#include "sheetfile/sheet_probe.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/png_format.h"

namespace fs = std::filesystem;

namespace {

bool somethingAt(const std::string& path)
{
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

}  // namespace

SheetFilesFound lookForSheetFiles(const SheetFiles& files, std::uint32_t sheet)
{
    SheetFilesFound found;
    found.sheetFileThere = somethingAt(sheetFilePath(files, sheet));
    if (found.sheetFileThere) {
        return found;
    }
    SheetFiles other = files;
    other.format = otherKindOf(files.format);
    found.otherKindName = sheetFilePath(other, sheet);
    std::error_code error;
    found.otherKindThere = fs::is_regular_file(found.otherKindName, error);
    for (std::uint32_t n = 0; n < kSheetCount; ++n) {
        found.missing += somethingAt(sheetFilePath(files, n)) ? 0u : 1u;
    }
    return found;
}

CombinedFileLook lookAtCombinedFile(const char* path, const RomLayout& layout)
{
    CombinedFileLook look;
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        return look;
    }
    std::uint8_t start[sizeof kPngSignature] = {};
    look.picture = std::fread(start, 1, sizeof start, file) == sizeof start &&
                   std::memcmp(start, kPngSignature, sizeof start) == 0;
    std::uint64_t size = 0;
    look.rawSize = measureFileSize(file, size) && size == combinedFileSize(layout);
    std::fclose(file);
    return look;
}
