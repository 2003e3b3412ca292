#include "cli/run_driver.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "cli/exit_prompt.h"
#include "cli/hex_argument.h"
#include "cli/messages.h"
#include "rom/expand.h"
#include "rom/file_io.h"
#include "rom/identify.h"
#include "rom/sheet_catalogue.h"
#include "transfer/extract.h"
#include "transfer/insert.h"
#include "transfer/sheet_file_name.h"

namespace {

// Counts and paths of the command line; n counts the arguments after the
// program name. Prints the message of the first check that fails.
bool readArguments(int n, const char* const* argv, RunOptions& options)
{
    if (n < 2) {
        std::printf("%s", kUsage);
        return false;
    }
    if (n > 4) {
        // Checked before the mode word is read, so it stays 0.
        std::printf("%s", kMsgTooManyParameters);
        return false;
    }
    options.modeWord = parseHexArgument(argv[1], options.modeWord);
    switch (options.modeWord & 0xF) {
    case 0:
        if (n > 3) {
            std::printf("%s", kMsgTooManyParameters);
            return false;
        }
        options.operation = RunOperation::ExtractSheets;
        options.romPath = argv[2];
        if (n == 3) {
            options.sheetFilePath = argv[3];
        }
        return true;
    case 1:
        if (n < 3) {
            std::printf("%s", kMsgNotEnoughParameters);
            return false;
        }
        options.operation = RunOperation::InsertSheets;
        options.insertAddress = parseHexArgument(argv[2], options.insertAddress);
        options.romPath = argv[3];
        if (n == 4) {
            options.sheetFilePath = argv[4];
        }
        return true;
    case 2:
    case 3:
        if (n > 2) {
            std::printf("%s", kMsgTooManyParameters);
            return false;
        }
        options.operation = (options.modeWord & 0xF) == 2 ? RunOperation::ExpandRom2Mib
                                                          : RunOperation::ExpandRom3Mib;
        options.romPath = argv[2];
        return true;
    default:
        std::printf(kFmtInvalidMode, options.modeWord);
        return false;
    }
}

// The same path typed twice, or two spellings of one existing file (a link,
// "./name", another case on a case-insensitive file system). Writing the
// combined file would otherwise truncate the ROM.
bool namesSameFile(const std::string& romPath, const std::string& sheetPath)
{
    if (romPath == sheetPath) {
        return true;
    }
    std::error_code error;
    const bool same = std::filesystem::equivalent(romPath, sheetPath, error);
    return !error && same;
}

// Whether the ROM is one of the per-sheet files "GFX00.bin" to "GFXDE.bin" of
// the current folder, which extraction would truncate and insertion would
// read as a sheet.
bool romIsASheetFile(const std::string& romPath)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (namesSameFile(romPath, sheetFileName(sheet).text)) {
            return true;
        }
    }
    return false;
}

// Opens the ROM (read-only for extraction, read-write otherwise) and measures it.
bool openRom(const RunOptions& options, RomImage& rom)
{
    const char* mode = options.operation == RunOperation::ExtractSheets ? "rb" : "r+b";
    rom.file = openExistingFile(options.romPath.c_str(), mode);
    if (rom.file == nullptr) {
        std::printf(kFmtUnableToOpenRom, options.romPath.c_str());
        return false;
    }
    std::uint64_t size = 0;
    if (!measureFileSize(rom.file, size)) {
        std::fclose(rom.file);
        rom.file = nullptr;
        std::printf(kFmtUnableToOpenRom, options.romPath.c_str());
        return false;
    }
    if (size > 0xFFFFFFFFu) {
        std::fclose(rom.file);
        rom.file = nullptr;
        std::printf(kFmtRomTooLarge, options.romPath.c_str());
        return false;
    }
    rom.size = static_cast<std::uint32_t>(size);
    rom.path = options.romPath.c_str();  // where a new image replaces the ROM
    // A file counts as having a 512-byte copier header exactly when bit 9 of
    // its size is set; the header's contents are never read.
    rom.headerOffset = rom.size & kCopierHeaderSize;
    return true;
}

}  // namespace

bool prepareRun(int argc, const char* const* argv, RunOptions& options, RomImage& rom)
{
    std::printf("%s", kBanner);
    if (!readArguments(argc - 1, argv, options)) {
        return false;
    }
    const bool perSheetFiles = !options.sheetFilePath && (options.operation == RunOperation::ExtractSheets ||
                                                          options.operation == RunOperation::InsertSheets);
    if ((options.sheetFilePath && namesSameFile(options.romPath, *options.sheetFilePath)) ||
        (perSheetFiles && romIsASheetFile(options.romPath))) {
        std::printf("%s", kMsgIdenticalFiles);
        return false;
    }
    if (!openRom(options, rom)) {
        return false;
    }
    if (!identifyRom(rom)) {
        std::fclose(rom.file);
        rom.file = nullptr;
        return false;
    }
    return true;
}

bool runSelectedOperation(RunOptions& options, RomImage& rom)
{
    bool succeeded = false;
    switch (options.operation) {
    case RunOperation::ExtractSheets:
        std::printf("%s", kMsgStartExtract);
        std::fflush(stdout);
        succeeded = extractSheets(rom, options.sheetFilePath);
        break;
    case RunOperation::InsertSheets:
        std::printf("%s", kMsgStartInsert);
        std::fflush(stdout);
        succeeded = insertSheets(rom, options);
        break;
    case RunOperation::ExpandRom2Mib:
        std::printf("%s", kMsgStartExpand2);
        std::fflush(stdout);
        succeeded = expandRom(rom, 0x200000, 11);
        break;
    case RunOperation::ExpandRom3Mib:
        std::printf("%s", kMsgStartExpand3);
        std::fflush(stdout);
        succeeded = expandRom(rom, 0x300000, 12);
        break;
    }

    if (!succeeded) {
        std::printf("%s", kMsgFailed);
    } else if (options.operation == RunOperation::InsertSheets) {
        std::printf(kFmtDoneInsert, options.insertAddress - 1);
    } else {
        std::printf("%s", kMsgDone);
    }
    // On Windows a replaced ROM is reopened after the rename (replaceWholeFile),
    // and is null only when that failed.
    if (rom.file != nullptr) {
        std::fclose(rom.file);
    }
    rom.file = nullptr;
    return succeeded;
}

int runSheetpak(int argc, const char* const* argv)
{
    RunOptions options;
    RomImage rom;
    const bool succeeded = prepareRun(argc, argv, options, rom) && runSelectedOperation(options, rom);
    std::fflush(stdout);
    runExitPrompt(succeeded, options.modeWord);
    std::fflush(stdout);
    return succeeded ? 0 : 1;
}
