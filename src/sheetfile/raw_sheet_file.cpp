#include "sheetfile/raw_sheet_file.h"

#include <cerrno>
#include <cstdio>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"

namespace {

// The length the game keeps for a sheet that holds 3 bits per pixel or sits
// at a fixed offset; 0 for the type-0 sheets, whose length is theirs to choose.
std::uint32_t keptLength(std::uint32_t sheet, const RomLayout& layout)
{
    if (sheetStorage(sheet) == SheetStorage::FixedOffset) {
        return sheetSize(sheet, layout);
    }
    return sheetKeeps3BitsPerPixel(sheet) ? kRaw4bppSheetSize : 0;
}

bool fail(SheetFileReading& reading, SheetFileFault fault)
{
    reading.fault = fault;
    if (fault == SheetFileFault::CannotOpen || fault == SheetFileFault::CannotRead) {
        reading.systemError = lastSystemError();
    }
    return false;
}

// A per-sheet file: its first 0x8000 bytes, marked when longer, or when its
// length is not the one the game keeps; an empty one is refused.
bool readPerSheetFile(const char* path, const RomLayout& layout, SheetSlot* slots, std::uint32_t /*count*/,
                      SheetFileReading& reading)
{
    SheetSlot& slot = slots[0];
    clearSystemError();
    if (isSymbolicLink(path)) {
        return fail(reading, SheetFileFault::SymbolicLink);
    }
    std::FILE* file = openExistingFileNotThroughLink(path, "rb");
    if (file == nullptr) {
        return fail(reading, SheetFileFault::CannotOpen);
    }
    std::uint64_t size = 0;
    bool read = measureFileSize(file, size);
    reading.size = size;
    if (read && size == 0) {
        std::fclose(file);
        return fail(reading, SheetFileFault::Empty);
    }
    reading.tooLarge = read && size > kSheetBufferSize;
    slot.length = static_cast<std::uint32_t>(size < kSheetBufferSize ? size : kSheetBufferSize);
    read = read && seekTo(file, 0) && std::fread(slot.bytes, 1, slot.length, file) == slot.length;
    if (!read && std::ferror(file) != 0) {
        noteErrno(errno);
    }
    std::fclose(file);
    if (!read) {
        return fail(reading, SheetFileFault::CannotRead);
    }
    // The file's own size, however large: the first 0x8000 bytes are used.
    const std::uint32_t kept = keptLength(slot.sheet, layout);
    reading.keptLength = kept != 0 && size != kept ? kept : 0;
    return true;
}

// The combined file must hold exactly this release's sheets: another length
// means another release's file, a ROM, or a file cut short.
bool readCombinedFile(const char* path, const RomLayout& layout, SheetSlot* slots, std::uint32_t count,
                      SheetFileReading& reading)
{
    clearSystemError();
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        return fail(reading, SheetFileFault::CannotOpen);
    }
    std::uint64_t size = 0;
    bool read = measureFileSize(file, size);
    reading.size = size;
    if (read && size != combinedFileSize(layout)) {
        std::fclose(file);
        const RomLayout& other = layout.version == RomVersion::Us ? kJapanLayout : kUsLayout;
        return fail(reading, size == combinedFileSize(other) ? SheetFileFault::OtherRelease : SheetFileFault::WrongSize);
    }
    // The slots lie back to back from the first one's bytes.
    const std::uint32_t needed = combinedFileSize(layout);
    read = read && count > 0 && seekTo(file, 0) && std::fread(slots[0].bytes, 1, needed, file) == needed;
    if (!read && std::ferror(file) != 0) {
        noteErrno(errno);
    }
    std::fclose(file);
    if (!read) {
        return fail(reading, SheetFileFault::CannotRead);
    }
    return true;
}

// Raw files are the sheets' bytes themselves: a per-sheet file its slot, the
// combined file every slot from the first one's bytes on.
bool makeRawFile(const char* /*path*/, const SheetSlot* slots, std::uint32_t count, MadeSheetFile& file)
{
    file.bytes = slots[0].bytes;
    file.length = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        file.length += slots[k].length;
    }
    return true;
}

}  // namespace

const SheetFileFunctions kRawPerSheetFiles = {readPerSheetFile, makeRawFile};
const SheetFileFunctions kRawCombinedFile = {readCombinedFile, makeRawFile};
