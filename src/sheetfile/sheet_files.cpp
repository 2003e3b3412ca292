#include "sheetfile/sheet_files.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "codec/codec_limits.h"
#include "platform/file_io.h"
#include "platform/output.h"
#include "rom/identify.h"
#include "rom/rom_messages.h"
#include "rom/stored_form.h"
#include "sheetfile/edited_files.h"
#include "sheetfile/sheet_file_forms.h"
#include "sheetfile/sheet_file_locks.h"
#include "sheetfile/sheetfile_messages.h"

namespace {

// The slots of every sheet in a combined buffer, in sheet order.
void combinedSlots(const RomLayout& layout, std::uint8_t* combined, SheetSlot* slots)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        slots[sheet] = {sheet, combined + combinedFileOffset(sheet, layout), sheetSize(sheet, layout)};
    }
}

// Whether the file at `path` (reached through a symbolic link only when
// `throughLinks`) is a ROM of the game, after printing the refusal.
bool refusesGameRom(const char* path, bool throughLinks)
{
    std::FILE* file = throughLinks ? openExistingFile(path, "rb") : openExistingFileNotThroughLink(path, "rb");
    if (file == nullptr) {
        return false;
    }
    std::uint64_t size = 0;
    const bool rom = measureFileSize(file, size) && looksLikeGameRom(file, size);
    std::fclose(file);
    if (rom) {
        printError(kFmtSheetFileIsRom, path);
    }
    return rom;
}

// The slots of the sink's file that holds `sheet`.
std::uint32_t sinkSlots(SheetSink& sink, std::uint32_t sheet, SheetSlot* slots)
{
    if (sink.combined) {
        combinedSlots(*sink.layout, sink.combined.get(), slots);
        return kSheetCount;
    }
    slots[0] = {sheet, sink.sheets[sheet].get(), sink.lengths[sheet]};
    return 1;
}

// Whether an existing file holds changes the user made (edited_files.h),
// unless the sink may replace them: then the first three are named, in
// sheet order, plan.filesHoldingChanges counts them all, and the plan is
// refused. A file that already holds its new bytes holds no changes.
bool refusesFilesHoldingChanges(SheetSink& sink, SheetFilesPlan& plan, const PathLook* now)
{
    if (sink.replaceEdited) {
        return false;
    }
    constexpr std::uint32_t kNamed = 3;
    const RomLayout& layout = *sink.layout;
    std::uint32_t found = 0;
    SheetSlot slots[kSheetCount];
    for (std::uint32_t k = 0; k < plan.count; ++k) {
        const PlannedSheetFile& file = plan.files[k];
        if (now[k].kind != PathKind::RegularFile || file.alreadyThere) {
            continue;
        }
        const std::uint32_t count = sinkSlots(sink, file.sheet, slots);
        if (!sheetFileHoldsChanges(layout, plan.format, file.path.c_str(), slots, count)) {
            continue;
        }
        if (found < kNamed) {
            if (isCombinedFormat(plan.format)) {
                printError(kFmtCombinedFileDiffers, file.path.c_str());
            } else {
                printError(kFmtSheetFileDiffers, file.path.c_str(), static_cast<unsigned>(file.sheet));
            }
        }
        ++found;
    }
    plan.filesHoldingChanges = found;
    return found != 0;
}

// The studies of the files, in their order; false after the first refusal.
bool studyFiles(SheetSink& sink, SheetFilesPlan& plan, const PathLook* now)
{
    // Per-sheet files only (a combined file's path is the user's own).
    for (std::uint32_t k = 0; k < plan.count && !isCombinedFormat(plan.format); ++k) {
        if (now[k].kind == PathKind::SymbolicLink) {
            printError(kFmtSheetFileIsLink, plan.files[k].path.c_str());
            return false;
        }
    }
    for (std::uint32_t k = 0; k < plan.count && !isCombinedFormat(plan.format); ++k) {
        // Only a file of a ROM's size is opened again to be asked.
        if (now[k].kind == PathKind::RegularFile && now[k].size >= kMinimumRomSize &&
            refusesGameRom(plan.files[k].path.c_str(), false)) {
            return false;
        }
    }
    for (std::uint32_t k = 0; k < plan.count && !isCombinedFormat(plan.format); ++k) {
        if (now[k].kind == PathKind::Other) {
            printError(kFmtCouldNotOpen, plan.files[k].path.c_str());
            return false;
        }
    }
    if (refusesFilesHoldingChanges(sink, plan, now)) {
        return false;
    }
    for (std::uint32_t k = 0; k < plan.count; ++k) {
        // The permission bits decide, not whether this process could write:
        // root may write anything, yet a read-only file stays as it is.
        if (now[k].kind == PathKind::RegularFile && !plan.files[k].alreadyThere && !now[k].writeBits) {
            printError(kFmtSheetFileReadOnly, plan.files[k].path.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

bool openSheetSource(SheetSource& source, const RomLayout& layout, const SheetFiles& files)
{
    source.layout = &layout;
    source.files = files;
    if (!holdSheetFiles(source.held, files, FileLock::Shared)) {
        return false;
    }
    if (!isCombinedFormat(files.format)) {
        return true;
    }
    source.combined.reset(new (std::nothrow) std::uint8_t[combinedFileSize(layout)]);
    if (!source.combined) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    SheetSlot slots[kSheetCount];
    combinedSlots(layout, source.combined.get(), slots);
    SheetFileReading reading;
    const bool read = sheetFileFunctions(files.format).read(files.path.c_str(), layout, slots, kSheetCount, reading);
    printSheetFileReading(reading, files.path.c_str(), 0, layout);
    return read;
}

bool readSheetFromSource(const SheetSource& source, std::uint32_t sheet, std::uint8_t* buffer,
                         std::uint32_t& length)
{
    const RomLayout& layout = *source.layout;
    length = 0;
    if (source.combined) {
        length = sheetSize(sheet, layout);
        std::memcpy(buffer, source.combined.get() + combinedFileOffset(sheet, layout), length);
        return true;
    }
    const std::string path = sheetFilePath(source.files, sheet);
    SheetSlot slot{sheet, buffer, sheetSize(sheet, layout)};
    SheetFileReading reading;
    const bool read = sheetFileFunctions(source.files.format).read(path.c_str(), layout, &slot, 1, reading);
    printSheetFileReading(reading, path.c_str(), sheet, layout);
    length = slot.length;
    return read;
}

bool refusesRomAsSheetFile(const char* path)
{
    return refusesGameRom(path, true);
}

bool openSheetSink(SheetSink& sink, const RomLayout& layout, const SheetFiles& files)
{
    sink.layout = &layout;
    sink.files = files;
    if (!isCombinedFormat(files.format)) {
        return true;
    }
    if (!mayCreateOrReplace(files.path.c_str())) {
        printError(kFmtCouldNotOpen, files.path.c_str());
        return false;
    }
    sink.combined.reset(new (std::nothrow) std::uint8_t[combinedFileSize(layout)]);
    if (!sink.combined) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    return true;
}

bool putSheetIntoSink(SheetSink& sink, std::uint32_t sheet, const std::uint8_t* buffer, std::uint32_t length)
{
    const RomLayout& layout = *sink.layout;
    if (sink.combined) {
        std::memcpy(sink.combined.get() + combinedFileOffset(sheet, layout), buffer, sheetSize(sheet, layout));
        return true;
    }
    // A picture holds the sheet's catalogue size, as its combined slot does.
    const std::uint32_t kept = isPictureFormat(sink.files.format) ? sheetSize(sheet, layout) : length;
    sink.sheets[sheet].reset(new (std::nothrow) std::uint8_t[kept]);
    if (!sink.sheets[sheet]) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    std::memcpy(sink.sheets[sheet].get(), buffer, kept);
    sink.lengths[sheet] = kept;
    return true;
}

bool planSheetFiles(SheetSink& sink, const SheetSelection& selection, SheetFilesPlan& plan)
{
    const SheetFileFormat format = sink.files.format;
    const SheetFileFunctions& functions = sheetFileFunctions(format);
    const bool combined = isCombinedFormat(format);
    plan.format = format;
    plan.count = 0;
    plan.throughLinks = combined;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (combined ? sheet == 0 : isSelected(selection, sheet)) {
            plan.files[plan.count++].sheet = sheet;
        }
    }
    PathLook now[kSheetCount];
    SheetSlot slots[kSheetCount];
    for (std::uint32_t k = 0; k < plan.count; ++k) {
        PlannedSheetFile& file = plan.files[k];
        file.path = sheetFilePath(sink.files, file.sheet);
        const std::uint32_t count = sinkSlots(sink, file.sheet, slots);
        MadeSheetFile& made = plan.made[k];
        if (!functions.make(file.path.c_str(), slots, count, made)) {
            return false;
        }
        file.bytes = made.bytes;
        file.length = made.length;
        now[k] = lookAtPath(file.path.c_str(), combined, file.bytes, file.length);
        file.alreadyThere = now[k].holdsBytes;
        plan.written += file.alreadyThere ? 0 : 1;
    }
    if (!studyFiles(sink, plan, now)) {
        return false;
    }
    // What killed extractions of either kind left beside the files.
    plan.leftoverCount = 0;
    for (std::uint32_t k = 0; k < plan.count; ++k) {
        plan.leftoverNames[plan.leftoverCount++] = plan.files[k].path;
        if (!combined) {
            SheetFiles other = sink.files;
            other.format = otherKindOf(format);
            plan.leftoverNames[plan.leftoverCount++] = sheetFilePath(other, plan.files[k].sheet);
        }
    }
    return true;
}

void findDifferingPairs(const RomLayout& layout, const SheetFiles& files, const SheetSelection& selection,
                        DifferingPairs& pairs)
{
    pairs = DifferingPairs{};
    SheetFiles other = files;
    other.format = otherKindOf(files.format);
    std::unique_ptr<std::uint8_t[]> buffers(new (std::nothrow) std::uint8_t[2 * kSheetBufferSize]);
    if (!buffers) {
        return;
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (!isSelected(selection, sheet)) {
            continue;
        }
        const std::string path = sheetFilePath(files, sheet);
        const std::string otherPath = sheetFilePath(other, sheet);
        if (lookAtPath(otherPath.c_str(), false, nullptr, 0).kind != PathKind::RegularFile ||
            lookAtPath(path.c_str(), false, nullptr, 0).kind != PathKind::RegularFile) {
            continue;
        }
        // Each read as insertion reads it, zero past what its file gives.
        std::memset(buffers.get(), 0, 2 * kSheetBufferSize);
        SheetSlot read{sheet, buffers.get(), sheetSize(sheet, layout)};
        SheetSlot beside{sheet, buffers.get() + kSheetBufferSize, sheetSize(sheet, layout)};
        SheetFileReading reading;
        SheetFileReading besideReading;
        const bool same =
            sheetFileFunctions(files.format).read(path.c_str(), layout, &read, 1, reading) &&
            sheetFileFunctions(other.format).read(otherPath.c_str(), layout, &beside, 1, besideReading) &&
            storesTheSame(layout, sheet, read.bytes, read.length, beside.bytes, beside.length);
        if (!same) {
            if (pairs.count < 3) {
                pairs.sheets[pairs.count] = sheet;
            }
            ++pairs.count;
        }
    }
}

bool folderHoldsSheetFiles(const SheetFiles& files, SheetFileFormat format, const SheetSelection& selection)
{
    SheetFiles kind = files;
    kind.format = format;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (isSelected(selection, sheet) &&
            lookAtPath(sheetFilePath(kind, sheet).c_str(), false, nullptr, 0).kind == PathKind::RegularFile) {
            return true;
        }
    }
    return false;
}
