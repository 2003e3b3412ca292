#pragma once
// The IPS patch writer: the difference between two files in memory written
// as an IPS patch, which holds only the bytes to write and so applies to
// any file.

#include <cstdint>

#include "rom/patch_bytes.h"

// The largest target an IPS patch can express: its offsets have 24 bits.
inline constexpr std::uint32_t kIpsTargetLimit = 0x1000000;

// Writes into `patch` (replacing what it held) the IPS patch that turns the
// `sourceLength` bytes at `source` into the `targetLength` bytes at `target`
// (either pointer may be null when its length is 0): "PATCH", records in
// rising offset order, "EOF". Records of data hold up to 0xFFFF bytes, runs
// of one byte value are RLE records of up to 0xFFFF bytes, no record starts
// at 0x454F46 (which reads as "EOF"), and every target byte past the source's
// end lies in a record. Unchanged bytes are written only where skipping them
// would cost more (see ips_patch.cpp). Time linear in the lengths.
// TooLarge when the target is longer than kIpsTargetLimit or shorter than the
// source; OutOfMemory. On anything but Made, patch.length is 0.
PatchResult makeIpsPatch(const std::uint8_t* source, std::uint32_t sourceLength, const std::uint8_t* target,
                         std::uint32_t targetLength, PatchBytes& patch);
