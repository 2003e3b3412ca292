#include "rom/sheet_stream.h"

#include <cstring>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "codec/sheet_codec.h"
#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"

bool allocateStreamDecoder(StreamDecoder& decoder)
{
    decoder.output.reset(new (std::nothrow) std::uint8_t[kCodecBufferSize]());
    decoder.dirtyLength = 0;
    return static_cast<bool>(decoder.output);
}

DecodedStream decodeSheetAt(const RomImage& rom, PcOffset offset, SheetCodecType codecType, StreamDecoder& decoder,
                            bool widen)
{
    DecodedStream decoded;
    if (!decoder.output) {
        return decoded;
    }
    // Only the bytes the last decode could have written (all below its final
    // length) are cleared again.
    std::memset(decoder.output.get(), 0, decoder.dirtyLength);
    const RomSpan stream = romBytesFrom(rom, offset);
    DecodeContext& context = decoder.context;
    startDecode(context, stream.bytes, stream.length, decoder.output.get(), codecType);
    decodeSheetStream(context, widen);
    decoder.dirtyLength = context.outputLength;
    context.output = nullptr;
    decoded.bytes = decoder.output.get();
    decoded.length = context.outputLength;
    decoded.streamLength = context.inputRead;
    decoded.cutOff = context.cutOff;
    return decoded;
}

std::uint32_t readRomSheet(const RomImage& rom, std::uint32_t sheet, StreamDecoder& decoder, std::uint8_t* sheetBuffer,
                           RomSheetPlace& place)
{
    switch (sheetStorage(sheet)) {
    case SheetStorage::FixedOffset: {
        const std::uint32_t size = sheetSize(sheet, *rom.layout);
        place = {rom.headerOffset + fixedSheetOffset(sheet), size};
        static_cast<void>(readRomBytes(rom, fixedSheetOffset(sheet), sheetBuffer, size));
        return size;
    }
    case SheetStorage::Raw3bpp: {
        const PcOffset pointer = readSheetPointer(rom.bytes.get(), rom.headerOffset, *rom.layout, sheet);
        place = {rom.headerOffset + pointer, kRaw3bppSheetSize};
        static_cast<void>(readRomBytes(rom, pointer, sheetBuffer, kRaw3bppSheetSize));
        return expandRawSheet3To4(sheetBuffer);
    }
    case SheetStorage::Compressed: {
        const PcOffset pointer = readSheetPointer(rom.bytes.get(), rom.headerOffset, *rom.layout, sheet);
        const DecodedStream decoded = decodeSheetAt(rom, pointer, sheetCodecType(sheet), decoder, true);
        place = {rom.headerOffset + pointer, decoded.streamLength};
        if (decoded.length != 0) {
            std::memcpy(sheetBuffer, decoded.bytes,
                        decoded.length < kSheetBufferSize ? decoded.length : kSheetBufferSize);
        }
        return decoded.length;
    }
    }
    return 0;
}
