#include "support/rom_fixture.h"

#include <algorithm>
#include <stdexcept>

#include "rom/pointer_tables.h"
#include "rom/sheet_catalogue.h"

void SyntheticRom::put(PcOffset offset, const Bytes& data)
{
    const std::size_t start = std::size_t{headerOffset} + offset;
    if (start + data.size() > bytes.size()) {
        throw std::out_of_range("data past the end of the synthetic ROM");
    }
    std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
}

Bytes SyntheticRom::get(PcOffset offset, std::uint32_t length) const
{
    const std::size_t start = std::size_t{headerOffset} + offset;
    if (start + length > bytes.size()) {
        throw std::out_of_range("range past the end of the synthetic ROM");
    }
    const auto first = bytes.begin() + static_cast<std::ptrdiff_t>(start);
    return Bytes(first, first + length);
}

void SyntheticRom::setPointer(std::uint32_t sheet, PcOffset target)
{
    writeSheetPointer(bytes.data(), headerOffset, *layout, sheet, target);
}

Bytes SyntheticRom::pointerBytes(std::uint32_t sheet) const
{
    const PointerTables tables = pointerTables(*layout);
    return {at(tables.bank + sheet), at(tables.high + sheet), at(tables.low + sheet)};
}

PcOffset SyntheticRom::pointer(std::uint32_t sheet) const
{
    const Bytes raw = pointerBytes(sheet);
    return toPcOffset(std::uint32_t{raw[0]} << 16 | std::uint32_t{raw[1]} << 8 | raw[2]);
}

SyntheticRom makeSyntheticRom(const RomOptions& options)
{
    SyntheticRom rom;
    rom.headerOffset = options.copierHeader ? kCopierHeaderSize : 0;
    rom.layout = options.version == RomVersion::Us ? &kUsLayout : &kJapanLayout;
    rom.bytes.assign(std::size_t{rom.headerOffset} + options.imageSize, 0);
    std::fill_n(rom.bytes.begin(), rom.headerOffset, std::uint8_t{0xCC});

    const int destination = options.destinationCode >= 0 ? options.destinationCode
                                                         : (options.version == RomVersion::Us ? 1 : 0);
    if (options.imageSize > kDestinationCodeOffset) {
        rom.put(kTitleOffset, Bytes(rom.layout->title, rom.layout->title + kRomTitleLength));
        rom.put(kDestinationCodeOffset, {static_cast<std::uint8_t>(destination)});
    }
    return rom;
}
