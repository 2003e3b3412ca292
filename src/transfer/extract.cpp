#include "transfer/extract.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "cli/messages.h"
#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/lz_codec.h"
#include "codec/run_length.h"
#include "rom/file_io.h"
#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"
#include "transfer/sheet_file_name.h"
#include "transfer/transfer_messages.h"

namespace {

// The decode buffer of the walk. Every decode starts on an all-zero buffer,
// as a fresh cleared one would be: a copy from a position no command wrote
// reads zero, never another sheet's bytes. Only the bytes the last decode
// could have written (all below its final length) are cleared again.
struct DecodeBuffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t dirtyLength = 0;
};

// Decodes a Compressed sheet into `sheetBuffer`. Returns the decoded length
// (0: nothing decoded, or no decode buffer could be had).
std::uint32_t decodeSheet(const RomImage& rom, DecodeContext& context, DecodeBuffer& buffer,
                          PcOffset pointer, std::uint32_t sheet, std::uint8_t* sheetBuffer)
{
    if (!buffer.bytes) {
        return 0;
    }
    std::memset(buffer.bytes.get(), 0, buffer.dirtyLength);
    context.codecType = sheetCodecType(sheet);
    context.input = rom.file;
    context.output = buffer.bytes.get();
    context.outputLength = 0;
    context.running = true;
    if (seekTo(rom.file, std::uint64_t{rom.headerOffset} + pointer)) {
        switch (context.codecType) {
        case LzSheet:
        case LzSheet3bpp:
            decodeLzSheet(context);
            break;
        case RunLengthSheet:
            decodeRunLengthSheet(context);
            break;
        case RunLengthBlock:
            decodeRunLengthBlock(context);
            break;
        default:
            break;  // no codec: nothing decoded
        }
    }
    const std::uint32_t length = context.outputLength;
    buffer.dirtyLength = length;
    std::memcpy(sheetBuffer, buffer.bytes.get(), length < kSheetBufferSize ? length : kSheetBufferSize);
    context.output = nullptr;
    return length;
}

// Brings sheet `sheet` into `sheetBuffer` by the way it is stored. Returns its
// length; 0 means it could not be had.
std::uint32_t obtainSheet(const RomImage& rom, const PointerTableBytes& pointers, DecodeContext& context,
                          DecodeBuffer& decodeBuffer, std::uint32_t sheet, std::uint8_t* sheetBuffer)
{
    switch (sheetStorage(sheet)) {
    case SheetStorage::FixedOffset: {
        const std::uint32_t size = sheetSize(sheet, *rom.layout);
        // A short read (a truncated ROM) leaves the buffer as it was.
        static_cast<void>(readRomBytes(rom, fixedSheetOffset(sheet), sheetBuffer, size));
        return size;
    }
    case SheetStorage::Raw3bpp:
        static_cast<void>(readRomBytes(rom, sheetPointer(pointers, sheet), sheetBuffer, kRaw3bppSheetSize));
        return expandRawSheet3To4(sheetBuffer);
    case SheetStorage::Compressed:
        return decodeSheet(rom, context, decodeBuffer, sheetPointer(pointers, sheet), sheet, sheetBuffer);
    }
    return 0;
}

// Puts `length` bytes in the file at `path` whole (writeWholeFile). False
// after printing what became of the file.
bool writeSheetFile(const char* path, const std::uint8_t* bytes, std::uint32_t length)
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

}  // namespace

bool extractSheets(RomImage& rom, const std::optional<std::string>& sheetFilePath)
{
    // The combined file is assembled in memory and written whole at the end,
    // so that a failed walk leaves any earlier file of that name as it was.
    std::unique_ptr<std::uint8_t[]> combined;
    std::uint32_t combinedLength = 0;
    if (sheetFilePath) {
        if (!mayCreateOrReplace(sheetFilePath->c_str())) {
            std::printf(kFmtCouldNotOpen, sheetFilePath->c_str());
            return false;
        }
        combined.reset(new (std::nothrow) std::uint8_t[combinedFileSize(*rom.layout)]);
        if (!combined) {
            std::printf("%s", kMsgOutOfMemory);
            return false;
        }
    }

    // One sheet buffer for the walk, cleared once: a sheet shorter than its
    // combined-file slot is followed there by what earlier sheets left.
    std::unique_ptr<std::uint8_t[]> sheetBuffer(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    if (!sheetBuffer) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    // The pointer tables are read once: extraction never writes the ROM, so
    // every entry stays as read.
    PointerTableBytes pointers{};
    static_cast<void>(readPointerTables(rom, pointers));
    DecodeContext context;
    // A buffer that cannot be had fails the first compressed sheet.
    DecodeBuffer decodeBuffer;
    decodeBuffer.bytes.reset(new (std::nothrow) std::uint8_t[kCodecBufferSize]());

    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        std::uint32_t length = obtainSheet(rom, pointers, context, decodeBuffer, sheet, sheetBuffer.get());
        if (length == 0) {
            std::printf(kFmtDecompressError, static_cast<unsigned>(sheet));
            return false;
        }
        if (length > kSheetBufferSize) {
            std::printf(kFmtSheetTooLarge, static_cast<unsigned>(sheet));
            length = kSheetBufferSize;
        }

        if (!combined) {
            if (!writeSheetFile(sheetFileName(sheet).text, sheetBuffer.get(), length)) {
                return false;
            }
        } else {
            // Slots lie back to back in sheet order and add up to combinedFileSize.
            const std::uint32_t slot = sheetSize(sheet, *rom.layout);
            std::memcpy(combined.get() + combinedLength, sheetBuffer.get(), slot);
            combinedLength += slot;
        }
    }
    return !combined || writeSheetFile(sheetFilePath->c_str(), combined.get(), combinedLength);
}
