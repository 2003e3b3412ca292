#pragma once
// What a run would make of the ROM file, as the list of its changes: the
// ranges it writes, each with its new bytes or one fill value, and the size
// the file grows to. The run's image of the old file stays as read beside
// it, so that the driver can write the new file, or a patch of the two.
// Nothing here writes a file.

#include <cstdint>
#include <memory>

#include "rom/rom_image.h"

// One change: `length` bytes at file offset `offset` (copier header
// included), the plan's bytes from `source` on, or all `fill` when `filled`.
struct RomEdit {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t source = 0;  // into RomPlan::bytes
    bool filled = false;
    std::uint8_t fill = 0;
};

struct RomPlan {
    bool writes = false;     // false: the run leaves the ROM file as it is
    std::uint32_t size = 0;  // the file's size after the run: never less than before, zeros past the old end
    std::unique_ptr<RomEdit[]> edits;  // applied in order: a later edit wins where two meet
    std::uint32_t editCount = 0;
    std::uint32_t editCapacity = 0;
    std::unique_ptr<std::uint8_t[]> bytes;  // the new bytes the edits take
    std::uint32_t byteCount = 0;
    std::uint32_t byteCapacity = 0;
};

// Starts a plan that writes the file as `size` bytes (at least rom.size), with no edit yet.
void startRomPlan(const RomImage& rom, std::uint32_t size, RomPlan& plan);

// Adds an edit of the `length` bytes at `bytes` (copied into the plan), or of
// `length` bytes of `value`. False after the out-of-memory message.
bool addRomBytes(RomPlan& plan, std::uint32_t offset, const std::uint8_t* bytes, std::uint32_t length);
bool addRomFill(RomPlan& plan, std::uint32_t offset, std::uint32_t length, std::uint8_t value);

// Writes the plan's edits, in order, into `image`: plan.size bytes holding
// the old file's bytes and zeros past its old end.
void applyRomPlan(const RomPlan& plan, std::uint8_t* image);

// The new file in memory: `image` gets plan.size bytes, the old ones of `rom`,
// zeros past them, the edits applied. False after the out-of-memory message.
bool buildNewFile(const RomImage& rom, const RomPlan& plan, std::unique_ptr<std::uint8_t[]>& image);
