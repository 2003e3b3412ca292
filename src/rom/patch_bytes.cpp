#include "rom/patch_bytes.h"

#include <cstdlib>
#include <cstring>

PatchBytes::~PatchBytes()
{
    std::free(bytes);
}

namespace {

inline constexpr std::uint32_t kFirstCapacity = 0x1000;

// Makes room for `count` more bytes: capacity doubles from kFirstCapacity,
// ending at 0xFFFFFFFF.
bool reserve(PatchOutput& output, std::uint32_t count)
{
    PatchBytes& patch = output.patch;
    if (count <= patch.capacity - patch.length) {
        return true;
    }
    if (count > UINT32_MAX - patch.length) {
        output.result = PatchResult::TooLarge;
        return false;
    }
    const std::uint32_t needed = patch.length + count;
    std::uint64_t capacity = patch.capacity < kFirstCapacity ? kFirstCapacity : patch.capacity;
    while (capacity < needed) {
        capacity *= 2;
    }
    if (capacity > UINT32_MAX) {
        capacity = UINT32_MAX;
    }
    void* grown = std::realloc(patch.bytes, static_cast<std::size_t>(capacity));
    if (grown == nullptr) {
        output.result = PatchResult::OutOfMemory;
        return false;
    }
    patch.bytes = static_cast<std::uint8_t*>(grown);
    patch.capacity = static_cast<std::uint32_t>(capacity);
    return true;
}

}  // namespace

void putPatchBytes(PatchOutput& output, const std::uint8_t* bytes, std::uint32_t count)
{
    if (output.result != PatchResult::Made || count == 0 || !reserve(output, count)) {
        return;
    }
    std::memcpy(output.patch.bytes + output.patch.length, bytes, count);
    output.patch.length += count;
}

PatchResult finishPatch(PatchOutput& output)
{
    if (output.result != PatchResult::Made) {
        output.patch.length = 0;
    }
    return output.result;
}
