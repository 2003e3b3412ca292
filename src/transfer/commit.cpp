#include "transfer/commit.h"

#include <memory>

#include "platform/file_io.h"
#include "platform/output.h"
#include "rom/rom_messages.h"
#include "sheetfile/sheetfile_messages.h"
#include "transfer/transfer_messages.h"

namespace {

enum class Target : std::uint8_t { Rom, SheetFile, Patch };

// Prints how the write of the file at `path` ended. True when it was written.
bool reportWrite(Target target, const char* path, WholeFileWrite result)
{
    const bool rom = target == Target::Rom;
    switch (result) {
    case WholeFileWrite::Written:
        return true;
    case WholeFileWrite::CannotOpen:
    case WholeFileWrite::NotWritten:
        if (rom) {
            printError(kFmtRomWriteFailed, path);
            printSystemReason();
            printError("%s", kMsgRomUnchanged);
        } else {
            printError(result == WholeFileWrite::CannotOpen ? kFmtCouldNotOpen : kFmtCouldNotWrite, path);
            printSystemReason();
        }
        return false;
    case WholeFileWrite::NotRead:
        printError(rom ? kFmtRomReadFailed : kFmtCouldNotWrite, path);
        printSystemReason();
        return false;
    case WholeFileWrite::Restored:
        printError(rom ? kFmtRomWriteFailed : kFmtCouldNotWrite, path);
        printSystemReason();
        if (rom) {
            printError("%s", kMsgRomRestored);
        } else {
            printError(kFmtSheetFileRestored, path);
        }
        return false;
    case WholeFileWrite::NotRestored:
        printError(rom ? kFmtRomWriteFailed : kFmtCouldNotWrite, path);
        printSystemReason();
        printError(rom ? kFmtRomNotRestored : kFmtSheetFileNotRestored, path);
        return false;
    }
    return false;
}

}  // namespace

bool commitRom(RomImage& rom, const RomPlan& plan)
{
    if (!plan.writes) {
        return true;
    }
    std::unique_ptr<std::uint8_t[]> grown;
    std::uint8_t* image = rom.bytes.get();
    if (plan.size == rom.size) {
        applyRomPlan(plan, image);
    } else if (buildNewFile(rom, plan, grown)) {
        image = grown.get();
    } else {
        return false;
    }
    clearSystemError();
    return reportWrite(Target::Rom, rom.path, writeWholeFile(rom.path, image, plan.size));
}

bool commitSheetFiles(const SheetFilesPlan& plan)
{
    const char* leftovers[2 * kSheetCount];
    for (std::uint32_t k = 0; k < plan.leftoverCount; ++k) {
        leftovers[k] = plan.leftoverNames[k].c_str();
    }
    removeLeftoverTemporaries(leftovers, plan.leftoverCount, plan.throughLinks);
    FileInBatch batch[kSheetCount];
    std::uint32_t count = 0;
    for (std::uint32_t k = 0; k < plan.count; ++k) {
        const PlannedSheetFile& file = plan.files[k];
        if (!file.alreadyThere) {
            batch[count++] = {file.path.c_str(), file.bytes, file.length};
        }
    }
    if (count == 0) {
        return true;
    }
    std::uint32_t failed = 0;
    clearSystemError();
    const WholeFileWrite result = writeFileBatch(batch, count, failed);
    return reportWrite(Target::SheetFile, batch[failed].path, result);
}

bool makeRunPatch(const RomImage& rom, const RomPlan& plan, PatchFormat format, PatchBytes& patch)
{
    std::unique_ptr<std::uint8_t[]> target;
    if (!buildNewFile(rom, plan, target)) {
        return false;
    }
    switch (makePatch(format, rom.bytes.get(), rom.size, target.get(), plan.size, patch)) {
    case PatchResult::Made:
        return true;
    case PatchResult::TooLarge:
        printError("%s", kMsgPatchTooLargeForIps);
        return false;
    case PatchResult::OutOfMemory:
        break;
    }
    printError("%s", kMsgOutOfMemory);
    return false;
}

bool commitPatch(const char* path, const PatchBytes& patch)
{
    removeLeftoverTemporaries(&path, 1, true);
    clearSystemError();
    return reportWrite(Target::Patch, path, writeWholeFile(path, patch.bytes, patch.length));
}
