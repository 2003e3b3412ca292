#include "sheetfile/edited_files.h"

#include <memory>
#include <new>

#include "codec/codec_limits.h"
#include "rom/sheet_catalogue.h"
#include "rom/stored_form.h"
#include "sheetfile/sheet_file_forms.h"

bool sheetFileHoldsChanges(const RomLayout& layout, SheetFileFormat format, const char* path,
                           const SheetSlot* newSheets, std::uint32_t count)
{
    // Room for what the file holds: a combined file's slots, or one sheet's
    // buffer, zero past what the file gives as insertion's sheet buffer is.
    const bool combined = isCombinedFormat(format);
    const std::uint32_t room = combined ? combinedFileSize(layout) : kSheetBufferSize;
    std::unique_ptr<std::uint8_t[]> held(new (std::nothrow) std::uint8_t[room]());
    if (!held) {
        return true;
    }
    SheetSlot slots[kSheetCount];
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t sheet = newSheets[k].sheet;
        slots[k] = {sheet, held.get() + (combined ? combinedFileOffset(sheet, layout) : 0), newSheets[k].length};
    }
    SheetFileReading reading;
    if (!sheetFileFunctions(format).read(path, layout, slots, count, reading)) {
        return reading.fault != SheetFileFault::Empty;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        if (!storesTheSame(layout, slots[k].sheet, slots[k].bytes, slots[k].length, newSheets[k].bytes,
                           newSheets[k].length)) {
            return true;
        }
    }
    return false;
}
