#include "cli/run_driver.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "cli/exit_prompt.h"
#include "cli/hex_argument.h"
#include "cli/messages.h"
#include "rom/expand.h"
#include "platform/file_io.h"
#include "rom/identify.h"
#include "rom/sheet_catalogue.h"
#include "transfer/extract.h"
#include "transfer/insert.h"
#include "sheetfile/sheet_file_name.h"

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
    bool digitRead = false;
    options.modeWord = parseHexArgument(argv[1], options.modeWord, &digitRead);
    if (!digitRead) {
        std::printf(kFmtModeNotANumber, argv[1]);
        return false;
    }
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
        options.insertAddress = parseHexArgument(argv[2], options.insertAddress, &digitRead);
        if (!digitRead) {
            std::printf(kFmtAddressNotANumber, argv[2]);
            return false;
        }
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

// Whether the ROM is one of the per-sheet files of the current folder
// ("GFX00.bin" to "GFXDE.bin", or the .png ones), which extraction would
// replace and insertion would read as a sheet.
bool romIsASheetFile(const std::string& romPath, bool pictures)
{
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (namesSameFile(romPath, sheetFileName(sheet, pictures).text)) {
            return true;
        }
    }
    return false;
}

// Told once, before this run waits for another run on the ROM to finish.
void tellWaitingForRom(const char* path)
{
    std::printf(kFmtWaitingForRun, path);
    std::fflush(stdout);
}

// Opens the ROM (read-only for extraction, read-write otherwise) and measures
// it. On a failure after the open, rom.file stays open for the driver's one close.
bool openRom(const RunOptions& options, RomImage& rom)
{
    const bool checkOnly = (options.modeWord & ModeCheckOnly) != 0;
    const bool readOnly = options.operation == RunOperation::ExtractSheets || checkOnly;
    const char* mode = readOnly ? "rb" : "r+b";
    rom.path = options.romPath.c_str();
    // A run that may change the ROM holds it alone until the run ends, past
    // its replacement; extractions and checks share it while they read.
    rom.file = openLockedFile(rom.path, mode, readOnly ? FileLock::Shared : FileLock::Exclusive, tellWaitingForRom);
    if (rom.file == nullptr) {
        std::printf(kFmtUnableToOpenRom, rom.path);
        return false;
    }
    if (!checkOnly) {
        removeLeftoverTemporaries(&rom.path, 1);
    }
    // A check of a run that writes opens the ROM read-only, but it must still
    // fail where the run itself could not open the ROM for writing.
    if (readOnly && options.operation != RunOperation::ExtractSheets) {
        std::FILE* writable = openExistingFile(rom.path, "r+b");
        if (writable == nullptr) {
            std::printf(kFmtUnableToOpenRom, rom.path);
            return false;
        }
        std::fclose(writable);
    }
    std::uint64_t size = 0;
    if (!measureFileSize(rom.file, size)) {
        std::printf(kFmtUnableToOpenRom, rom.path);
        return false;
    }
    if (size > 0xFFFFFFFFu) {
        std::printf(kFmtRomTooLarge, rom.path);
        return false;
    }
    rom.size = static_cast<std::uint32_t>(size);
    // A file counts as having a 512-byte copier header exactly when bit 9 of
    // its size is set; the header's contents are never read.
    rom.headerOffset = rom.size & kCopierHeaderSize;
    return true;
}

// The one place the ROM file is closed, on every path of a run.
void closeRom(RomImage& rom)
{
    if (rom.file != nullptr) {
        std::fclose(rom.file);
        rom.file = nullptr;
    }
}

// The combined sheet file's path, or null for one file per sheet.
const char* sheetPath(const RunOptions& options)
{
    return options.sheetFilePath ? options.sheetFilePath->c_str() : nullptr;
}

// Hands the insertion what it needs and keeps the end offset it hands back.
bool runInsertion(RunOptions& options, RomImage& rom)
{
    InsertRequest request;
    request.startOffset = options.insertAddress;
    request.sheetFilePath = sheetPath(options);
    request.fill = (options.modeWord & ModeNoFill) == 0;
    request.pictures = (options.modeWord & ModePictures) != 0;
    request.checkOnly = (options.modeWord & ModeCheckOnly) != 0;
    request.anyStart = (options.modeWord & ModeAnyStart) != 0;
    request.smallest = (options.modeWord & ModeSmallest) != 0;
    request.checkModeWord = options.modeWord | ModeCheckOnly;
    std::uint32_t end = 0;
    if (!insertSheets(rom, request, end)) {
        return false;
    }
    options.insertAddress = end;
    return true;
}

// "-h", "--help", "-?" or "/?": the banner, the usage lines and one line per
// mode and flag; "--version": the banner and the version. No prompt follows.
bool answersHelpOrVersion(const char* argument)
{
    const std::string_view word = argument;
    if (word == "-h" || word == "--help" || word == "-?" || word == "/?") {
        std::printf("%s%s%s", kBanner, kUsage, kHelp);
        return true;
    }
    if (word == "--version") {
        std::printf("%s%s", kBanner, kVersion);
        return true;
    }
    return false;
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
        (perSheetFiles && romIsASheetFile(options.romPath, (options.modeWord & ModePictures) != 0))) {
        std::printf("%s", kMsgIdenticalFiles);
        return false;
    }
    return openRom(options, rom) && identifyRom(rom);
}

bool runSelectedOperation(RunOptions& options, RomImage& rom)
{
    const bool checkOnly = (options.modeWord & ModeCheckOnly) != 0;
    const auto start = [checkOnly](const char* message) {
        std::printf("%s", checkOnly ? kMsgStartCheck : message);
        std::fflush(stdout);
    };
    bool succeeded = false;
    switch (options.operation) {
    case RunOperation::ExtractSheets: {
        start(kMsgStartExtract);
        ExtractRequest request;
        request.sheetFilePath = sheetPath(options);
        request.pictures = (options.modeWord & ModePictures) != 0;
        request.checkOnly = checkOnly;
        succeeded = extractSheets(rom, request);
        break;
    }
    case RunOperation::InsertSheets:
        start(kMsgStartInsert);
        succeeded = runInsertion(options, rom);
        break;
    case RunOperation::ExpandRom2Mib:
        start(kMsgStartExpand2);
        succeeded = checkOnly ? checkExpansion(rom, 0x200000) : expandRom(rom, 0x200000, 11);
        break;
    case RunOperation::ExpandRom3Mib:
        start(kMsgStartExpand3);
        succeeded = checkOnly ? checkExpansion(rom, 0x300000) : expandRom(rom, 0x300000, 12);
        break;
    }

    if (!succeeded) {
        std::printf("%s", kMsgFailed);
    } else if (options.operation == RunOperation::InsertSheets) {
        std::printf(kFmtDoneInsert, options.insertAddress - 1);
    } else {
        std::printf("%s", kMsgDone);
    }
    return succeeded;
}

int runSheetpak(int argc, const char* const* argv)
{
    // A write past a file-size limit fails like any write, so the run can say so.
    letWritesFailPastSizeLimit();
    if (argc > 1 && answersHelpOrVersion(argv[1])) {
        std::fflush(stdout);
        return 0;
    }
    RunOptions options;
    RomImage rom;
    const bool succeeded = prepareRun(argc, argv, options, rom) && runSelectedOperation(options, rom);
    closeRom(rom);
    std::fflush(stdout);
    runExitPrompt(succeeded, options.modeWord);
    std::fflush(stdout);
    return succeeded ? 0 : 1;
}
