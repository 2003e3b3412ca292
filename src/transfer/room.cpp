#include "transfer/room.h"

#include "platform/output.h"
#include "rom/pointer_tables.h"
#include "transfer/transfer_messages.h"

bool overlaps(std::uint64_t from, std::uint64_t length, std::uint64_t at, std::uint64_t size)
{
    return from < at + size && at < from + length;
}

void reservedRegions(const RomImage& rom, Region (&regions)[kReservedRegionCount])
{
    const std::uint64_t header = rom.headerOffset;
    regions[0] = {0, header + kSystemAreaEnd};
    regions[1] = {header + fixedSheetOffset(0xDD), sheetSize(0xDD, *rom.layout)};
    regions[2] = {header + fixedSheetOffset(0xDE), sheetSize(0xDE, *rom.layout)};
}

std::uint64_t protectedOffset(const RomImage& rom)
{
    return std::uint64_t{rom.headerOffset} + rom.layout->protectedBoundary;
}

bool startInSheetArea(const RomImage& rom, std::uint32_t start)
{
    const std::uint64_t header = rom.headerOffset;
    if ((start >= header + kGraphicsAreaStart && start < protectedOffset(rom)) ||
        start >= header + kExpansionAreaStart) {
        return true;
    }
    printError(kFmtOutsideSheetAreas, static_cast<unsigned>(start), static_cast<unsigned>(header + kGraphicsAreaStart),
               static_cast<unsigned>(protectedOffset(rom)), static_cast<unsigned>(header + kExpansionAreaStart));
    return false;
}

Placement judgePlacement(const RomImage& rom, std::uint32_t position, std::uint32_t length)
{
    const std::uint64_t boundary = protectedOffset(rom);
    // Computed in 64 bits: a start offset near 4 GiB must not wrap into room.
    const std::uint64_t end = std::uint64_t{position} + length;
    if (end >= rom.size || (position <= boundary && boundary < end)) {
        return Placement::NoRoom;
    }
    // A pointer holds offsets below 4 MiB only, and none inside the copier header.
    if (position < rom.headerOffset) {
        return Placement::InsideCopierHeader;
    }
    Region reserved[kReservedRegionCount];
    reservedRegions(rom, reserved);
    constexpr Placement kOverwrites[kReservedRegionCount] = {Placement::OverwritesSystemArea,
                                                             Placement::OverwritesSheetDD, Placement::OverwritesSheetDE};
    for (std::uint32_t k = 0; k < kReservedRegionCount; ++k) {
        if (overlaps(position, length, reserved[k].start, reserved[k].length)) {
            return kOverwrites[k];
        }
    }
    if (position - rom.headerOffset >= kLoRomAddressableLimit) {
        return Placement::PastPointerReach;
    }
    return Placement::Allowed;
}

void printPlacementRefusal(Placement placement, std::uint32_t sheet, std::uint32_t position)
{
    const unsigned number = static_cast<unsigned>(sheet);
    const unsigned at = static_cast<unsigned>(position);
    switch (placement) {
    case Placement::Allowed:
        return;
    case Placement::NoRoom:
        printError("%s", kMsgNotEnoughRoom);
        return;
    case Placement::InsideCopierHeader:
        printError(kFmtInsideCopierHeader, number, at);
        return;
    case Placement::OverwritesSystemArea:
        printError(kFmtWouldOverwrite, number, at, kRegionSystemArea);
        return;
    case Placement::OverwritesSheetDD:
        printError(kFmtWouldOverwrite, number, at, kRegionSheetDD);
        return;
    case Placement::OverwritesSheetDE:
        printError(kFmtWouldOverwrite, number, at, kRegionSheetDE);
        return;
    case Placement::PastPointerReach:
        printError(kFmtOutOfPointerReach, number, at);
        return;
    }
}

void describeFreeSpace(const RomImage& rom, std::uint64_t start, bool anyStart, FreeSpace& space)
{
    const std::uint64_t boundary = protectedOffset(rom);
    space.start = start;
    // A sheet may not end at the file size: it must end a byte before.
    space.end = rom.size == 0 ? 0 : std::uint64_t{rom.size} - 1;
    space.boundary = boundary;
    if (!anyStart && start < boundary) {
        space.end = boundary;
        space.boundary = boundary + 1;  // a place may end exactly at it
    }
    space.pointerReach = std::uint64_t{rom.headerOffset} + kLoRomAddressableLimit;
    space.takenCount = 0;
    Region reserved[kReservedRegionCount];
    reservedRegions(rom, reserved);
    for (const Region& region : reserved) {
        takeSpace(space, region.start, region.length);
    }
}

void takeSpace(FreeSpace& space, std::uint64_t start, std::uint64_t length)
{
    if (length != 0) {
        space.taken[space.takenCount++] = {start, length};
    }
}

bool findFreePlace(const FreeSpace& space, std::uint64_t length, std::uint64_t& place)
{
    std::uint64_t at = space.start;
    for (;;) {
        if (at + length > space.end || at >= space.pointerReach) {
            return false;
        }
        // No place may hold the protected boundary from below.
        if (at <= space.boundary && space.boundary < at + length) {
            at = space.boundary + 1;
            continue;
        }
        bool moved = false;
        for (std::uint32_t k = 0; k < space.takenCount; ++k) {
            const Region& region = space.taken[k];
            if (overlaps(at, length, region.start, region.length)) {
                at = region.start + region.length;
                moved = true;
            }
        }
        if (!moved) {
            place = at;
            return true;
        }
    }
}

void unboundFreeSpace(FreeSpace& space)
{
    space.end = ~std::uint64_t{0} >> 1;
    space.pointerReach = space.end;
}

bool oldExtentReusable(const RomImage& rom, std::uint64_t start, std::uint64_t length, bool ownsBytes)
{
    const std::uint64_t boundary = protectedOffset(rom);
    const std::uint64_t end = start + length;
    return ownsBytes && start >= std::uint64_t{rom.headerOffset} + kSystemAreaEnd && end <= rom.size &&
           !(start < boundary && boundary < end);
}

RoomFigures roomFigures(const RomImage& rom, std::uint32_t start)
{
    const std::uint32_t boundary = static_cast<std::uint32_t>(protectedOffset(rom));
    RoomFigures figures;
    figures.limit = start <= boundary ? boundary : rom.size - 1;
    Region reserved[kReservedRegionCount];
    reservedRegions(rom, reserved);
    for (const Region& region : reserved) {
        if (region.start > start && region.start < figures.limit) {
            figures.limit = static_cast<std::uint32_t>(region.start);
        }
    }
    figures.room = start <= figures.limit ? figures.limit - start : 0;
    return figures;
}
