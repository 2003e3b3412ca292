#include "transfer/extract.h"

#include <cstring>
#include <memory>
#include <new>

#include "codec/codec_limits.h"
#include "platform/output.h"
#include "rom/rom_messages.h"
#include "rom/sheet_catalogue.h"
#include "rom/sheet_stream.h"
#include "sheetfile/sheetfile_messages.h"
#include "transfer/transfer_messages.h"

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
        if (!isSelected(request.selection, sheet)) {
            continue;
        }
        RomSheetPlace place;
        std::uint32_t length = readRomSheet(rom, sheet, decoder, sheetBuffer.get(), place);
        plan.spans[plan.spanCount++] = {sheet, place.offset, place.length};
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
    return planSheetFiles(sink, request.selection, plan.files);
}
