#pragma once
// A sheet read from the ROM image as its storage has it, its stream decoded
// by its codec: the one way the walks read a sheet from the ROM, whether to
// write the sheet's file or to tell whether a sheet file changed it.

#include <cstdint>
#include <memory>

#include "codec/decode_context.h"
#include "rom/rom_image.h"

// The decoding state of a walk: one context and one kCodecBufferSize-byte
// output buffer for all its sheets. Every decode starts on an all-zero
// buffer, as a fresh cleared one would be: a copy from a position no command
// wrote reads zero, never another sheet's bytes.
struct StreamDecoder {
    DecodeContext context;
    std::unique_ptr<std::uint8_t[]> output;
    std::uint32_t dirtyLength = 0;  // no byte at or past this is non-zero
};

// Allocates the decoder's buffer, cleared. False when there is no memory
// (nothing printed: a walk reports the sheet it could not decode).
bool allocateStreamDecoder(StreamDecoder& decoder);

// One decoded stream, in the decoder's buffer until its next decode.
struct DecodedStream {
    const std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;        // decoded bytes (up to 0x10000; 0: nothing decoded)
    std::uint32_t streamLength = 0;  // bytes of the stream the decoder read, the end marker included
    bool cutOff = false;             // the stream ran past the end of the file
};

// Decodes the stream of `codecType` at the PcOffset `offset` of the image, up
// to the end of the file; type 1 is widened to 4bpp when `widen` is set (as
// extraction writes it), or left in its 3bpp stored form. Without a buffer
// (allocateStreamDecoder failed) nothing is decoded.
DecodedStream decodeSheetAt(const RomImage& rom, PcOffset offset, SheetCodecType codecType, StreamDecoder& decoder,
                            bool widen);

// Where a sheet lies in the ROM: its file offset (copier header included)
// and the bytes it takes there (a fixed or raw sheet's size, or the bytes
// its stream's decoder read).
struct RomSheetPlace {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
};

// Brings sheet `sheet` into `sheetBuffer` (kSheetBufferSize bytes) as an
// extraction writes it: a fixed sheet's bytes, a raw sheet widened to 4bpp,
// a compressed sheet decoded (type 1 widened), cut to kSheetBufferSize bytes
// in the buffer. Returns its whole length (0: it decodes to nothing, or no
// decoder buffer could be had); bytes the ROM does not hold (a truncated
// file) leave the buffer as it was. `place` receives where it lies.
std::uint32_t readRomSheet(const RomImage& rom, std::uint32_t sheet, StreamDecoder& decoder, std::uint8_t* sheetBuffer,
                           RomSheetPlace& place);
