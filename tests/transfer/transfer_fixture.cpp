#include "transfer_fixture.h"

#include <algorithm>
#include <cstdio>

#include "rom/sheet_catalogue.h"

SyntheticRom TransferTest::sampleRom(const SampleRomOptions& options, std::uint32_t* end)
{
    SyntheticRom rom;
    const std::uint32_t last = buildSampleRom(options, rom.bytes);
    EXPECT_NE(last, 0u) << "the sample graphics must fit";
    rom.headerOffset = options.copierHeader ? kCopierHeaderSize : 0;
    rom.layout = options.version == RomVersion::Us ? &kUsLayout : &kJapanLayout;
    if (end != nullptr) {
        *end = last;
    }
    return rom;
}

std::string TransferTest::sheetName(std::uint32_t sheet) const
{
    char name[16];
    std::snprintf(name, sizeof name, "GFX%02X.bin", static_cast<unsigned>(sheet));
    return name;
}

void TransferTest::writeSampleSheetFiles(const RomLayout& layout, std::uint32_t seed)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        writeFile(dir / sheetName(sheet), sampleSheet(sheet, layout, seed));
    }
}

void TransferTest::writeZeroSheetFiles(const RomLayout& layout)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        writeFile(dir / sheetName(sheet), Bytes(sheetSize(sheet, layout), 0));
    }
}

Bytes TransferTest::combinedSampleFile(const RomLayout& layout, std::uint32_t seed)
{
    Bytes combined;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const Bytes bytes = sampleSheet(sheet, layout, seed);
        combined.insert(combined.end(), bytes.begin(), bytes.end());
    }
    return combined;
}

std::vector<std::string> toolLeftovers(const std::filesystem::path& folder)
{
    std::vector<std::string> found;
    for (const std::filesystem::directory_entry& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".sheetpak-") != std::string::npos) {
            found.push_back(name);
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::optional<Bytes> contentOf(const std::filesystem::path& path)
{
    return std::filesystem::exists(path) ? std::optional<Bytes>(readFile(path)) : std::nullopt;
}
