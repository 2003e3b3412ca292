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
    const PointerTables tables = pointerTables(layout);
    const SnesAddress address = toSnesAddress(offset);
    std::uint8_t* at = image + headerOffset + sheet;
    at[tables.bank] = static_cast<std::uint8_t>(address >> 16);
    at[tables.high] = static_cast<std::uint8_t>(address >> 8);
    at[tables.low] = static_cast<std::uint8_t>(address);
}
