#pragma once
// The steps both insertion walks take (insert.cpp lays every sheet,
// insert_changed.cpp only the changed ones): the visiting order, the start
// offset, reading a sheet from its file into the walk's sheet buffer, and
// bringing it into its stored form. The room rules are in room.h.

#include <cstdint>
#include <memory>

#include "codec/codec_limits.h"
#include "codec/encode_context.h"
#include "codec/sheet_codec.h"
#include "rom/sheet_stream.h"
#include "rom/rom_image.h"
#include "sheetfile/sheet_files.h"

// The sheet visited at `step` (0-222): the raw sheets first, so that they sit
// at the start offset; then the others in order.
std::uint32_t visitedSheet(std::uint32_t step);

// The start offset the walk uses for the one given: the usual offsets of the
// graphics area (with or without a copier header) and of the expansion area
// are taken for the other header state too.
std::uint32_t adjustedStartOffset(std::uint32_t given, std::uint32_t headerOffset);

// Prints why a start offset has no room at all: it is at or past the end of the file.
void printStartPastEnd(const RomImage& rom, std::uint32_t start);

// The walk's one sheet buffer (kSheetBufferSize bytes, owned here). Past the
// bytes its file fills, it holds zeros, never another sheet's.
struct SheetBuffer {
    std::unique_ptr<std::uint8_t[]> bytes;
    std::uint32_t dirtyEnd = 0;  // no byte at or past this is non-zero
};

// Allocates and clears `buffer`; false after the out-of-memory message.
bool allocateSheetBuffer(SheetBuffer& buffer);

// Reads sheet `sheet` from `source` into `buffer` and sets `length` to the
// bytes its file gave, with the reading's warnings (a length the game does not
// keep, colours 8 to 15 a 3-bit sheet drops). False after the message of a
// file that cannot be read or is refused.
bool readSheet(const SheetSource& source, std::uint32_t sheet, SheetBuffer& buffer, std::uint32_t& length);

// Reads sheet `sheet` from the ROM into `buffer` as an extraction would
// write its file, for a sheet whose file the run does not read. False after
// the message of a sheet that decodes to nothing.
bool readSheetFromRom(const RomImage& rom, std::uint32_t sheet, StreamDecoder& decoder, SheetBuffer& buffer,
                      std::uint32_t& length);

// Refuses, for per-sheet files when the request asks, the sheets whose file
// of the other kind beside the one read holds another sheet: names the first
// three ("GFX21.png differs from GFX21.bin beside it.") and fills `pairs`.
// False after those lines.
bool refusesDifferingPairs(const RomImage& rom, const SheetFiles& files, const SheetSelection& selection,
                           DifferingPairs& pairs);

// One sheet in the form the ROM stores it, and where it goes.
struct PlannedSheet {
    std::uint32_t position;  // file offset, copier header included
    std::uint32_t length;    // stored length
    std::uint8_t bytes[kSheetBufferSize];
};

// The LZ encoders' tables, kept for every sheet of a walk and released with it.
struct EncoderTables {
    EncodeContext context;
    EncoderTables();
    ~EncoderTables();
    EncoderTables(const EncoderTables&) = delete;
    EncoderTables& operator=(const EncoderTables&) = delete;
};

// Encodes the `length` bytes of `sheetBuffer` with the sheet's codec into
// `planned` (type 1 packs them in place first). False when the encoder failed
// or no encode buffer could be had; prints nothing.
bool encodeSheet(EncodeContext& context, LzPacking packing, std::uint32_t sheet, std::uint8_t* sheetBuffer,
                 std::uint32_t length, PlannedSheet& planned);

// Brings the `sourceLength` bytes of `sheetBuffer` (modified in place) into
// the form the ROM stores, into `planned` (its position is left alone).
// False after the message of a sheet that does not compress.
bool storeSheet(const RomLayout& layout, EncodeContext& context, LzPacking packing, std::uint32_t sheet,
                std::uint8_t* sheetBuffer, std::uint32_t sourceLength, PlannedSheet& planned);

// Where the ROM keeps a sheet now: the file offset of its bytes and how
// many it takes there (a fixed or raw sheet's size, or the bytes its stream's
// decoder reads), and whether they hold its stream for sure (neither cut off
// by the end of the file nor decoding to nothing). `decoded` receives the
// stream decoded in its stored form (type 1 before its widening); empty for
// the sheets kept raw.
struct OldExtent {
    std::uint64_t start = 0;
    std::uint64_t length = 0;
    bool ownsBytes = false;
};
OldExtent oldExtentOf(const RomImage& rom, std::uint32_t sheet, StreamDecoder& decoder, DecodedStream& decoded);
