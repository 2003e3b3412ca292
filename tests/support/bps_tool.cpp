#include "support/bps_tool.h"

#include <cstdlib>

#include "support/temp_dir.h"

namespace {

std::string quoted(const std::filesystem::path& path)
{
    std::string out = "'";
    for (const char c : path.string()) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

}  // namespace

BpsToolState findBpsTool()
{
#if defined(_WIN32)
    return BpsToolState::Missing;
#else
    if (std::system("command -v bps >/dev/null 2>&1") == 0) {
        return BpsToolState::Available;
    }
    const char* required = std::getenv("SHEETPAK_REQUIRE_BPS");
    return required != nullptr && std::string(required) == "1" ? BpsToolState::Required : BpsToolState::Missing;
#endif
}

std::string runBpsApply(const std::filesystem::path& patch, const std::filesystem::path& source,
                        const std::filesystem::path& output)
{
    TempDir capture;
    std::filesystem::remove(output);
    const std::string command = "bps apply " + quoted(patch) + " " + quoted(source) + " " + quoted(output) + " >" +
                                quoted(capture / "said.txt") + " 2>&1";
    if (std::system(command.c_str()) == -1) {
        return "bps could not be started";
    }
    const Bytes said = readFile(capture / "said.txt");
    return std::string(said.begin(), said.end());
}
