#include "rom/rom_plan.h"

#include <cstring>
#include <new>

#include "platform/output.h"
#include "rom/rom_messages.h"

namespace {

// Grows `array` of `count` elements to hold `needed`, doubling from `first`.
template <typename Element>
bool makeRoom(std::unique_ptr<Element[]>& array, std::uint32_t count, std::uint32_t& capacity,
              std::uint64_t needed, std::uint32_t first)
{
    if (needed <= capacity) {
        return true;
    }
    std::uint64_t grown = capacity == 0 ? first : capacity;
    while (grown < needed) {
        grown *= 2;
    }
    std::unique_ptr<Element[]> larger(new (std::nothrow) Element[grown]);
    if (!larger || grown > 0xFFFFFFFFu) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        larger[k] = array[k];
    }
    array = std::move(larger);
    capacity = static_cast<std::uint32_t>(grown);
    return true;
}

bool addEdit(RomPlan& plan, const RomEdit& edit)
{
    if (!makeRoom(plan.edits, plan.editCount, plan.editCapacity, std::uint64_t{plan.editCount} + 1, 256)) {
        return false;
    }
    plan.edits[plan.editCount++] = edit;
    plan.writes = true;
    return true;
}

}  // namespace

void startRomPlan(const RomImage& rom, std::uint32_t size, RomPlan& plan)
{
    plan.writes = size != rom.size;
    plan.size = size;
    plan.editCount = 0;
    plan.byteCount = 0;
}

bool addRomBytes(RomPlan& plan, std::uint32_t offset, const std::uint8_t* bytes, std::uint32_t length)
{
    if (!makeRoom(plan.bytes, plan.byteCount, plan.byteCapacity, std::uint64_t{plan.byteCount} + length, 0x10000)) {
        return false;
    }
    RomEdit edit;
    edit.offset = offset;
    edit.length = length;
    edit.source = plan.byteCount;
    if (length != 0) {
        std::memcpy(plan.bytes.get() + plan.byteCount, bytes, length);
    }
    plan.byteCount += length;
    return addEdit(plan, edit);
}

bool addRomFill(RomPlan& plan, std::uint32_t offset, std::uint32_t length, std::uint8_t value)
{
    RomEdit edit;
    edit.offset = offset;
    edit.length = length;
    edit.filled = true;
    edit.fill = value;
    return addEdit(plan, edit);
}

void applyRomPlan(const RomPlan& plan, std::uint8_t* image)
{
    for (std::uint32_t k = 0; k < plan.editCount; ++k) {
        const RomEdit& edit = plan.edits[k];
        if (edit.filled) {
            std::memset(image + edit.offset, edit.fill, edit.length);
        } else if (edit.length != 0) {
            std::memcpy(image + edit.offset, plan.bytes.get() + edit.source, edit.length);
        }
    }
}

bool buildNewFile(const RomImage& rom, const RomPlan& plan, std::unique_ptr<std::uint8_t[]>& image)
{
    image.reset(new (std::nothrow) std::uint8_t[plan.size == 0 ? 1 : plan.size]);
    if (!image) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    std::memcpy(image.get(), rom.bytes.get(), rom.size);
    std::memset(image.get() + rom.size, 0, plan.size - rom.size);
    applyRomPlan(plan, image.get());
    return true;
}
