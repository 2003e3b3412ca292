#include "rom/pointer_tables.h"

#include "platform/file_io.h"
#include "rom/sheet_catalogue.h"

namespace {

// The tables lie inside every identified ROM, so these reads cannot fall short.
std::uint8_t readByteAt(const RomImage& rom, PcOffset offset)
{
    std::uint8_t value = 0;
    static_cast<void>(readRomBytes(rom, offset, &value, 1));
    return value;
}

bool writeByteAt(const RomImage& rom, PcOffset offset, std::uint8_t value)
{
    return writeBytesAt(rom.file, std::uint64_t{rom.headerOffset} + offset, &value, 1);
}

// The bank, high and low bytes stored for `offset`.
struct StoredPointer {
    std::uint8_t bytes[3];
};

StoredPointer storedPointer(PcOffset offset)
{
    const SnesAddress address = toSnesAddress(offset);
    return {{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
             static_cast<std::uint8_t>(address)}};
}

}  // namespace

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

PcOffset readSheetPointer(const RomImage& rom, std::uint32_t sheet)
{
    const PointerTables tables = pointerTables(*rom.layout);
    const std::uint32_t bank = readByteAt(rom, tables.bank + sheet);
    const std::uint32_t high = readByteAt(rom, tables.high + sheet);
    const std::uint32_t low = readByteAt(rom, tables.low + sheet);
    return toPcOffset(bank << 16 | high << 8 | low);
}

void storeSheetPointer(std::uint8_t* image, std::uint32_t headerOffset, const RomLayout& layout,
                       std::uint32_t sheet, PcOffset offset)
{
    const PointerTables tables = pointerTables(layout);
    const StoredPointer stored = storedPointer(offset);
    image[headerOffset + tables.bank + sheet] = stored.bytes[0];
    image[headerOffset + tables.high + sheet] = stored.bytes[1];
    image[headerOffset + tables.low + sheet] = stored.bytes[2];
}

bool writeSheetPointer(const RomImage& rom, std::uint32_t sheet, PcOffset offset)
{
    const PointerTables tables = pointerTables(*rom.layout);
    const StoredPointer stored = storedPointer(offset);
    const bool bankWritten = writeByteAt(rom, tables.bank + sheet, stored.bytes[0]);
    const bool highWritten = writeByteAt(rom, tables.high + sheet, stored.bytes[1]);
    const bool lowWritten = writeByteAt(rom, tables.low + sheet, stored.bytes[2]);
    return bankWritten && highWritten && lowWritten;
}

bool readPointerTables(const RomImage& rom, PointerTableBytes& tables)
{
    static_assert(sizeof(PointerTableBytes) == 3 * kSheetCount, "three tables back to back");
    return readRomBytes(rom, rom.layout->pointerTableBase, &tables, sizeof tables);
}

PcOffset sheetPointer(const PointerTableBytes& tables, std::uint32_t sheet)
{
    return toPcOffset(std::uint32_t{tables.bank[sheet]} << 16 | std::uint32_t{tables.high[sheet]} << 8 |
                      tables.low[sheet]);
}
