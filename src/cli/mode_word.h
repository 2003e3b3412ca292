#pragma once
// The mode-word command line of scripts and batch files:
//   sheetpak 0 ROMFileName [FileToSaveAs]
//   sheetpak 1 PCHexAddressToInsert ROMFileName [FileToInsert]
//   sheetpak 2|3 ROMFileName
// The mode word is a hexadecimal number: the operation in its low four bits,
// flags above them. This is the one place that reads its bits.

#include <cstdint>

#include "cli/run_request.h"

// Flag bits of the mode word above the low four.
inline constexpr std::uint32_t ModeNoFill = 0x10;              // insertion: no 0xFF fill after the last sheet
inline constexpr std::uint32_t ModePictures = 0x20;            // sheet files are PNG images
inline constexpr std::uint32_t ModeCheckOnly = 0x40;           // write nothing, report
inline constexpr std::uint32_t ModeSmallest = 0x80;            // insertion: smallest packing
inline constexpr std::uint32_t ModeNoPromptOnSuccess = 0x100;  // no exit prompt after success
inline constexpr std::uint32_t ModeAnyStart = 0x200;           // insertion: any start offset
inline constexpr std::uint32_t ModeChangedOnly = 0x400;        // insertion: changed sheets only
inline constexpr std::uint32_t ModeReplaceEdited = 0x800;      // extraction: replace sheet files that hold changes
inline constexpr std::uint32_t ModePatch = 0x1000;             // insertion, expansion: a patch instead of the ROM
// Every flag bit; a mode word with another bit above the low four is refused.
inline constexpr std::uint32_t kModeFlags = 0x1FF0;

// Reads the `n` arguments after the program name into `request`. Prints the
// usage or the message of the first check that fails and returns false;
// request.modeWord then holds what was read of the mode word (0 when none was).
bool readModeWordCommandLine(int n, const char* const* argv, RunRequest& request);

// The exit prompt's policy for a mode word: flag 0x100 skips it after success.
PromptPolicy promptPolicyOf(std::uint32_t modeWord);
