#include "rom/sheet_catalogue.h"

#include <array>
#include <cassert>

namespace {

// Every fact about the 223 sheets, by runs of sheets that share them.
struct SheetRun {
    std::uint32_t first;
    std::uint32_t last;
    SheetStorage storage;
    SheetCodecType codecType;
    std::uint32_t usSize;
    std::uint32_t japaneseSize;
    PcOffset fixedOffset;  // FixedOffset sheets only
    std::uint32_t pointerEntryFrom;  // the sheet whose pointer entries an insertion copies over this one's
};

constexpr std::array<SheetRun, 7> kCatalogue = {{
    // The fixed sheets are not found through their pointer entries; an
    // insertion gives those entries the values of 0x71's and 0x72's.
    //  sheets        storage                    codec         US     Japan  fixed at  entries of
    {0x00, 0x70, SheetStorage::Compressed, LzSheet3bpp, 2048, 2048, 0, kSheetCount},
    {0x71, 0x72, SheetStorage::Compressed, LzSheet, 2048, 2048, 0, kSheetCount},
    {kFirstRaw3bppSheet, kLastRaw3bppSheet, SheetStorage::Raw3bpp, LzSheet, 2048, 2048, 0, kSheetCount},
    {0x7F, 0xD9, SheetStorage::Compressed, LzSheet3bpp, 2048, 2048, 0, kSheetCount},
    {0xDA, 0xDC, SheetStorage::Compressed, LzSheet, 2048, 2048, 0, kSheetCount},
    {0xDD, 0xDD, SheetStorage::FixedOffset, LzSheet, 4096, 14400, 0x70000, 0x71},
    {0xDE, 0xDE, SheetStorage::FixedOffset, LzSheet, 28672, 28672, 0x80000, 0x72},
}};

constexpr const SheetRun& runOf(std::uint32_t sheet)
{
    for (const SheetRun& run : kCatalogue) {
        if (sheet >= run.first && sheet <= run.last) {
            return run;
        }
    }
    assert(false && "sheet number out of range");
    return kCatalogue.back();
}

constexpr std::uint32_t sizeIn(const SheetRun& run, SheetSizeColumn column)
{
    return column == SheetSizeColumn::JapaneseSizes ? run.japaneseSize : run.usSize;
}

constexpr std::uint32_t totalSize(SheetSizeColumn column)
{
    std::uint32_t total = 0;
    for (const SheetRun& run : kCatalogue) {
        total += (run.last - run.first + 1) * sizeIn(run, column);
    }
    return total;
}

static_assert(kCatalogue.front().first == 0 && kCatalogue.back().last == kSheetCount - 1);
static_assert(totalSize(SheetSizeColumn::UsSizes) == kCombinedFileSizeUs);
static_assert(totalSize(SheetSizeColumn::JapaneseSizes) == kCombinedFileSizeJapan);

}  // namespace

SheetCodecType sheetCodecType(std::uint32_t sheet)
{
    return runOf(sheet).codecType;
}

bool sheetKeeps3BitsPerPixel(std::uint32_t sheet)
{
    const SheetStorage storage = sheetStorage(sheet);
    return storage == SheetStorage::Raw3bpp ||
           (storage == SheetStorage::Compressed && sheetCodecType(sheet) == LzSheet3bpp);
}

std::uint32_t sheetSize(std::uint32_t sheet, const RomLayout& layout)
{
    return sizeIn(runOf(sheet), layout.sheetSizeColumn);
}

SheetStorage sheetStorage(std::uint32_t sheet)
{
    return runOf(sheet).storage;
}

PcOffset fixedSheetOffset(std::uint32_t sheet)
{
    return runOf(sheet).fixedOffset;
}

std::uint32_t pointerEntrySource(std::uint32_t sheet)
{
    return runOf(sheet).pointerEntryFrom;
}

std::uint32_t combinedFileOffset(std::uint32_t sheet, const RomLayout& layout)
{
    // The sizes of the sheets below `sheet`, a run of equal sizes at a time.
    std::uint32_t offset = 0;
    for (const SheetRun& run : kCatalogue) {
        if (run.first >= sheet) {
            break;
        }
        const std::uint32_t below = (sheet <= run.last ? sheet : run.last + 1) - run.first;
        offset += below * sizeIn(run, layout.sheetSizeColumn);
    }
    return offset;
}

std::uint32_t combinedFileSize(const RomLayout& layout)
{
    return combinedFileOffset(kSheetCount, layout);
}
