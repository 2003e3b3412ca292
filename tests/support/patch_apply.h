#pragma once
// BPS and IPS appliers for the tests, written from the formats' description
// alone (not from the writers): each checks the whole structure of a patch
// and names the first thing wrong with a malformed one.

#include <cstddef>
#include <cstdint>
#include <string>

#include "rom/patch_bytes.h"
#include "support/temp_dir.h"

struct AppliedPatch {
    bool ok = false;
    std::string fault;  // when not ok: what is wrong and where
    Bytes target;       // when ok: the patched file
};

// BPS: "BPS1"; the source size, which must be source.size(); the target size;
// metadata skipped; actions each within the patch, the source, the target
// written so far (a TargetCopy reads only bytes already written) and the
// target size, filling the target exactly and ending 12 bytes before the
// patch's end; the CRC-32s of source, target and patch.
AppliedPatch applyBpsPatch(const Bytes& patch, const Bytes& source);

// IPS: "PATCH"; records each within the patch, an RLE record of count 1 or
// more, none starting past the end of the file so far (appliers fill such a
// gap differently), none at offset 0x454F46 (it would read as the end); then
// "EOF" as the patch's last three bytes.
AppliedPatch applyIpsPatch(const Bytes& patch, const Bytes& source);

// The common CRC-32 (reflected, polynomial 0xEDB88320), from its own table.
std::uint32_t referenceCrc32(const std::uint8_t* bytes, std::size_t length);

// makeBpsPatch and makeIpsPatch on whole files: the result and the patch
// (empty unless Made).
struct MadePatch {
    PatchResult result;
    Bytes bytes;
};
MadePatch makeBps(const Bytes& source, const Bytes& target);
MadePatch makeIps(const Bytes& source, const Bytes& target);
