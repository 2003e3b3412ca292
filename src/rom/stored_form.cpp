#include "rom/stored_form.h"

#include <cstring>
#include <memory>
#include <new>

#include "codec/bitplane.h"
#include "codec/codec_limits.h"
#include "rom/sheet_catalogue.h"

std::uint32_t packForStorage(const RomLayout& layout, std::uint32_t sheet, std::uint8_t* bytes,
                             std::uint32_t length)
{
    switch (sheetStorage(sheet)) {
    case SheetStorage::FixedOffset:
        return sheetSize(sheet, layout);
    case SheetStorage::Raw3bpp:
        return packRawSheet4To3(bytes);
    case SheetStorage::Compressed:
        break;
    }
    return sheetCodecType(sheet) == LzSheet3bpp ? packTiles4To3(bytes, length) : length;
}

bool storesTheSame(const RomLayout& layout, std::uint32_t sheet, const std::uint8_t* a, std::uint32_t lengthA,
                   const std::uint8_t* b, std::uint32_t lengthB)
{
    if (sheetStorage(sheet) == SheetStorage::Compressed && sheetCodecType(sheet) != LzSheet3bpp) {
        return lengthA == lengthB && std::memcmp(a, b, lengthA) == 0;
    }
    // Packed copies, each zero past its bytes as insertion's sheet buffer is.
    std::unique_ptr<std::uint8_t[]> copies(new (std::nothrow) std::uint8_t[2 * kSheetBufferSize]());
    if (!copies) {
        return false;
    }
    std::uint8_t* copyA = copies.get();
    std::uint8_t* copyB = copies.get() + kSheetBufferSize;
    std::memcpy(copyA, a, lengthA);
    std::memcpy(copyB, b, lengthB);
    const std::uint32_t packedA = packForStorage(layout, sheet, copyA, lengthA);
    const std::uint32_t packedB = packForStorage(layout, sheet, copyB, lengthB);
    return packedA == packedB && std::memcmp(copyA, copyB, packedA) == 0;
}
