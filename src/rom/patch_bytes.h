#pragma once
// A patch file made in memory, what the patch writers (bps_patch.h,
// ips_patch.h) answer, and the appending both of them write through.

#include <cstdint>

// A patch in memory; the record owns its bytes (malloc'ed, grown with
// realloc, freed with the record). A writer replaces what it held.
struct PatchBytes {
    std::uint8_t* bytes = nullptr;
    std::uint32_t length = 0;
    std::uint32_t capacity = 0;
    PatchBytes() = default;
    PatchBytes(const PatchBytes&) = delete;
    PatchBytes& operator=(const PatchBytes&) = delete;
    ~PatchBytes();
};

enum class PatchResult : std::uint8_t {
    Made,         // the patch holds the whole difference
    TooLarge,     // the difference cannot be expressed in the format (or the patch
                  // would pass 0xFFFFFFFF bytes)
    OutOfMemory,  // memory for the patch or the writer's tables ran out
};

// A patch being written: appends stop at the first failure, which stays in
// `result`.
struct PatchOutput {
    PatchBytes& patch;
    PatchResult result = PatchResult::Made;
};

// Starts `output` on an empty patch (the capacity it had is kept).
inline void startPatch(PatchOutput& output)
{
    output.patch.length = 0;
    output.result = PatchResult::Made;
}

// Appends the `count` bytes at `bytes`; nothing once output.result is not
// Made. Sets TooLarge when the patch would pass 0xFFFFFFFF bytes,
// OutOfMemory when it cannot grow; the patch keeps its bytes then.
void putPatchBytes(PatchOutput& output, const std::uint8_t* bytes, std::uint32_t count);

// Ends a writer: output.result, with patch.length set to 0 unless it is Made.
PatchResult finishPatch(PatchOutput& output);
