#pragma once
// The parsed command line, one per run.

#include <cstdint>
#include <optional>
#include <string>

// The low four bits of the mode word.
enum class RunOperation : std::uint8_t {
    ExtractSheets = 0,
    InsertSheets = 1,
    ExpandRom2Mib = 2,
    ExpandRom3Mib = 3,
};

// Flag bits of the mode word; all other bits above the low four are ignored.
inline constexpr std::uint32_t ModeNoFill = 0x10;
inline constexpr std::uint32_t ModeNoPromptOnSuccess = 0x100;

struct RunOptions {
    std::uint32_t modeWord = 0;
    RunOperation operation = RunOperation::ExtractSheets;
    // InsertSheets only: the start offset as typed (a file offset, copier header
    // included). A successful insertion replaces it with the file offset just
    // past the last pointer-addressed sheet it laid.
    std::uint32_t insertAddress = 0;
    std::string romPath;
    std::optional<std::string> sheetFilePath;  // absent: one file per sheet
};
