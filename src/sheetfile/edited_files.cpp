#include "sheetfile/edited_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "codec/codec_limits.h"
#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"
#include "rom/stored_form.h"
#include "sheetfile/png_sheet_file.h"

namespace {

// Reads up to `limit` bytes from the start of the regular file `path` into
// `bytes`; `size` receives the file's whole size. False when it cannot be read.
bool readStart(const char* path, std::uint8_t* bytes, std::uint64_t limit, std::uint64_t& size)
{
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    const bool measured = measureFileSize(file, size) && seekTo(file, 0);
    const std::uint64_t wanted = size < limit ? size : limit;
    const bool read = measured && std::fread(bytes, 1, static_cast<std::size_t>(wanted), file) == wanted;
    std::fclose(file);
    return read;
}

PictureSheet pictureSheet(std::uint32_t sheet, const RomLayout& layout, std::uint8_t* bytes)
{
    return {sheet, bytes, sheetSize(sheet, layout), sheetKeeps3BitsPerPixel(sheet)};
}

// Reads the picture `path` quietly into `sheets`. False when it cannot be read.
bool readPictureQuietly(const char* path, PictureSheet* sheets, std::uint32_t count)
{
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        return false;
    }
    PictureSource source;
    source.file = file;
    const bool read = readSheetPictureQuietly(source, sheets, count);
    std::fclose(file);
    return read;
}

}  // namespace

bool sheetFileHoldsChanges(const RomLayout& layout, std::uint32_t sheet, const char* path, bool picture,
                           const std::uint8_t* sheetBytes, std::uint32_t length)
{
    std::unique_ptr<std::uint8_t[]> held(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    if (!held) {
        return true;  // what cannot be looked at is kept
    }
    if (picture) {
        PictureSheet read = pictureSheet(sheet, layout, held.get());
        return !readPictureQuietly(path, &read, 1) ||
               !storesTheSame(layout, sheet, held.get(), read.length, sheetBytes, read.length);
    }
    std::uint64_t size = 0;
    if (!readStart(path, held.get(), kSheetBufferSize, size)) {
        return true;
    }
    if (size == 0) {
        return false;  // insertion refuses it: there is nothing of a sheet in it
    }
    const std::uint32_t heldLength = size < kSheetBufferSize ? static_cast<std::uint32_t>(size) : kSheetBufferSize;
    return !storesTheSame(layout, sheet, held.get(), heldLength, sheetBytes, length);
}

bool combinedFileHoldsChanges(const RomLayout& layout, const char* path, bool picture, const std::uint8_t* combined)
{
    const std::uint32_t total = combinedFileSize(layout);
    std::unique_ptr<std::uint8_t[]> held(new (std::nothrow) std::uint8_t[total]);
    if (!held) {
        return true;
    }
    if (picture) {
        PictureSheet sheets[kSheetCount];
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            sheets[sheet] = pictureSheet(sheet, layout, held.get() + combinedFileOffset(sheet, layout));
        }
        if (!readPictureQuietly(path, sheets, kSheetCount)) {
            return true;
        }
    } else {
        std::uint64_t size = 0;
        if (!readStart(path, held.get(), total, size) || size != total) {
            return true;
        }
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const std::uint32_t at = combinedFileOffset(sheet, layout);
        const std::uint32_t size = sheetSize(sheet, layout);
        if (!storesTheSame(layout, sheet, held.get() + at, size, combined + at, size)) {
            return true;
        }
    }
    return false;
}
