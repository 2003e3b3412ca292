#pragma once
// The patch formats a run can write instead of a changed ROM, told by the
// patch file's extension, and the one call that makes a patch of either.

#include <cstdint>

#include "rom/patch_bytes.h"

enum class PatchFormat : std::uint8_t {
    Bps,  // names the CRC-32 of the file it applies to and of the result (bps_patch.h)
    Ips,  // holds only the bytes to write, so patches of different changes combine (ips_patch.h)
};

// The format a patch file's name asks for: ".bps" or ".ips", in any case.
// False for any other name.
bool patchFormatOfName(const char* path, PatchFormat& format);

// The patch of `format` that turns `source` into `target`, as makeBpsPatch
// or makeIpsPatch makes it.
PatchResult makePatch(PatchFormat format, const std::uint8_t* source, std::uint32_t sourceLength,
                      const std::uint8_t* target, std::uint32_t targetLength, PatchBytes& patch);
