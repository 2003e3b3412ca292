#pragma once
// The BPS patch writer: the difference between two files in memory written
// as a BPS patch, which names the size and CRC-32 of both files and so
// applies only to the file it was made from.

#include <cstdint>

#include "rom/patch_bytes.h"

// Writes into `patch` (replacing what it held) the BPS patch that turns the
// `sourceLength` bytes at `source` into the `targetLength` bytes at `target`
// (either pointer may be null when its length is 0): "BPS1", the source
// size, the target size, metadata size 0, the actions, then the CRC-32 of the
// source, of the target and of the patch before them, little-endian.
// Unchanged stretches cost one SourceRead, runs of one byte one TargetCopy,
// bytes found elsewhere in the source one SourceCopy. Time linear in the
// lengths; memory: the patch and an index of up to 16 MiB over the source.
// Made; TooLarge only when the patch would pass 0xFFFFFFFF bytes;
// OutOfMemory. On anything but Made, patch.length is 0.
PatchResult makeBpsPatch(const std::uint8_t* source, std::uint32_t sourceLength, const std::uint8_t* target,
                         std::uint32_t targetLength, PatchBytes& patch);
