#include "transfer_fixture.h"

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
