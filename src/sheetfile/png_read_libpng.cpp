// Reading a picture of any form through libpng's progressive reader, which
// inflates only what the rows need (a stream that goes on past the last row
// is cut there). The chunk loop of png_reading.h decides which chunks reach
// it at all.
//
// libpng reports errors through onPngError, which records the text and jumps
// back to the setjmp in the one function that talks to libpng
// (readThroughLibpng). That function and the callbacks libpng calls from them
// keep nothing in locals that the jump could leave stale: everything that
// outlives it is in a record owned by their caller, which frees it on every
// path. No C++ object with a destructor lives in a frame that a jump crosses.

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "sheetfile/png_picture_messages.h"
#include "sheetfile/png_reading.h"

namespace {

// What the callbacks and the libpng-facing function share.
struct LibpngRead {
    PictureRead* read = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::uint32_t lastPass = 0;  // the interlace pass that ends with the last row
    bool interlaced = false;
    bool outOfMemory = false;
    char warning[kPictureReasonSize] = {};  // libpng's last warning
};

void onPngError(png_structp png, png_const_charp text)
{
    char* message = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(message, kPictureReasonSize, "%s", text != nullptr ? text : "");
    png_longjmp(png, 1);
}

// Warnings are about things libpng repairs or skips (a bad ancillary chunk);
// the pixels decide. The last one explains image data that ended early.
void onReadWarning(png_structp png, png_const_charp text)
{
    LibpngRead& call = *static_cast<LibpngRead*>(png_get_progressive_ptr(png));
    std::snprintf(call.warning, sizeof call.warning, "%s", text != nullptr ? text : "");
}

void onInfo(png_structp png, png_infop info)
{
    LibpngRead& call = *static_cast<LibpngRead*>(png_get_progressive_ptr(png));
    DecodedPicture& picture = *call.read->picture;
    const png_byte colourType = png_get_color_type(png, info);
    const png_byte bitDepth = png_get_bit_depth(png, info);
    call.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    if (colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp entries = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &entries, &count) != 0) {
            picture.paletteSize = static_cast<std::uint32_t>(count);
            for (std::uint32_t index = 0; index < picture.paletteSize; ++index) {
                picture.palette[index] = {entries[index].red, entries[index].green, entries[index].blue};
            }
        }
        picture.indexLimit = 1u << bitDepth;
        // The file's transparency is not used.
        if (bitDepth == 4 && !call.interlaced) {
            picture.layout = PixelLayout::PackedIndices;
            picture.rowBytes = (picture.width + 1) / 2;
        } else {
            png_set_packing(png);
            picture.layout = PixelLayout::Indices;
            picture.rowBytes = picture.width;
        }
    } else {
        const bool sixteenBits = bitDepth == 16;
        const bool hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
        const bool hasTransparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        if (hasTransparentColour) {
            png_set_tRNS_to_alpha(png);
        }
        if (bitDepth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        if ((colourType & PNG_COLOR_MASK_COLOR) == 0) {
            png_set_gray_to_rgb(png);
        }
        if (!hasAlpha && !hasTransparentColour) {
            png_set_filler(png, sixteenBits ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
        }
        picture.layout = sixteenBits ? PixelLayout::Rgba16 : PixelLayout::Rgba8;
        picture.rowBytes = picture.width * (sixteenBits ? 8 : 4);
    }
    if (call.interlaced) {
        png_set_interlace_handling(png);
    }
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != picture.rowBytes) {
        png_error(png, kReasonUnexpectedRowLayout);
    }
    // Interlaced rows are combined into what earlier passes left: start from
    // zero. Other rows are each written whole once.
    const std::size_t size = std::size_t{picture.height} * picture.rowBytes;
    picture.pixels = static_cast<std::uint8_t*>(call.interlaced ? std::calloc(size, 1) : std::malloc(size));
    if (picture.pixels == nullptr) {
        call.outOfMemory = true;
        png_error(png, kReasonOutOfMemory);
    }
}

void onRow(png_structp png, png_bytep row, png_uint_32 rowNumber, int pass)
{
    LibpngRead& call = *static_cast<LibpngRead*>(png_get_progressive_ptr(png));
    DecodedPicture& picture = *call.read->picture;
    if (rowNumber >= picture.height) {
        png_error(png, kReasonRowPastHeight);
    }
    if (row != nullptr) {
        std::uint8_t* target = picture.pixels + std::size_t{rowNumber} * picture.rowBytes;
        if (call.interlaced) {
            png_progressive_combine_row(png, target, row);
        } else {
            std::memcpy(target, row, picture.rowBytes);
        }
    }
    if (rowNumber + 1 == picture.height && (!call.interlaced || static_cast<std::uint32_t>(pass) == call.lastPass)) {
        call.read->lastRowRead = true;
    }
}

// Hands the next `count` bytes of the file to libpng.
bool feedBytes(LibpngRead& call, std::uint64_t count)
{
    while (count > 0) {
        const std::uint8_t* at = nullptr;
        std::size_t got = 0;
        const std::size_t want = count < kReadBufferSize ? static_cast<std::size_t>(count) : kReadBufferSize;
        if (!nextPiece(*call.read->reader, want, at, got)) {
            return refuseShortFile(*call.read);
        }
        // libpng only reads the bytes it is handed.
        png_process_data(call.png, call.info, const_cast<png_bytep>(at), got);
        count -= got;
    }
    return true;
}

// Hands libpng the header, then every chunk the pixels need, until the chunk
// that completes the last row has been handed over whole.
bool readThroughLibpng(LibpngRead& call)
{
    PictureRead& read = *call.read;
    png_structp png = call.png;
    if (setjmp(png_jmpbuf(png))) {
        if (call.outOfMemory) {
            return refuse(read, PictureFault::OutOfMemory);
        }
        return refuse(read, PictureFault::Damaged);  // the reason is in place already
    }
    png_set_progressive_read_fn(png, &call, onInfo, onRow, nullptr);
    png_set_user_limits(png, read.picture->width, read.picture->height);
    png_set_chunk_malloc_max(png, kChunkMemoryLimit);
    png_set_chunk_cache_max(png, kChunkCacheLimit);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);  // none reaches it anyway
    png_set_check_for_invalid_index(png, 0);  // indices past the palette are the caller's to judge
    // The stream's own checksum comes after the last row, where the
    // progressive reader would only warn of a mismatch; every IDAT byte is
    // under its chunk's CRC, which is checked.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    png_process_data(png, call.info, read.header, kHeaderChunkEnd);
    while (!read.lastRowRead) {
        ChunkHead head;
        if (!nextPixelChunk(read, true, head)) {
            return false;
        }
        if (head.kind == PixelChunk::End) {
            break;
        }
        png_process_data(png, call.info, head.bytes, sizeof head.bytes);
        if (!feedBytes(call, std::uint64_t{head.length} + kCrcSize)) {
            return false;
        }
    }
    if (!read.lastRowRead) {
        return refuseAsDamaged(read, call.warning[0] != '\0' ? call.warning : kReasonNotEnoughImageData);
    }
    return true;
}

}  // namespace

bool readWithLibpng(PictureRead& read)
{
    LibpngRead call;
    call.read = &read;
    const DecodedPicture& picture = *read.picture;
    // Adam7's last pass holds the odd rows, the one before it the odd columns.
    call.lastPass = picture.height > 1 ? 6 : (picture.width > 1 ? 5 : 0);
    call.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, read.result->reason, onPngError, onReadWarning);
    if (call.png != nullptr) {
        call.info = png_create_info_struct(call.png);
    }
    bool done = false;
    if (call.info == nullptr) {
        refuse(read, PictureFault::OutOfMemory);
    } else {
        done = readThroughLibpng(call);
    }
    png_destroy_read_struct(&call.png, &call.info, nullptr);
    return done;
}
