#include "transfer/extract.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/sheet_codec.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_files.h"
#include "sheetfile/sheetfile_messages.h"
#include "transfer/check_report.h"
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

// Decodes a Compressed sheet, whose stream starts at `pointer`, into
// `sheetBuffer`. Returns the decoded length (0: nothing decoded, or no decode
// buffer could be had); `streamLength` receives the number of stream bytes
// the decoder read.
std::uint32_t decodeSheet(const RomImage& rom, DecodeContext& context, DecodeBuffer& buffer,
                          PcOffset pointer, std::uint32_t sheet, std::uint8_t* sheetBuffer,
                          std::uint32_t& streamLength)
{
    streamLength = 0;
    if (!buffer.bytes) {
        return 0;
    }
    std::memset(buffer.bytes.get(), 0, buffer.dirtyLength);
    const RomSpan stream = romBytesFrom(rom, pointer);
    startDecode(context, stream.bytes, stream.length, buffer.bytes.get(), sheetCodecType(sheet));
    decodeSheetStream(context);
    streamLength = context.inputRead;
    const std::uint32_t length = context.outputLength;
    buffer.dirtyLength = length;
    std::memcpy(sheetBuffer, buffer.bytes.get(), length < kSheetBufferSize ? length : kSheetBufferSize);
    context.output = nullptr;
    return length;
}

// Brings sheet `sheet` into `sheetBuffer` by the way it is stored. Returns its
// length; 0 means it could not be had. `span` receives where its data lies in
// the ROM and how many bytes it takes there.
std::uint32_t obtainSheet(const RomImage& rom, DecodeContext& context, DecodeBuffer& decodeBuffer,
                          std::uint32_t sheet, std::uint8_t* sheetBuffer, SheetSpan& span)
{
    span.sheet = sheet;
    switch (sheetStorage(sheet)) {
    case SheetStorage::FixedOffset: {
        const std::uint32_t size = sheetSize(sheet, *rom.layout);
        span.offset = rom.headerOffset + fixedSheetOffset(sheet);
        span.length = size;
        // A short read (a truncated ROM) leaves the buffer as it was.
        static_cast<void>(readRomBytes(rom, fixedSheetOffset(sheet), sheetBuffer, size));
        return size;
    }
    case SheetStorage::Raw3bpp: {
        const PcOffset pointer = readSheetPointer(rom.bytes.get(), rom.headerOffset, *rom.layout, sheet);
        span.offset = rom.headerOffset + pointer;
        span.length = kRaw3bppSheetSize;
        static_cast<void>(readRomBytes(rom, pointer, sheetBuffer, kRaw3bppSheetSize));
        return expandRawSheet3To4(sheetBuffer);
    }
    case SheetStorage::Compressed: {
        const PcOffset pointer = readSheetPointer(rom.bytes.get(), rom.headerOffset, *rom.layout, sheet);
        span.offset = rom.headerOffset + pointer;
        return decodeSheet(rom, context, decodeBuffer, pointer, sheet, sheetBuffer, span.length);
    }
    }
    return 0;
}

// The lowest and highest byte the sheets' data uses: of all sheets, and of the
// pointer-addressed ones alone.
void printExtractionSpan(const SheetSpan* spans)
{
    struct Range {
        std::uint64_t lowest = ~std::uint64_t{0};
        std::uint64_t highest = 0;
        void take(const SheetSpan& span)
        {
            lowest = span.offset < lowest ? span.offset : lowest;
            const std::uint64_t last = std::uint64_t{span.offset} + span.length - 1;
            highest = last > highest ? last : highest;
        }
    } all, addressed;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (spans[sheet].length == 0) {
            continue;
        }
        all.take(spans[sheet]);
        if (sheetStorage(sheet) != SheetStorage::FixedOffset) {
            addressed.take(spans[sheet]);
        }
    }
    std::printf(kFmtExtractionSpan, static_cast<unsigned>(all.lowest), static_cast<unsigned>(all.highest),
                static_cast<unsigned>(addressed.lowest), static_cast<unsigned>(addressed.highest));
}


}  // namespace

bool extractSheets(const RomImage& rom, const ExtractRequest& request, ExtractOutcome& outcome)
{
    if (request.sheetFilePath != nullptr && refusesRomAsSheetFile(request.sheetFilePath)) {
        return false;
    }
    SheetSink sink;
    if (!openSheetSink(sink, *rom.layout, request.sheetFilePath, request.pictures, request.checkOnly)) {
        return false;
    }
    sink.replaceEdited = request.replaceEdited;

    // One sheet buffer for the walk, cleared once: a sheet shorter than its
    // combined-file slot is followed there by what earlier sheets left.
    std::unique_ptr<std::uint8_t[]> sheetBuffer(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    if (!sheetBuffer) {
        std::printf("%s", kMsgOutOfMemory);
        return false;
    }
    DecodeContext context;
    // A buffer that cannot be had fails the first compressed sheet.
    DecodeBuffer decodeBuffer;
    decodeBuffer.bytes.reset(new (std::nothrow) std::uint8_t[kCodecBufferSize]());

    SheetSpan spans[kSheetCount];
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        std::uint32_t length =
            obtainSheet(rom, context, decodeBuffer, sheet, sheetBuffer.get(), spans[sheet]);
        if (length == 0) {
            std::printf(kFmtDecompressError, static_cast<unsigned>(sheet));
            return false;
        }
        if (length > kSheetBufferSize) {
            std::printf(kFmtSheetTooLarge, static_cast<unsigned>(sheet));
            length = kSheetBufferSize;
        }
        if (!writeSheetToSink(sink, sheet, sheetBuffer.get(), length)) {
            return false;
        }
    }
    // A check studies the files as the real run would, and writes none.
    if (!closeSheetSink(sink)) {
        outcome.filesHoldingChanges = sink.filesHoldingChanges;
        return false;
    }
    if (request.checkOnly) {
        printSheetSpans(spans, kSheetCount);
        printExtractionSpan(spans);
    }
    return true;
}
