// The PNG sheet reader on arbitrary files. The first input byte picks the
// layout: bit 0 clear, one 2048-byte sheet kept with 3 bits per pixel; set,
// the 14400-byte sheet 0xDD of the Japanese release. The rest is the file.
// The quiet reading must come to the same verdict and bytes. A picture the
// reader accepts is written again and must read back to the same sheet bytes. Chunk checksums are set right before reading, so that
// mutated headers and chunks reach the reader instead of failing their CRC.

#include <zlib.h>

#include <algorithm>
#include <cstdio>

#include "fuzz_support.h"
#include "sheetfile/png_sheet_file.h"

namespace {

// Reads `size` bytes at `data` as the picture of `layout`, into layout.bytes;
// the quiet reading must come to the same verdict and bytes.
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
