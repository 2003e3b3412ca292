#pragma once
// The room rules of insertion, in one place: the areas a start offset may lie
// in, where a sheet may end, what it may never overwrite, where the changed
// sheets that move may go, and the check's figures of what is left. All
// positions are file offsets, copier header included; nothing here prints
// but the refusals named so.

#include <cstdint>

#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"

// Whether [from, from + length) meets [at, at + size).
bool overlaps(std::uint64_t from, std::uint64_t length, std::uint64_t at, std::uint64_t size);

// A span of the file.
struct Region {
    std::uint64_t start;
    std::uint64_t length;
};

// Where a pointer-addressed sheet may never go: the copier header with the
// internal header, vectors and pointer tables, and the two fixed sheets.
inline constexpr std::uint32_t kReservedRegionCount = 3;
void reservedRegions(const RomImage& rom, Region (&regions)[kReservedRegionCount]);

// The protected boundary as a file offset: no sheet may hold it from below,
// and the closing fill ends there.
std::uint64_t protectedOffset(const RomImage& rom);

// Whether `start` lies in the graphics area (from 0x87000 up to the protected
// boundary) or in the expansion area (from 0x100000 on). When it does not,
// prints the refusal and returns false.
bool startInSheetArea(const RomImage& rom, std::uint32_t start);

// Why a pointer-addressed sheet of `length` stored bytes may not lie at `position`.
enum class Placement : std::uint8_t {
    Allowed,
    NoRoom,             // it would end at or past the end of the file, or hold the protected boundary from below
    InsideCopierHeader,
    OverwritesSystemArea,
    OverwritesSheetDD,
    OverwritesSheetDE,
    PastPointerReach,   // pointers reach only the first 4 MiB
};
Placement judgePlacement(const RomImage& rom, std::uint32_t position, std::uint32_t length);

// Prints the refusal of a placement that is not allowed ("Not enough room",
// or what the sheet would overwrite).
void printPlacementRefusal(Placement placement, std::uint32_t sheet, std::uint32_t position);

// Where the changed sheets that move may go: from the start offset to the
// end of its area, and what they may not overlap.
struct FreeSpace {
    std::uint64_t start = 0;
    std::uint64_t end = 0;           // places end at or before this
    std::uint64_t boundary = 0;      // the protected boundary a place may not cross from below
    std::uint64_t pointerReach = 0;  // places start below this
    Region taken[2 * kSheetCount + kReservedRegionCount];
    std::uint32_t takenCount = 0;
};

// The area moved sheets may use: the graphics area up to the protected
// boundary or the expansion area up to the end of the file, the one `start`
// lies in; with `anyStart`, the whole file as the placement rules allow it.
// The reserved regions are taken from the start.
void describeFreeSpace(const RomImage& rom, std::uint64_t start, bool anyStart, FreeSpace& space);

// Marks [start, start + length) as taken (nothing when length is 0).
void takeSpace(FreeSpace& space, std::uint64_t start, std::uint64_t length);

// The first place of `length` bytes at or after space.start that passes the
// room rules and overlaps nothing taken; false when there is none.
bool findFreePlace(const FreeSpace& space, std::uint64_t length, std::uint64_t& place);

// Lets a check lay out the moved sheets that found no room as if the file went on.
void unboundFreeSpace(FreeSpace& space);

// Whether a sheet's old extent may take its new stream and the fill: its
// stream lies there for sure (`ownsBytes`: neither cut off nor decoding to
// nothing), past the tables and inside the file, and does not hold the
// protected boundary from below (no sheet may, so such an extent is no
// stream the tool would have laid).
bool oldExtentReusable(const RomImage& rom, std::uint64_t start, std::uint64_t length, bool ownsBytes);

// The check's figures for sheets laid from `start`: where the room they are
// laid in ends (the protected boundary in the graphics area or below it,
// else the end of the file, or the first reserved region on the way, which
// a start outside the areas meets) and how many bytes there are up to it.
struct RoomFigures {
    std::uint32_t limit = 0;
    std::uint32_t room = 0;
};
RoomFigures roomFigures(const RomImage& rom, std::uint32_t start);
