#include "png_test_support.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace {

void putBigEndian(std::uint8_t* at, std::uint32_t value)
{
    for (int k = 0; k < 4; ++k) {
        at[k] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
    }
}

// The zlib stream of `kRows` rows of colour 0 (filter byte and 64 bytes
// each), then `zeroMiB` MiB of zero bytes past them, in whole blocks: the
// rows end at `rowsEnd` bytes into the stream. The MiB of zeros are
// compressed once and repeated; the checksum covers all of it.
Bytes rowsThenZeros(std::uint32_t zeroMiB, std::size_t& rowsEnd)
{
    z_stream stream{};
    deflateInit(&stream, 9);
    Bytes rows(std::size_t{kRows} * (kRowBytes + 1), 0);
    Bytes out(0x20000);
    const auto deflateAll = [&](Bytes& input, int flush) {
        Bytes produced;
        stream.next_in = input.data();
        stream.avail_in = static_cast<uInt>(input.size());
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, flush);
            produced.insert(produced.end(), out.data(), out.data() + (out.size() - stream.avail_out));
        } while (stream.avail_out == 0);
        return produced;
    };
    Bytes result = deflateAll(rows, Z_FULL_FLUSH);
    rowsEnd = result.size();
    uLong adler = adler32(1, rows.data(), static_cast<uInt>(rows.size()));
    Bytes zeros(0x100000, 0);
    const Bytes block = deflateAll(zeros, Z_FULL_FLUSH);  // no reference before its start
    const uLong zerosAdler = adler32(1, zeros.data(), static_cast<uInt>(zeros.size()));
    for (std::uint32_t k = 0; k < zeroMiB; ++k) {
        append(result, block);
        adler = adler32_combine(adler, zerosAdler, static_cast<z_off_t>(zeros.size()));
    }
    Bytes none;
    const Bytes tail = deflateAll(none, Z_FINISH);  // the final empty block and the checksum of the rows
    deflateEnd(&stream);
    result.insert(result.end(), tail.begin(), tail.end() - 4);
    appendBigEndian(result, static_cast<std::uint32_t>(adler));
    return result;
}

void appendToBytes(png_structp png, png_bytep data, png_size_t length)
{
    Bytes& out = *static_cast<Bytes*>(png_get_io_ptr(png));
    out.insert(out.end(), data, data + length);
}

// Nothing with a destructor lives in this frame across the setjmp.
bool encodeRows(const Craft& craft, png_bytep* rows, Bytes* out)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, appendToBytes, nullptr);
    png_set_IHDR(png, info, craft.width, craft.height, craft.bitDepth, craft.colourType,
                 craft.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (craft.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        int entries = 1 << craft.bitDepth;
        for (png_color& colour : palette) {
            colour = {0x10, 0x20, 0x30};
        }
        if (craft.palette != nullptr) {
            entries = static_cast<int>(craft.palette->size());
            for (int k = 0; k < entries; ++k) {
                const PaletteColour& entry = (*craft.palette)[static_cast<std::size_t>(k)];
                palette[k] = {entry.red, entry.green, entry.blue};
            }
        }
        png_set_PLTE(png, info, palette, entries);
    }
    if (craft.filters != 0) {
        png_set_filter(png, PNG_FILTER_TYPE_BASE, craft.filters);
    }
    png_write_info(png, info);
    png_set_interlace_handling(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void appendBigEndian(Bytes& out, std::uint32_t value)
{
    out.resize(out.size() + 4);
    putBigEndian(out.data() + out.size() - 4, value);
}

Bytes chunk(const char* type, const Bytes& data, std::uint64_t declared)
{
    Bytes out(4 + 4 + data.size() + 4);
    putBigEndian(out.data(), declared == ~std::uint64_t{0} ? static_cast<std::uint32_t>(data.size())
                                                           : static_cast<std::uint32_t>(declared));
    std::memcpy(out.data() + 4, type, 4);
    if (!data.empty()) {
        std::memcpy(out.data() + 8, data.data(), data.size());
    }
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) {
        crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));  // no data restarts the CRC
    }
    putBigEndian(out.data() + 8 + data.size(), static_cast<std::uint32_t>(crc));
    return out;
}

Bytes signature()
{
    return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}

Bytes pictureHead()
{
    Bytes header;
    appendBigEndian(header, 128);
    appendBigEndian(header, kRows);
    header.insert(header.end(), {4, 3, 0, 0, 0});
    Bytes palette;
    for (const PaletteColour& colour : kSheetPalette) {
        palette.insert(palette.end(), {colour.red, colour.green, colour.blue});
    }
    Bytes out = signature();
    const Bytes ihdr = chunk("IHDR", header);
    const Bytes plte = chunk("PLTE", palette);
    out.insert(out.end(), ihdr.begin(), ihdr.end());
    out.insert(out.end(), plte.begin(), plte.end());
    return out;
}

void append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Bytes imageDataBomb(std::uint32_t zeroMiB, bool split, std::size_t* firstChunkEnd)
{
    std::size_t rowsEnd = 0;
    const Bytes stream = rowsThenZeros(zeroMiB, rowsEnd);
    Bytes out = pictureHead();
    if (split) {
        append(out, chunk("IDAT", Bytes(stream.begin(), stream.begin() + static_cast<long>(rowsEnd))));
        if (firstChunkEnd != nullptr) {
            *firstChunkEnd = out.size();
        }
        append(out, chunk("IDAT", Bytes(stream.begin() + static_cast<long>(rowsEnd), stream.end())));
    } else {
        append(out, chunk("IDAT", stream));
    }
    append(out, chunk("IEND", {}));
    return out;
}

Bytes blankPicture()
{
    return imageDataBomb(0, true);
}

Bytes declaredBomb(const char* type)
{
    Bytes out = pictureHead();
    Bytes text(107 - out.size() - 8, 'A');
    Bytes whole = chunk(type, text, 0x7FFFFFFF);
    append(out, Bytes(whole.begin(), whole.begin() + 8 + static_cast<long>(text.size())));
    return out;
}

PictureReadResult readBytes(const Bytes& png, DecodedPicture& picture)
{
    PictureSource source;
    source.bytes = png.data();
    source.length = png.size();
    return readPicture(source, 128, kRows, picture);
}

std::uint32_t pixelOf(const Bytes& bytes, std::uint32_t x, std::uint32_t y)
{
    const std::size_t tile = y / 8 * 16 + x / 8;
    if (tile * 32 >= bytes.size()) {
        return 0;
    }
    const std::uint8_t* t = bytes.data() + tile * 32;
    const std::uint32_t r = y % 8;
    const std::uint32_t bit = 7 - x % 8;
    const auto plane = [&](std::uint32_t at) { return std::uint32_t{t[at]} >> bit & 1u; };
    return plane(2 * r) | plane(2 * r + 1) << 1 | plane(16 + 2 * r) << 2 | plane(17 + 2 * r) << 3;
}

Bytes randomSheet(TestRandom& random, std::uint32_t length, std::uint32_t planes)
{
    Bytes bytes = random.bytes(length);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const std::size_t plane = (k % 32 >= 16 ? 2 : 0) + k % 2;
        if (plane >= planes) {
            bytes[k] = 0;
        }
    }
    return bytes;
}

std::vector<PictureSheet> layoutOf(std::vector<Bytes>& sheets, bool threeBits, std::uint32_t first)
{
    std::vector<PictureSheet> layout;
    for (Bytes& bytes : sheets) {
        layout.push_back({first++, bytes.data(), static_cast<std::uint32_t>(bytes.size()), threeBits});
    }
    return layout;
}

Bytes writePicture(const std::vector<PictureSheet>& layout)
{
    EncodedPicture picture;
    EXPECT_TRUE(encodeSheetPicture("out.png", layout.data(), static_cast<std::uint32_t>(layout.size()), picture));
    return Bytes(picture.bytes, picture.bytes + picture.length);
}

ReadOutcome readAsSheets(const Bytes& png, std::vector<std::uint32_t> lengths, bool threeBits, std::uint32_t first,
                         const char* name, bool viaFile)
{
    ReadOutcome outcome{false, "", {}};
    for (std::uint32_t length : lengths) {
        outcome.sheets.emplace_back(length, 0xEE);
    }
    std::vector<PictureSheet> layout = layoutOf(outcome.sheets, threeBits, first);
    const auto count = static_cast<std::uint32_t>(layout.size());
    PictureSource source;
    source.bytes = png.data();
    source.length = png.size();
    testing::internal::CaptureStdout();
    if (viaFile) {
        std::FILE* file = std::tmpfile();
        if (!png.empty()) {
            std::fwrite(png.data(), 1, png.size(), file);
        }
        std::rewind(file);
        outcome.ok = readSheetPicture(file, name, layout.data(), count);
        std::fclose(file);
    } else {
        outcome.ok = readSheetPicture(source, name, layout.data(), count);
    }
    outcome.output = testing::internal::GetCapturedStdout();

    std::vector<Bytes> quietSheets;
    for (std::uint32_t length : lengths) {
        quietSheets.emplace_back(length, 0x11);
    }
    std::vector<PictureSheet> quietLayout = layoutOf(quietSheets, threeBits, first);
    testing::internal::CaptureStdout();
    const bool quietOk = readSheetPictureQuietly(source, quietLayout.data(), count);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(quietOk, outcome.ok);
    if (quietOk && outcome.ok) {
        EXPECT_EQ(quietSheets, outcome.sheets);
    }

    // The record says as much, printing nothing until it is printed.
    testing::internal::CaptureStdout();
    const SheetPictureRecord record = readSheetPictureRecord(source, quietLayout.data(), count);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(record.read, outcome.ok);
    testing::internal::CaptureStdout();
    printSheetPictureRecord(record, name);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), outcome.output);
    return outcome;
}

std::uint32_t bigEndian(const Bytes& bytes, std::size_t at)
{
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8 |
           bytes[at + 3];
}

const std::vector<PaletteColour> kToolPalette(kSheetPalette, kSheetPalette + kPaletteSize);

Bytes craftPng(const Craft& craft, const std::function<std::uint32_t(std::uint32_t, std::uint32_t, int)>& sample)
{
    const int channels = craft.colourType == PNG_COLOR_TYPE_RGB ? 3
                         : craft.colourType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                         : craft.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                          : 1;
    const std::size_t bitsPerPixel = std::size_t(channels) * std::size_t(craft.bitDepth);
    std::vector<Bytes> rows(craft.height, Bytes((craft.width * bitsPerPixel + 7) / 8));
    std::vector<png_bytep> pointers;
    for (std::uint32_t y = 0; y < craft.height; ++y) {
        for (std::uint32_t x = 0; x < craft.width; ++x) {
            for (int c = 0; c < channels; ++c) {
                const std::uint32_t value = sample(x, y, c);
                const std::size_t bit = (x * std::size_t(channels) + std::size_t(c)) * std::size_t(craft.bitDepth);
                if (craft.bitDepth == 16) {
                    rows[y][bit / 8] = static_cast<std::uint8_t>(value >> 8);
                    rows[y][bit / 8 + 1] = static_cast<std::uint8_t>(value);
                } else {
                    rows[y][bit / 8] |= static_cast<std::uint8_t>(value << (8 - craft.bitDepth - int(bit % 8)));
                }
            }
        }
        pointers.push_back(rows[y].data());
    }
    Bytes out;
    EXPECT_TRUE(encodeRows(craft, pointers.data(), &out));
    return out;
}

std::uint32_t paletteSample(std::uint32_t index, int channel, int bitDepth)
{
    const PaletteColour& colour = kSheetPalette[index];
    const std::uint32_t value = channel == 0 ? colour.red : channel == 1 ? colour.green : channel == 2 ? colour.blue : 255;
    return bitDepth == 16 ? value * 257 : value;
}

Bytes sheetOfColours(TestRandom& random, const std::vector<std::uint32_t>& colours, std::uint32_t length)
{
    Bytes sheet(length, 0);
    for (std::uint32_t tile = 0; tile < length / 32; ++tile) {
        for (std::uint32_t pixel = 0; pixel < 64; ++pixel) {
            const std::uint32_t colour = colours[random.below(static_cast<std::uint32_t>(colours.size()))];
            const std::uint32_t row = pixel / 8;
            const auto bit = static_cast<std::uint8_t>(0x80 >> pixel % 8);
            const std::size_t at = std::size_t{tile} * 32;
            for (std::uint32_t plane = 0; plane < 4; ++plane) {
                if ((colour >> plane & 1) != 0) {
                    sheet[at + (plane >= 2 ? 16 : 0) + 2 * row + plane % 2] |= bit;
                }
            }
        }
    }
    return sheet;
}

Bytes indexedPicture(const Bytes& sheet, int bitDepth, const std::vector<PaletteColour>& palette,
                     const std::vector<std::uint32_t>& indexOf, bool interlaced)
{
    return craftPng({PNG_COLOR_TYPE_PALETTE, bitDepth, interlaced, 128, 32, &palette},
                    [&](std::uint32_t x, std::uint32_t y, int) { return indexOf[pixelOf(sheet, x, y)]; });
}
