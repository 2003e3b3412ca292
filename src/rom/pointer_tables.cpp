#include "rom/pointer_tables.h"

#include "rom/sheet_catalogue.h"

PointerTables pointerTables(const RomLayout& layout)
{
    return {layout.pointerTableBase, layout.pointerTableBase + kSheetCount,
            layout.pointerTableBase + 2 * kSheetCount};
}

PcOffset toPcOffset(SnesAddress address)
{
    const std::uint32_t bank = (address >> 16) & 0x7F;
    const std::uint32_t inBank = address & 0x7FFF;
    return bank * 0x8000 + inBank;
}

SnesAddress toSnesAddress(PcOffset offset)
{
    std::uint32_t bank = (offset / 0x8000) & 0x7F;
    if (offset >= 0x380000) {
        bank |= 0x80;
    }
    const std::uint32_t inBank = 0x8000 | (offset & 0x7FFF);
    return (bank << 16) | inBank;
}

PcOffset readSheetPointer(const std::uint8_t* image, std::uint32_t headerOffset, const RomLayout& layout,
                          std::uint32_t sheet)
{
    const PointerTables tables = pointerTables(layout);
    const std::uint8_t* at = image + headerOffset + sheet;
    return toPcOffset(std::uint32_t{at[tables.bank]} << 16 | std::uint32_t{at[tables.high]} << 8 |
                      at[tables.low]);
}

void writeSheetPointer(std::uint8_t* image, std::uint32_t headerOffset, const RomLayout& layout,
                       std::uint32_t sheet, PcOffset offset)
{
    setPointerEntries(image + headerOffset + layout.pointerTableBase, sheet, offset);
}

void setPointerEntries(std::uint8_t* tables, std::uint32_t sheet, PcOffset offset)
{
    const SnesAddress address = toSnesAddress(offset);
    tables[sheet] = static_cast<std::uint8_t>(address >> 16);
    tables[kSheetCount + sheet] = static_cast<std::uint8_t>(address >> 8);
    tables[2 * kSheetCount + sheet] = static_cast<std::uint8_t>(address);
}

void copyPointerEntries(std::uint8_t* tables)
{
    for (std::uint32_t table = 0; table < 3; ++table) {
        std::uint8_t* entries = tables + table * kSheetCount;
        for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
            const std::uint32_t source = pointerEntrySource(sheet);
            if (source < kSheetCount) {
                entries[sheet] = entries[source];
            }
        }
    }
}
