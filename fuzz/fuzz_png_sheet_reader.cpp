// The PNG sheet reader on arbitrary files. The first input byte picks the
// layout: bit 0 clear, one 2048-byte sheet kept with 3 bits per pixel; set,
// the 14400-byte sheet 0xDD of the Japanese release. The rest is the file.
// A picture the reader accepts is written again and must read back to the
// same sheet bytes.

#include <cstdio>

#include "fuzz_support.h"
#include "transfer/png_sheet_file.h"

namespace {

// Reads `size` bytes at `data` as the picture of `layout`, into layout.bytes.
bool readFromMemory(const std::uint8_t* data, std::size_t size, PictureSheet& layout)
{
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    FUZZ_CHECK(file != nullptr);
    const bool read = readSheetPicture(file, "fuzz.png", &layout, 1);
    std::fclose(file);
    return read;
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
    if (!readFromMemory(data + 1, size - 1, layout)) {
        return 0;
    }

    char* written = nullptr;
    std::size_t writtenSize = 0;
    std::FILE* out = open_memstream(&written, &writtenSize);
    FUZZ_CHECK(out != nullptr);
    FUZZ_CHECK(writeSheetPicture(out, "again.png", &layout, 1));
    std::fclose(out);
    Bytes again(length, 0x11);
    PictureSheet reread = layout;
    reread.bytes = again.data();
    FUZZ_CHECK(readFromMemory(reinterpret_cast<const std::uint8_t*>(written), writtenSize, reread));
    FUZZ_CHECK(again == sheet);
    std::free(written);
    return 0;
}
