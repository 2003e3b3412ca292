#include "transfer/extract.h"

#include <cstring>
#include <memory>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "platform/output.h"
#include "rom/pointer_tables.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "rom/sheet_stream.h"
#include "sheetfile/sheetfile_messages.h"
#include "transfer/transfer_messages.h"

namespace {

// Brings sheet `sheet` into `sheetBuffer` by the way it is stored. Returns its
// length; 0 means it could not be had. `span` receives where its data lies in
// the ROM and how many bytes it takes there.
std::uint32_t obtainSheet(const RomImage& rom, StreamDecoder& decoder, std::uint32_t sheet,
                          std::uint8_t* sheetBuffer, SheetSpan& span)
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
        const DecodedStream decoded = decodeSheetAt(rom, pointer, sheetCodecType(sheet), decoder, true);
        span.length = decoded.streamLength;
        std::memcpy(sheetBuffer, decoded.bytes, decoded.length < kSheetBufferSize ? decoded.length : kSheetBufferSize);
        return decoded.length;
    }
    }
    return 0;
}

}  // namespace

bool studyExtraction(const RomImage& rom, const ExtractRequest& request, ExtractPlan& plan)
{
    if (isCombinedFormat(request.files.format) && refusesRomAsSheetFile(request.files.path.c_str())) {
        return false;
    }
    SheetSink& sink = plan.sink;
    if (!openSheetSink(sink, *rom.layout, request.files)) {
        return false;
    }
    sink.replaceEdited = request.replaceEdited;

    // One sheet buffer for the walk, cleared once: a sheet shorter than its
    // combined-file slot is followed there by what earlier sheets left.
    std::unique_ptr<std::uint8_t[]> sheetBuffer(new (std::nothrow) std::uint8_t[kSheetBufferSize]());
    if (!sheetBuffer) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    // A buffer that cannot be had fails the first compressed sheet.
    StreamDecoder decoder;
    static_cast<void>(allocateStreamDecoder(decoder));

    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        std::uint32_t length = obtainSheet(rom, decoder, sheet, sheetBuffer.get(), plan.spans[sheet]);
        if (length == 0) {
            printError(kFmtDecompressError, static_cast<unsigned>(sheet));
            return false;
        }
        if (length > kSheetBufferSize) {
            printWarning(kFmtSheetTooLarge, static_cast<unsigned>(sheet));
            length = kSheetBufferSize;
        }
        if (!putSheetIntoSink(sink, sheet, sheetBuffer.get(), length)) {
            return false;
        }
    }
    return planSheetFiles(sink, plan.files);
}
