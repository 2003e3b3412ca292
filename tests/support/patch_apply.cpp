#include "support/patch_apply.h"

#include <array>
#include <cstring>
#include <utility>

#include "rom/bps_patch.h"
#include "rom/ips_patch.h"

namespace {

// Test targets stay far below this; a larger declared size is a fault.
constexpr std::uint64_t kLargestTarget = 0x4000000;

AppliedPatch fault(const std::string& what, std::size_t at)
{
    AppliedPatch result;
    result.fault = what + " at patch byte " + std::to_string(at);
    return result;
}

std::uint32_t littleEndian32(const Bytes& bytes, std::size_t at)
{
    return bytes[at] | (std::uint32_t{bytes[at + 1]} << 8) | (std::uint32_t{bytes[at + 2]} << 16) |
           (std::uint32_t{bytes[at + 3]} << 24);
}

// Reads a BPS number from patch[at, end); false when it runs past end or
// past 2^56.
bool readNumber(const Bytes& patch, std::size_t& at, std::size_t end, std::uint64_t& value)
{
    value = 0;
    std::uint64_t shift = 1;
    for (;;) {
        if (at >= end || shift > (std::uint64_t{1} << 56)) {
            return false;
        }
        const std::uint8_t x = patch[at++];
        value += (x & 0x7F) * shift;
        if ((x & 0x80) != 0) {
            return true;
        }
        shift <<= 7;
        value += shift;
    }
}

}  // namespace

std::uint32_t referenceCrc32(const std::uint8_t* bytes, std::size_t length)
{
    static const auto table = [] {
        std::array<std::uint32_t, 256> entries{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t crc = n;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc >> 1) ^ ((crc & 1) != 0 ? 0xEDB88320u : 0u);
            }
            entries[n] = crc;
        }
        return entries;
    }();
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < length; ++i) {
        crc = (crc >> 8) ^ table[(crc ^ bytes[i]) & 0xFF];
    }
    return ~crc;
}

AppliedPatch applyBpsPatch(const Bytes& patch, const Bytes& source)
{
    if (patch.size() < 4 + 3 + 12 || std::memcmp(patch.data(), "BPS1", 4) != 0) {
        return fault("no BPS1 header or too short", 0);
    }
    const std::size_t end = patch.size() - 12;
    std::size_t at = 4;
    std::uint64_t sourceSize = 0, targetSize = 0, metadataSize = 0;
    if (!readNumber(patch, at, end, sourceSize) || !readNumber(patch, at, end, targetSize) ||
        !readNumber(patch, at, end, metadataSize)) {
        return fault("sizes run past the actions", at);
    }
    if (sourceSize != source.size() || targetSize > kLargestTarget || metadataSize > end - at) {
        return fault("source size " + std::to_string(sourceSize) + ", target size " + std::to_string(targetSize) +
                         ", metadata size " + std::to_string(metadataSize) + " refused",
                     at);
    }
    at += metadataSize;
    Bytes target(targetSize);
    std::uint64_t output = 0, sourceRelative = 0, targetRelative = 0;
    while (at < end) {
        const std::size_t actionAt = at;
        std::uint64_t word = 0;
        if (!readNumber(patch, at, end, word)) {
            return fault("action number runs past the actions", actionAt);
        }
        const std::uint64_t command = word & 3, length = (word >> 2) + 1;
        if (length > targetSize - output) {
            return fault("action passes the target size", actionAt);
        }
        if (command == 0) {
            if (output + length > source.size()) {
                return fault("SourceRead passes the source", actionAt);
            }
            std::memcpy(target.data() + output, source.data() + output, length);
        } else if (command == 1) {
            if (length > end - at) {
                return fault("TargetRead runs past the actions", actionAt);
            }
            std::memcpy(target.data() + output, patch.data() + at, length);
            at += length;
        } else {
            std::uint64_t move = 0;
            if (!readNumber(patch, at, end, move)) {
                return fault("copy offset runs past the actions", actionAt);
            }
            std::uint64_t& relative = command == 2 ? sourceRelative : targetRelative;
            relative = (move & 1) != 0 ? relative - (move >> 1) : relative + (move >> 1);
            const std::uint64_t readable = command == 2 ? source.size() : output;
            // Unsigned: a move before 0 wraps far past any size.
            if (relative >= readable || (command == 2 && length > readable - relative)) {
                return fault(command == 2 ? "SourceCopy outside the source" : "TargetCopy from unwritten bytes",
                             actionAt);
            }
            for (std::uint64_t i = 0; i < length; ++i) {
                target[output + i] = command == 2 ? source[relative + i] : target[relative + i];
            }
            relative += length;
        }
        output += length;
    }
    if (output != targetSize) {
        return fault("actions end " + std::to_string(targetSize - output) + " bytes short of the target", at);
    }
    if (littleEndian32(patch, end) != referenceCrc32(source.data(), source.size())) {
        return fault("source CRC-32 differs", end);
    }
    if (littleEndian32(patch, end + 4) != referenceCrc32(target.data(), target.size())) {
        return fault("target CRC-32 differs", end + 4);
    }
    if (littleEndian32(patch, end + 8) != referenceCrc32(patch.data(), end + 8)) {
        return fault("patch CRC-32 differs", end + 8);
    }
    AppliedPatch result;
    result.ok = true;
    result.target = std::move(target);
    return result;
}

AppliedPatch applyIpsPatch(const Bytes& patch, const Bytes& source)
{
    if (patch.size() < 5 + 3 || std::memcmp(patch.data(), "PATCH", 5) != 0) {
        return fault("no PATCH header or too short", 0);
    }
    Bytes target = source;
    std::size_t at = 5;
    for (;;) {
        if (patch.size() - at < 3) {
            return fault("no EOF", at);
        }
        if (std::memcmp(patch.data() + at, "EOF", 3) == 0) {
            if (at + 3 != patch.size()) {
                return fault("bytes after EOF (a record at 0x454F46?)", at);
            }
            break;
        }
        if (patch.size() - at < 5) {
            return fault("record head runs past the patch", at);
        }
        const std::size_t offset = (std::size_t{patch[at]} << 16) | (std::size_t{patch[at + 1]} << 8) | patch[at + 2];
        std::size_t size = (std::size_t{patch[at + 3]} << 8) | patch[at + 4];
        const std::size_t recordAt = at;
        at += 5;
        if (offset > target.size()) {
            return fault("record starts past the end of the file", recordAt);
        }
        if (size == 0) {
            if (patch.size() - at < 3) {
                return fault("RLE record runs past the patch", recordAt);
            }
            size = (std::size_t{patch[at]} << 8) | patch[at + 1];
            if (size == 0) {
                return fault("RLE record of count 0", recordAt);
            }
            if (offset + size > target.size()) {
                target.resize(offset + size);
            }
            std::memset(target.data() + offset, patch[at + 2], size);
            at += 3;
        } else {
            if (patch.size() - at < size) {
                return fault("record data runs past the patch", recordAt);
            }
            if (offset + size > target.size()) {
                target.resize(offset + size);
            }
            std::memcpy(target.data() + offset, patch.data() + at, size);
            at += size;
        }
    }
    AppliedPatch result;
    result.ok = true;
    result.target = std::move(target);
    return result;
}

namespace {

MadePatch made(PatchResult result, const PatchBytes& patch)
{
    return {result, Bytes(patch.bytes, patch.bytes + patch.length)};
}

}  // namespace

MadePatch makeBps(const Bytes& source, const Bytes& target)
{
    PatchBytes patch;
    const PatchResult result = makeBpsPatch(source.data(), static_cast<std::uint32_t>(source.size()), target.data(),
                                            static_cast<std::uint32_t>(target.size()), patch);
    return made(result, patch);
}

MadePatch makeIps(const Bytes& source, const Bytes& target)
{
    PatchBytes patch;
    const PatchResult result = makeIpsPatch(source.data(), static_cast<std::uint32_t>(source.size()), target.data(),
                                            static_cast<std::uint32_t>(target.size()), patch);
    return made(result, patch);
}
