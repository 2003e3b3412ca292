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
#include "sheetfile/png_sheet_file.h"
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

// Reads a whole picture of `count` sheets from `path`. False after a message.
bool readPictureFile(const char* path, PictureSheet* sheets, std::uint32_t count)
{
    std::FILE* file = openExistingFile(path, "rb");
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
    return readPictureFile(path, sheets, kSheetCount);
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
            std::printf(kFmtSheetFileWrongSize, path, static_cast<unsigned>(size), static_cast<unsigned>(needed));
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
    std::FILE* file = openExistingFile(name, "rb");
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
        size = kSheetBufferSize;
    }
    length = static_cast<std::uint32_t>(size);
    readOk = readOk && seekTo(file, 0) && std::fread(buffer, 1, length, file) == length;
    std::fclose(file);
    if (!readOk) {
        std::printf(kFmtCouldNotRead, name);
        return false;
    }
    const std::uint32_t kept = keptLength(sheet, layout);
    if (kept != 0 && length != kept) {
        std::printf(kFmtSheetLengthNotKept, static_cast<unsigned>(sheet), static_cast<unsigned>(length),
                    static_cast<unsigned>(kept));
    }
    return true;
}

// Puts `length` bytes in the file at `path` whole. False after printing what
// became of the file.
bool writeSheetFile(const char* path, const std::uint8_t* bytes, std::uint64_t length)
{
    switch (writeWholeFile(path, bytes, length)) {
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

// Writes a picture of `count` sheets whole to `path`: encoded in memory first,
// so that the file itself is replaced in one step.
bool writePictureFile(const char* path, const PictureSheet* sheets, std::uint32_t count)
{
    EncodedPicture picture;
    return encodeSheetPicture(path, sheets, count, picture) && writeSheetFile(path, picture.bytes, picture.length);
}

}  // namespace

bool refusesRomAsSheetFile(const char* path)
{
    std::FILE* file = openExistingFile(path, "rb");
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

bool openSheetSink(SheetSink& sink, const RomLayout& layout, const char* combinedPath, bool pictures)
{
    sink.layout = &layout;
    sink.pictures = pictures;
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

bool checkSheetSink(const char* combinedPath, bool pictures)
{
    if (combinedPath != nullptr) {
        if (!mayCreateOrReplace(combinedPath)) {
            std::printf(kFmtCouldNotOpen, combinedPath);
            return false;
        }
        return true;
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SheetFileName name = sheetFileName(sheet, pictures);
        if (!mayCreateOrReplace(name.text)) {
            std::printf(kFmtCouldNotOpen, name.text);
            return false;
        }
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
    const SheetFileName name = sheetFileName(sheet, sink.pictures);
    if (sink.pictures) {
        // The picture holds the sheet's catalogue size, as its combined slot does.
        const PictureSheet picture = pictureSheet(sheet, layout, const_cast<std::uint8_t*>(buffer));
        return writePictureFile(name.text, &picture, 1);
    }
    return writeSheetFile(name.text, buffer, length);
}

bool closeSheetSink(SheetSink& sink)
{
    if (!sink.combined) {
        return true;
    }
    const RomLayout& layout = *sink.layout;
    if (!sink.pictures) {
        return writeSheetFile(sink.combinedPath, sink.combined.get(), combinedFileSize(layout));
    }
    PictureSheet sheets[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        sheets[sheet] = pictureSheet(sheet, layout, sink.combined.get() + combinedFileOffset(sheet, layout));
    }
    return writePictureFile(sink.combinedPath, sheets, kSheetCount);
}

bool openSheetSource(SheetSource& source, const RomLayout& layout, const char* combinedPath, bool pictures)
{
    source.layout = &layout;
    source.pictures = pictures;
    source.combinedPath = combinedPath;
    if (combinedPath == nullptr) {
        return true;
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
        read = readPictureFile(sheetFileName(sheet, true).text, &picture, 1);
    } else {
        read = readRawSheetFile(layout, sheet, buffer, length);
    }
    return read;
}
