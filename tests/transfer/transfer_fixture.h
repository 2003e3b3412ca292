#pragma once
// Shared set-up for the extraction and insertion tests: sample ROMs and sheet
// files in a scratch folder, and runs of the real binary there.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "sample_rom.h"
#include "support/rom_fixture.h"
#include "support/run_binary.h"

class TransferTest : public ::testing::Test {
protected:
    TempDir dir;

    RunResult run(const std::vector<std::string>& arguments, std::uint64_t fileSizeLimit = 0)
    {
        return runSheetpakBinary(arguments, dir.path(), fileSizeLimit);
    }

    // The generated sample ROM as a SyntheticRom; `end` receives the file
    // offset just past its last compressed sheet.
    static SyntheticRom sampleRom(const SampleRomOptions& options, std::uint32_t* end = nullptr);

    // The sheet files extraction would write for a sample ROM of `seed`.
    void writeSampleSheetFiles(const RomLayout& layout, std::uint32_t seed);
    // Sheet files of zero bytes: every compressed sheet shrinks to 7 bytes.
    void writeZeroSheetFiles(const RomLayout& layout);
    // The combined file for the same sheets.
    Bytes combinedSampleFile(const RomLayout& layout, std::uint32_t seed);

    std::string sheetName(std::uint32_t sheet) const;
    Bytes sheetFile(std::uint32_t sheet) const { return readFile(dir / sheetName(sheet)); }
};

// Names, anywhere below `folder`, of the tool's temporary files and journals
// (".<name>.sheetpak-..."), sorted.
std::vector<std::string> toolLeftovers(const std::filesystem::path& folder);

// The bytes of the file at `path`, or nothing when there is none.
std::optional<Bytes> contentOf(const std::filesystem::path& path);
