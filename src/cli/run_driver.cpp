#include "cli/run_driver.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "cli/exit_prompt.h"
#include "cli/hex_argument.h"
#include "cli/messages.h"
#include "platform/file_io.h"
#include "rom/expand.h"
#include "rom/identify.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_file_name.h"
#include "transfer/extract.h"
#include "transfer/insert.h"

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

// Told before this run waits for another run on the ROM or the sheet files
// to finish (`seconds` 0), then every 30 seconds of the wait.
void tellWaiting(const char* name, std::uint32_t seconds)
{
    const char* shown = name[0] != '\0' ? name : kMsgTheCurrentFolder;
    if (seconds == 0) {
        std::printf(kFmtWaitingForRun, shown);
    } else {
        std::printf(kFmtStillWaiting, static_cast<unsigned>(seconds), shown);
    }
    std::fflush(stdout);
}

// Opens the ROM (read-only for extraction and checks, read-write otherwise)
// and reads it whole into rom's image. `lock` keeps the file open to the end
// of the run, past its replacement: alone for a run that may change the ROM,
// shared with other readers for extractions and checks.
bool openRom(const RunOptions& options, RomImage& rom, std::FILE*& lock)
{
    const bool checkOnly = (options.modeWord & ModeCheckOnly) != 0;
    const bool readOnly = options.operation == RunOperation::ExtractSheets || checkOnly;
    rom.path = options.romPath.c_str();
    lock = openLockedFile(rom.path, readOnly ? "rb" : "r+b", readOnly ? FileLock::Shared : FileLock::Exclusive,
                          tellWaiting);
    if (lock == nullptr) {
        std::printf(kFmtUnableToOpenRom, rom.path);
        return false;
    }
    if (!restoreHalfWrittenRom(rom.path)) {
        return false;
    }
    if (!checkOnly) {
        removeLeftoverTemporaries(&rom.path, 1, true);
    }
    return loadRomImage(rom, lock);
}

// The combined sheet file's path, or null for one file per sheet.
const char* sheetPath(const RunOptions& options)
{
    return options.sheetFilePath ? options.sheetFilePath->c_str() : nullptr;
}

// The expansion a mode selects (2 or 3), and the mode that selects one.
const RomExpansion& expansionOf(RunOperation operation)
{
    return operation == RunOperation::ExpandRom2Mib ? kExpansionTo2Mib : kExpansionTo3Mib;
}

unsigned modeOf(const RomExpansion& expansion)
{
    return &expansion == &kExpansionTo2Mib ? 2u : 3u;
}

// Whether `path` names an existing regular file (links followed).
bool regularFileExists(const char* path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

// After a per-sheet file of `sheet` could not be read: when it is missing and
// the file of the other kind is there, the mode word that reads that kind;
// then how many of the route's files are missing, when more than one is.
void adviseOnMissingSheetFiles(std::uint32_t modeWord, std::uint32_t sheet)
{
    const bool pictures = (modeWord & ModePictures) != 0;
    std::error_code error;
    // A link counts as there, even one to nothing: it was refused as a link.
    const auto there = [&error](const char* name) {
        return std::filesystem::exists(std::filesystem::symlink_status(name, error));
    };
    if (there(sheetFileName(sheet, pictures).text)) {
        return;  // there, but refused for what it holds: its message says why
    }
    const SheetFileName other = sheetFileName(sheet, !pictures);
    if (regularFileExists(other.text)) {
        std::printf(pictures ? kFmtRawFilesAreThere : kFmtPicturesAreThere, other.text,
                    static_cast<unsigned>(modeWord ^ ModePictures));
    }
    std::uint32_t missing = 0;
    for (std::uint32_t n = 0; n < kSheetCount; ++n) {
        missing += there(sheetFileName(n, pictures).text) ? 0u : 1u;
    }
    if (missing > 1) {
        std::printf(kFmtSheetFilesMissing, static_cast<unsigned>(missing));
    }
}

// After the combined file was refused: a picture given without flag 0x20, or
// raw sheets of this release given with it.
void adviseOnCombinedFile(std::uint32_t modeWord, const char* path, const RomLayout& layout)
{
    const bool pictures = (modeWord & ModePictures) != 0;
    std::FILE* file = openExistingFile(path, "rb");
    if (file == nullptr) {
        return;
    }
    static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::uint8_t start[sizeof kPngSignature] = {};
    const bool picture = std::fread(start, 1, sizeof start, file) == sizeof start &&
                         std::memcmp(start, kPngSignature, sizeof start) == 0;
    std::uint64_t size = 0;
    const bool rawSize = measureFileSize(file, size) && size == combinedFileSize(layout);
    std::fclose(file);
    if (!pictures && picture) {
        std::printf(kFmtCombinedIsPicture, path, static_cast<unsigned>(modeWord | ModePictures));
    } else if (pictures && !picture && rawSize) {
        std::printf(kFmtCombinedIsRaw, path, static_cast<unsigned>(modeWord & ~ModePictures));
    }
}

// Hands the insertion what it needs, keeps the end offset it hands back, and
// says what to do when the sheets found no room.
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
    request.changedOnly = (options.modeWord & ModeChangedOnly) != 0;
    InsertOutcome outcome;
    const bool inserted = insertSheets(rom, request, outcome);
    if (inserted) {
        options.insertAddress = outcome.endOffset;
    }
    if (outcome.refusedForRoom && !outcome.startPastEnd && !request.checkOnly) {
        std::printf(kFmtCheckOnlyHint, static_cast<unsigned>(options.modeWord | ModeCheckOnly));
    }
    if (outcome.fitsAfter != nullptr) {
        std::printf(kFmtWouldFitExpanded, modeOf(*outcome.fitsAfter), static_cast<unsigned>(outcome.fitsFrom));
    }
    if (outcome.keptStreamWrittenOver) {
        std::printf(kFmtLayEverySheetOut, static_cast<unsigned>(options.modeWord & ~ModeChangedOnly));
    }
    if (outcome.unreadSheet < kSheetCount) {
        adviseOnMissingSheetFiles(options.modeWord, outcome.unreadSheet);
    }
    if (outcome.combinedFileRefused && request.sheetFilePath != nullptr) {
        adviseOnCombinedFile(options.modeWord, request.sheetFilePath, *rom.layout);
    }
    return inserted;
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

bool prepareRun(int argc, const char* const* argv, RunOptions& options, RomImage& rom, std::FILE*& romLock)
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
    return openRom(options, rom, romLock) && identifyRom(rom);
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
        request.replaceEdited = (options.modeWord & ModeReplaceEdited) != 0;
        ExtractOutcome outcome;
        succeeded = extractSheets(rom, request, outcome);
        if (outcome.filesHoldingChanges != 0) {
            std::printf(kFmtWouldReplaceChanges, static_cast<unsigned>(outcome.filesHoldingChanges),
                        static_cast<unsigned>(options.modeWord | ModeReplaceEdited));
        }
        break;
    }
    case RunOperation::InsertSheets:
        start(kMsgStartInsert);
        succeeded = runInsertion(options, rom);
        break;
    case RunOperation::ExpandRom2Mib:
    case RunOperation::ExpandRom3Mib: {
        start(options.operation == RunOperation::ExpandRom2Mib ? kMsgStartExpand2 : kMsgStartExpand3);
        const RomExpansion& expansion = expansionOf(options.operation);
        succeeded = checkOnly ? checkExpansion(rom, expansion) : expandRom(rom, expansion);
        break;
    }
    }

    // A check reads the ROM only; the run it checks must also open it for writing.
    if (checkOnly && options.operation != RunOperation::ExtractSheets && !mayOpenForWriting(rom.path)) {
        std::printf(kFmtRomNotWritable, rom.path);
        succeeded = false;
    }
    if (!succeeded) {
        std::printf("%s", kMsgFailed);
    } else if (options.operation == RunOperation::InsertSheets && options.insertAddress != 0) {
        std::printf(checkOnly ? kFmtDoneCheckInsert : kFmtDoneInsert, options.insertAddress - 1);
    } else {
        std::printf("%s", kMsgDone);
    }
    return succeeded;
}

int runSheetpak(int argc, const char* const* argv)
{
    // A write past a file-size limit fails like any write, so the run can say so.
    letWritesFailPastSizeLimit();
    // Ctrl-C and the like wait for a file being put in place; waits say so.
    letStopSignalsWaitForCommits();
    setLockWaitNotice(tellWaiting);
    if (argc > 1 && answersHelpOrVersion(argv[1])) {
        std::fflush(stdout);
        return 0;
    }
    RunOptions options;
    RomImage rom;
    std::FILE* romLock = nullptr;
    const bool succeeded = prepareRun(argc, argv, options, rom, romLock) && runSelectedOperation(options, rom);
    if (romLock != nullptr) {
        std::fclose(romLock);  // the run is over: the next one may have the ROM
    }
    std::fflush(stdout);
    runExitPrompt(succeeded, options.modeWord);
    std::fflush(stdout);
    return succeeded ? 0 : 1;
}
