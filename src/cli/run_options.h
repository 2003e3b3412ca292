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
inline constexpr std::uint32_t ModeNoFill = 0x10;             // insertion: no 0xFF fill after the last sheet
inline constexpr std::uint32_t ModePictures = 0x20;           // sheet files are PNG images
inline constexpr std::uint32_t ModeCheckOnly = 0x40;          // write nothing, report
inline constexpr std::uint32_t ModeSmallest = 0x80;           // insertion: smallest packing
inline constexpr std::uint32_t ModeNoPromptOnSuccess = 0x100;  // no exit prompt after success
inline constexpr std::uint32_t ModeAnyStart = 0x200;          // insertion: any start offset
inline constexpr std::uint32_t ModeChangedOnly = 0x400;       // insertion: changed sheets only
inline constexpr std::uint32_t ModeReplaceEdited = 0x800;     // extraction: replace sheet files that hold changes

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
