#pragma once
// The `bps` command of the npm package of that name, an applier of BPS
// patches that nobody here wrote (`bps apply PATCH SOURCE OUTPUT`). It prints
// what happened and always exits with 0, so callers check its words and its
// output file. Run on POSIX systems only.

#include <filesystem>
#include <string>

enum class BpsToolState {
    Available,
    Missing,   // skip what needs it
    Required,  // missing, but SHEETPAK_REQUIRE_BPS is 1 (continuous integration): fail
};

BpsToolState findBpsTool();

// Runs `bps apply` and returns what it printed.
std::string runBpsApply(const std::filesystem::path& patch, const std::filesystem::path& source,
                        const std::filesystem::path& output);

// What the tool prints when it applied a patch.
inline constexpr const char* kBpsApplied = "Patch was applied successfully.";
