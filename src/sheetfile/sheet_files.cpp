#include "sheetfile/sheet_files.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "platform/file_io.h"
#include "rom/identify.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/edited_files.h"
#include "sheetfile/png_sheet_file.h"
#include "sheetfile/sheet_file_locks.h"
#include "sheetfile/sheet_file_name.h"
#include "sheetfile/sheetfile_messages.h"

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

PictureSheet pictureSheet(std::uint32_t sheet, const RomLayout& layout, std::uint8_t* bytes)
{
    return {sheet, bytes, sheetSize(sheet, layout), sheetKeeps3BitsPerPixel(sheet)};
}

// Refuses a per-sheet file that is a symbolic link: such a file could make
// the tool read or write any file the user may reach. Prints the refusal.
bool refusesLink(const char* path)
{
    if (!isSymbolicLink(path)) {
        return false;
    }
    std::printf(kFmtSheetFileIsLink, path);
    return true;
}

// Reads a whole picture of `count` sheets from `path` (through a symbolic
// link only when `throughLinks`). False after a message.
bool readPictureFile(const char* path, bool throughLinks, PictureSheet* sheets, std::uint32_t count)
{
    if (!throughLinks && refusesLink(path)) {
        return false;
    }
    std::FILE* file = throughLinks ? openExistingFile(path, "rb") : openExistingFileNotThroughLink(path, "rb");
    if (file == nullptr) {
        std::printf(kFmtCouldNotOpen, path);
        return false;
    }
    const bool read = readSheetPicture(file, path, sheets, count);
    std::fclose(file);
    return read;
}

// The combined picture: all sheets, each into its slot of `combined`.
bool readCombinedPicture(const RomLayout& layout, const char* path, std::uint8_t* combined)
{
    PictureSheet sheets[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        sheets[sheet] = pictureSheet(sheet, layout, combined + combinedFileOffset(sheet, layout));
    }
    return readPictureFile(path, true, sheets, kSheetCount);
}

// The combined raw file, which must hold exactly this release's sheets:
// another length means another release's file, a ROM, or a file cut short.
bool readCombinedFile(const RomLayout& layout, const char* path, std::uint8_t* combined)
{
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        std::printf(kFmtCouldNotOpen, path);
        return false;
    }
    std::uint64_t size = 0;
    const std::uint32_t needed = combinedFileSize(layout);
    bool ok = measureFileSize(file, size);
    if (ok && size != needed) {
        std::fclose(file);
        const RomLayout& other = layout.version == RomVersion::Us ? kJapanLayout : kUsLayout;
        if (size == combinedFileSize(other)) {
            std::printf(kFmtSheetFileOfOtherRelease, path, releaseName(other), releaseName(layout));
        } else {
            std::printf(kFmtSheetFileWrongSize, path, size, static_cast<unsigned>(needed));
        }
        return false;
    }
    ok = ok && seekTo(file, 0) && std::fread(combined, 1, needed, file) == needed;
    std::fclose(file);
    if (!ok) {
        std::printf(kFmtCouldNotRead, path);
    }
    return ok;
}

// A raw per-sheet file: its first 0x8000 bytes, warned about when longer, or
// when its length is not the one the game keeps; an empty one is refused.
bool readRawSheetFile(const RomLayout& layout, std::uint32_t sheet, std::uint8_t* buffer, std::uint32_t& length)
{
    const SheetFileName fileName = sheetFileName(sheet);
    const char* name = fileName.text;
    if (refusesLink(name)) {
        return false;
    }
    std::FILE* file = openExistingFileNotThroughLink(name, "rb");
    if (file == nullptr) {
        std::printf(kFmtCouldNotOpen, name);
        return false;
    }
    std::uint64_t size = 0;
    bool readOk = measureFileSize(file, size);
    if (readOk && size == 0) {
        // An empty stream would go in and fail every later extraction.
        std::fclose(file);
        std::printf(kFmtSheetFileEmpty, name);
        return false;
    }
    if (readOk && size > kSheetBufferSize) {
        std::printf(kFmtSheetTooLarge, static_cast<unsigned>(sheet));
    }
    length = static_cast<std::uint32_t>(size < kSheetBufferSize ? size : kSheetBufferSize);
    readOk = readOk && seekTo(file, 0) && std::fread(buffer, 1, length, file) == length;
    std::fclose(file);
    if (!readOk) {
        std::printf(kFmtCouldNotRead, name);
        return false;
    }
    // The file's own size, however large: the first 0x8000 bytes are used.
    const std::uint32_t kept = keptLength(sheet, layout);
    if (kept != 0 && size != kept) {
        std::printf(kFmtSheetLengthNotKept, static_cast<unsigned>(sheet), size, static_cast<unsigned>(kept));
    }
    return true;
}

// Prints what became of the file at `path` after a whole-file write. True
// when it was written.
bool reportWrite(const char* path, WholeFileWrite result)
{
    switch (result) {
    case WholeFileWrite::Written:
        return true;
    case WholeFileWrite::CannotOpen:
        std::printf(kFmtCouldNotOpen, path);
        return false;
    case WholeFileWrite::NotWritten:
        std::printf(kFmtCouldNotWrite, path);
        return false;
    case WholeFileWrite::Restored:
        std::printf(kFmtCouldNotWrite, path);
        std::printf(kFmtSheetFileRestored, path);
        return false;
    case WholeFileWrite::NotRestored:
        std::printf(kFmtCouldNotWrite, path);
        std::printf(kFmtSheetFileNotRestored, path);
        return false;
    }
    return false;
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
        std::printf(kFmtSheetFileIsRom, path);
    }
    return rom;
}

// One sheet file an extraction would write: its new bytes (owned by the
// sink or by an encoded picture) and what is at its path now.
struct PlannedFile {
    const char* path = nullptr;
    const std::uint8_t* bytes = nullptr;
    std::uint64_t length = 0;
    PathLook now;  // now.holdsBytes: it already holds the new bytes and is left as it is
};

// Whether an existing sheet file holds changes the user made (edited_files.h),
// unless the sink may replace them: then the first three are named, in
// sheet order, sink.filesHoldingChanges counts them all, and the extraction
// is refused. `files` are the per-sheet files in sheet order, or the combined
// file alone. A file that already holds its new bytes holds no changes.
bool refusesFilesHoldingChanges(SheetSink& sink, const PlannedFile* files, std::uint32_t count)
{
    if (sink.replaceEdited) {
        return false;
    }
    constexpr std::uint32_t kNamed = 3;
    const RomLayout& layout = *sink.layout;
    std::uint32_t found = 0;
    for (std::uint32_t k = 0; k < count; ++k) {
        const PlannedFile& file = files[k];
        if (file.now.kind != PathKind::RegularFile || file.now.holdsBytes) {
            continue;
        }
        const bool combined = sink.combinedPath != nullptr;
        const bool changed =
            combined ? combinedFileHoldsChanges(layout, file.path, sink.pictures, sink.combined.get())
                     : sheetFileHoldsChanges(layout, k, file.path, sink.pictures, sink.sheets[k].get(), sink.lengths[k]);
        if (!changed) {
            continue;
        }
        if (found < kNamed) {
            if (combined) {
                std::printf(kFmtCombinedFileDiffers, file.path);
            } else {
                std::printf(kFmtSheetFileDiffers, file.path, static_cast<unsigned>(k));
            }
        }
        ++found;
    }
    sink.filesHoldingChanges = found;
    return found != 0;
}

// The last studies of the files, after those of links, ROMs and files that
// cannot be had: changes the user made, then read-only files that would get
// other bytes. False after printing the first refusal.
bool studyReplacements(SheetSink& sink, const PlannedFile* files, std::uint32_t count)
{
    if (refusesFilesHoldingChanges(sink, files, count)) {
        return false;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        // The permission bits decide, not whether this process could write:
        // root may write anything, yet a read-only file stays as it is.
        const PathLook& now = files[k].now;
        if (now.kind == PathKind::RegularFile && !now.holdsBytes && !now.writeBits) {
            std::printf(kFmtSheetFileReadOnly, files[k].path);
            return false;
        }
    }
    return true;
}

// The combined file: studied, then written whole unless it holds its bytes.
bool closeCombinedFile(SheetSink& sink)
{
    HeldRunLock held;
    if (!holdCombinedFile(held, sink.combinedPath, sink.checkOnly ? FileLock::Shared : FileLock::Exclusive)) {
        return false;
    }
    const RomLayout& layout = *sink.layout;
    PlannedFile file;
    file.path = sink.combinedPath;
    file.bytes = sink.combined.get();
    file.length = combinedFileSize(layout);
    EncodedPicture picture;
    if (sink.pictures) {
        PictureSheet sheets[kSheetCount];
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            sheets[sheet] = pictureSheet(sheet, layout, sink.combined.get() + combinedFileOffset(sheet, layout));
        }
        if (!encodeSheetPicture(file.path, sheets, kSheetCount, picture)) {
            return false;
        }
        file.bytes = picture.bytes;
        file.length = picture.length;
    }
    file.now = lookAtPath(file.path, true, file.bytes, file.length);
    if (!studyReplacements(sink, &file, 1)) {
        return false;
    }
    if (sink.checkOnly) {
        return true;
    }
    removeLeftoverTemporaries(&file.path, 1, true);
    return file.now.holdsBytes || reportWrite(file.path, writeWholeFile(file.path, file.bytes, file.length));
}

// The per-sheet files: each looked at once, links, ROMs and files that cannot
// be had refused for the whole set in that order, then the last studies,
// then one batch of writes.
bool closePerSheetFiles(SheetSink& sink)
{
    // Alone from the first look at the files to the batch's last rename.
    HeldRunLock held;
    if (!holdPerSheetFiles(held, sink.pictures, sink.checkOnly ? FileLock::Shared : FileLock::Exclusive)) {
        return false;
    }
    const RomLayout& layout = *sink.layout;
    SheetFileName names[kSheetCount];
    std::unique_ptr<EncodedPicture[]> pictures(sink.pictures ? new (std::nothrow) EncodedPicture[kSheetCount]
                                                             : nullptr);
    if (sink.pictures && !pictures) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    PlannedFile files[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        names[sheet] = sheetFileName(sheet, sink.pictures);
        PlannedFile& file = files[sheet];
        file.path = names[sheet].text;
        file.bytes = sink.sheets[sheet].get();
        file.length = sink.lengths[sheet];
        if (sink.pictures) {
            const PictureSheet picture = pictureSheet(sheet, layout, sink.sheets[sheet].get());
            if (!encodeSheetPicture(file.path, &picture, 1, pictures[sheet])) {
                return false;
            }
            file.bytes = pictures[sheet].bytes;
            file.length = pictures[sheet].length;
        }
        file.now = lookAtPath(file.path, false, file.bytes, file.length);
    }
    for (const PlannedFile& file : files) {
        if (file.now.kind == PathKind::SymbolicLink) {
            std::printf(kFmtSheetFileIsLink, file.path);
            return false;
        }
    }
    for (const PlannedFile& file : files) {
        // Only a file of a ROM's size is opened again to be asked.
        if (file.now.kind == PathKind::RegularFile && file.now.size >= kMinimumRomSize &&
            refusesGameRom(file.path, false)) {
            return false;
        }
    }
    for (const PlannedFile& file : files) {
        if (file.now.kind == PathKind::Other) {
            std::printf(kFmtCouldNotOpen, file.path);
            return false;
        }
    }
    if (!studyReplacements(sink, files, kSheetCount)) {
        return false;
    }
    if (sink.checkOnly) {
        return true;
    }

    // What killed extractions of either kind left here goes first.
    const char* leftovers[2 * kSheetCount];
    SheetFileName otherNames[kSheetCount];
    FileInBatch batch[kSheetCount];
    std::uint32_t changed = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        otherNames[sheet] = sheetFileName(sheet, !sink.pictures);
        leftovers[2 * sheet] = names[sheet].text;
        leftovers[2 * sheet + 1] = otherNames[sheet].text;
        if (!files[sheet].now.holdsBytes) {
            batch[changed++] = {files[sheet].path, files[sheet].bytes, files[sheet].length};
        }
    }
    removeLeftoverTemporaries(leftovers, 2 * kSheetCount, false);
    if (changed == 0) {
        return true;
    }
    std::uint32_t failed = 0;
    const WholeFileWrite result = writeFileBatch(batch, changed, failed);
    return reportWrite(batch[failed].path, result);
}

}  // namespace

bool refusesRomAsSheetFile(const char* path)
{
    return refusesGameRom(path, true);
}

bool openSheetSink(SheetSink& sink, const RomLayout& layout, const char* combinedPath, bool pictures,
                   bool checkOnly)
{
    sink.layout = &layout;
    sink.pictures = pictures;
    sink.checkOnly = checkOnly;
    sink.combinedPath = combinedPath;
    if (combinedPath == nullptr) {
        return true;
    }
    if (!mayCreateOrReplace(combinedPath)) {
        std::printf(kFmtCouldNotOpen, combinedPath);
        return false;
    }
    sink.combined.reset(new (std::nothrow) std::uint8_t[combinedFileSize(layout)]);
    if (!sink.combined) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    return true;
}

bool writeSheetToSink(SheetSink& sink, std::uint32_t sheet, const std::uint8_t* buffer, std::uint32_t length)
{
    const RomLayout& layout = *sink.layout;
    if (sink.combined) {
        std::memcpy(sink.combined.get() + combinedFileOffset(sheet, layout), buffer, sheetSize(sheet, layout));
        return true;
    }
    // A picture holds the sheet's catalogue size, as its combined slot does.
    const std::uint32_t kept = sink.pictures ? sheetSize(sheet, layout) : length;
    sink.sheets[sheet].reset(new (std::nothrow) std::uint8_t[kept]);
    if (!sink.sheets[sheet]) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    std::memcpy(sink.sheets[sheet].get(), buffer, kept);
    sink.lengths[sheet] = kept;
    return true;
}

bool closeSheetSink(SheetSink& sink)
{
    return sink.combinedPath != nullptr ? closeCombinedFile(sink) : closePerSheetFiles(sink);
}
bool openSheetSource(SheetSource& source, const RomLayout& layout, const char* combinedPath, bool pictures)
{
    source.layout = &layout;
    source.pictures = pictures;
    source.combinedPath = combinedPath;
    if (combinedPath == nullptr) {
        return holdPerSheetFiles(source.held, pictures, FileLock::Shared);
    }
    if (!holdCombinedFile(source.held, combinedPath, FileLock::Shared)) {
        return false;
    }
    source.combined.reset(new (std::nothrow) std::uint8_t[combinedFileSize(layout)]);
    if (!source.combined) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    return pictures ? readCombinedPicture(layout, combinedPath, source.combined.get())
                    : readCombinedFile(layout, combinedPath, source.combined.get());
}

bool readSheetFromSource(const SheetSource& source, std::uint32_t sheet, std::uint8_t* buffer,
                         std::uint32_t& length)
{
    const RomLayout& layout = *source.layout;
    bool read = true;
    length = 0;
    if (source.combined) {
        length = sheetSize(sheet, layout);
        std::memcpy(buffer, source.combined.get() + combinedFileOffset(sheet, layout), length);
    } else if (source.pictures) {
        PictureSheet picture = pictureSheet(sheet, layout, buffer);
        length = picture.length;
        read = readPictureFile(sheetFileName(sheet, true).text, false, &picture, 1);
    } else {
        read = readRawSheetFile(layout, sheet, buffer, length);
    }
    return read;
}
