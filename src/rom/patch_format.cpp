#include "rom/patch_format.h"

#include <cstring>

#include "rom/bps_patch.h"
#include "rom/ips_patch.h"

namespace {

bool endsWithInAnyCase(const char* text, const char* ending)
{
    const std::size_t length = std::strlen(text);
    const std::size_t endingLength = std::strlen(ending);
    if (length < endingLength) {
        return false;
    }
    for (std::size_t k = 0; k < endingLength; ++k) {
        char c = text[length - endingLength + k];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != ending[k]) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool patchFormatOfName(const char* path, PatchFormat& format)
{
    if (endsWithInAnyCase(path, ".bps")) {
        format = PatchFormat::Bps;
        return true;
    }
    if (endsWithInAnyCase(path, ".ips")) {
        format = PatchFormat::Ips;
        return true;
    }
    return false;
}

PatchResult makePatch(PatchFormat format, const std::uint8_t* source, std::uint32_t sourceLength,
                      const std::uint8_t* target, std::uint32_t targetLength, PatchBytes& patch)
{
    return format == PatchFormat::Bps ? makeBpsPatch(source, sourceLength, target, targetLength, patch)
                                      : makeIpsPatch(source, sourceLength, target, targetLength, patch);
}
