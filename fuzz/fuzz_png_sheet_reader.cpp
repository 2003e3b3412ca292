// The PNG sheet reader on arbitrary files. The first input byte picks the
// layout: bit 0 clear, one 2048-byte sheet kept with 3 bits per pixel; set,
// the 14400-byte sheet 0xDD of the Japanese release. The rest is the file.
// The quiet reading and the record must come to the same verdict and bytes,
// and the record must hold together: a refused pixel inside the picture,
// the last one after the first, one note at most. A picture the reader
// accepts is written again and must read back to the same sheet bytes.
// Chunk checksums are set right before reading, so that mutated headers and
// chunks reach the reader instead of failing their CRC.

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "fuzz_support.h"
#include "sheetfile/png_sheet_file.h"

namespace {

// What a record of one picture of `layout` must hold, whatever the file.
void checkRecord(const SheetPictureRecord& record, const PictureSheet& layout)
{
    const RefusedPixel& first = record.firstRefused;
    const bool readPixels = record.fault.fault == PictureFault::None;
    FUZZ_CHECK(record.firstSheet == layout.sheet && record.lastSheet == layout.sheet && record.sheetCount == 1);
    FUZZ_CHECK(record.read == (readPixels && first.why == PixelRefusal::None));
    FUZZ_CHECK(!(record.readByIndex && record.readByColourInOtherOrder));
    FUZZ_CHECK(readPixels || (!record.readByIndex && !record.readByColourInOtherOrder));
    FUZZ_CHECK(record.fault.fault == PictureFault::CannotRead || record.fault.systemError == 0);
    if (first.why == PixelRefusal::None) {
        FUZZ_CHECK(record.moreRefused == 0);
        return;
    }
    FUZZ_CHECK(first.sheet == layout.sheet && first.x < 128 && first.y < record.height);
    FUZZ_CHECK(first.why != PixelRefusal::ThreeBits || (layout.threeBitsPerPixel && first.value >= 8));
    FUZZ_CHECK(first.why != PixelRefusal::IndexTooHigh || first.value >= 16);
    FUZZ_CHECK(first.why != PixelRefusal::NoPaletteEntry || first.value < 16);
    FUZZ_CHECK(first.why != PixelRefusal::Transparent || first.value < first.alphaMax);
    if (record.moreRefused > 0) {
        FUZZ_CHECK(record.moreRefused < 128 * record.height);
        FUZZ_CHECK(record.lastRefusedX < 128 && record.lastRefusedY < record.height);
        FUZZ_CHECK(std::uint64_t{record.lastRefusedY} * 128 + record.lastRefusedX >
                   std::uint64_t{first.y} * 128 + first.x);
    }
}

// Reads `size` bytes at `data` as the picture of `layout`, into layout.bytes;
// the quiet reading and the record must come to the same verdict and bytes.
bool readFromMemory(const std::uint8_t* data, std::size_t size, PictureSheet& layout)
{
    PictureSource source;
    source.bytes = data;
    source.length = size;
    const bool read = readSheetPicture(source, "fuzz.png", &layout, 1);
    Bytes quietly(layout.length, 0x33);
    PictureSheet again = layout;
    again.bytes = quietly.data();
    FUZZ_CHECK(readSheetPictureQuietly(source, &again, 1) == read);
    FUZZ_CHECK(!read || std::equal(quietly.begin(), quietly.end(), layout.bytes));
    Bytes recorded(layout.length, 0x44);
    again.bytes = recorded.data();
    const SheetPictureRecord record = readSheetPictureRecord(source, &again, 1);
    FUZZ_CHECK(record.read == read);
    FUZZ_CHECK(!read || recorded == quietly);
    checkRecord(record, layout);
    return read;
}

// Rewrites the CRC of every whole chunk after the 8-byte signature.
void fixChunkChecksums(Bytes& file)
{
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::size_t length = std::size_t{file[at]} << 24 | std::size_t{file[at + 1]} << 16 |
                                   std::size_t{file[at + 2]} << 8 | file[at + 3];
        if (length > file.size() - at - 12) {
            break;
        }
        const uLong crc = crc32(0, file.data() + at + 4, static_cast<uInt>(length + 4));
        for (std::size_t k = 0; k < 4; ++k) {
            file[at + 8 + length + k] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
        }
        at += length + 12;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* quiet = std::freopen("/dev/null", "w", stdout);  // the refusals are expected
    static_cast<void>(quiet);
    if (size < 2) {
        return 0;
    }
    const bool large = (data[0] & 1) != 0;
    const std::uint32_t length = large ? 14400 : 2048;
    Bytes sheet(length, 0xEE);
    PictureSheet layout{large ? 0xDDu : 0x21u, sheet.data(), length, !large};
    Bytes file(data + 1, data + size);
    fixChunkChecksums(file);
    if (!readFromMemory(file.data(), file.size(), layout)) {
        return 0;
    }

    EncodedPicture written;
    FUZZ_CHECK(encodeSheetPicture("again.png", &layout, 1, written));
    Bytes again(length, 0x11);
    PictureSheet reread = layout;
    reread.bytes = again.data();
    FUZZ_CHECK(readFromMemory(written.bytes, written.length, reread));
    FUZZ_CHECK(again == sheet);
    return 0;
}
