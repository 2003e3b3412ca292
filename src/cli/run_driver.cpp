#include "cli/run_driver.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <string_view>
#include <system_error>

#include "cli/exit_prompt.h"
#include "cli/messages.h"
#include "cli/mode_word.h"
#include "platform/file_io.h"
#include "platform/output.h"
#include "rom/expand.h"
#include "rom/identify.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_probe.h"
#include "transfer/check_report.h"
#include "transfer/commit.h"
#include "transfer/extract.h"
#include "transfer/insert.h"
#include "transfer/transfer_messages.h"

// A run studies first and commits after: the operation returns its plan (the
// new ROM image, or the sheet files to write) and its report, writing
// nothing; then the driver either prints the report (a check) or commits the
// plan through the one store function of its target.

namespace {

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

// Whether the ROM is the combined sheet file, or one of the per-sheet files
// of the run's folder, which extraction would replace and insertion would
// read as a sheet.
bool romIsASheetFile(const RunRequest& request)
{
    if (isCombinedFormat(request.sheets.format)) {
        return namesSameFile(request.romPath, request.sheets.path);
    }
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (namesSameFile(request.romPath, sheetFilePath(request.sheets, sheet))) {
            return true;
        }
    }
    return false;
}

bool usesSheetFiles(const RunRequest& request)
{
    return request.operation == RunOperation::ExtractSheets || request.operation == RunOperation::InsertSheets;
}

// Whether the patch file would be the ROM or one of the run's sheet files.
bool patchIsARunFile(const RunRequest& request)
{
    if (request.patchPath.empty()) {
        return false;
    }
    if (namesSameFile(request.patchPath, request.romPath)) {
        return true;
    }
    if (!usesSheetFiles(request)) {
        return false;
    }
    for (std::uint32_t k = 0; k < sheetFileCount(request.sheets.format); ++k) {
        if (namesSameFile(request.patchPath, sheetFilePath(request.sheets, k))) {
            return true;
        }
    }
    return false;
}

// A run that writes nothing to the ROM: an extraction, a check, a patch.
bool onlyReadsRom(const RunRequest& request)
{
    return request.operation == RunOperation::ExtractSheets || request.checkOnly || !request.patchPath.empty();
}

// What a run did, for the lines after its outcome.
struct RunOutcome {
    std::uint32_t endOffset = 0;   // insertion: just past the last sheet laid (0: none moved)
    bool patchWritten = false;
    std::uint32_t patchLength = 0;
};

// Told once, before this run waits for another run on the ROM to finish.
void tellWaitingForRom(const char* path)
{
    printNote(kFmtWaitingForRun, path);
    flushMessages();
}

// Opens the ROM (read-only for extraction and checks, read-write otherwise)
// and reads it whole into rom's image. `lock` keeps the file open to the end
// of the run, past its replacement: alone for a run that may change the ROM,
// shared with other readers for extractions and checks.
bool openRom(const RunRequest& request, RomImage& rom, std::FILE*& lock)
{
    const bool readOnly = onlyReadsRom(request);
    rom.path = request.romPath.c_str();
    lock = openLockedFile(rom.path, readOnly ? "rb" : "r+b", readOnly ? FileLock::Shared : FileLock::Exclusive,
                          tellWaitingForRom);
    if (lock == nullptr) {
        printError(kFmtUnableToOpenRom, rom.path);
        return false;
    }
    if (!request.checkOnly && request.patchPath.empty()) {
        removeLeftoverTemporaries(&rom.path, 1, true);
    }
    return loadRomImage(rom, lock);
}

const RomExpansion& expansionOf(RunOperation operation)
{
    return operation == RunOperation::ExpandRom2Mib ? kExpansionTo2Mib : kExpansionTo3Mib;
}

unsigned modeOf(const RomExpansion& expansion)
{
    return &expansion == &kExpansionTo2Mib ? 2u : 3u;
}

// After a per-sheet file of `sheet` could not be read: when it is missing and
// the file of the other kind is there, the mode word that reads that kind;
// then how many of the route's files are missing, when more than one is.
void adviseOnMissingSheetFiles(const RunRequest& request, std::uint32_t sheet)
{
    const SheetFilesFound found = lookForSheetFiles(request.sheets, sheet);
    if (found.sheetFileThere) {
        return;  // there, but refused for what it holds: its message says why
    }
    if (found.otherKindThere) {
        const bool pictures = isPictureFormat(request.sheets.format);
        printError(pictures ? kFmtRawFilesAreThere : kFmtPicturesAreThere, found.otherKindName.c_str(),
                   static_cast<unsigned>(request.modeWord ^ ModePictures));
    }
    if (found.missing > 1) {
        printError(kFmtSheetFilesMissing, static_cast<unsigned>(found.missing));
    }
}

// After the combined file was refused: a picture given without flag 0x20, or
// raw sheets of this release given with it.
void adviseOnCombinedFile(const RunRequest& request, const RomLayout& layout)
{
    const bool pictures = isPictureFormat(request.sheets.format);
    const CombinedFileLook look = lookAtCombinedFile(request.sheets.path.c_str(), layout);
    const char* path = request.sheets.path.c_str();
    if (!pictures && look.picture) {
        printError(kFmtCombinedIsPicture, path, static_cast<unsigned>(request.modeWord | ModePictures));
    } else if (pictures && !look.picture && look.rawSize) {
        printError(kFmtCombinedIsRaw, path, static_cast<unsigned>(request.modeWord & ~ModePictures));
    }
}

// Commits a plan for the ROM as a patch instead: its size in a check, else
// the patch file. A plan that changes nothing writes no patch.
bool commitAsPatch(const RunRequest& request, const RomImage& rom, const RomPlan& plan, RunOutcome& outcome)
{
    if (!plan.writes) {
        printNote("%s", request.checkOnly ? kMsgNoPatchWouldBeWritten : kMsgNoPatchWritten);
        return true;
    }
    PatchBytes patch;
    if (!makeRunPatch(rom, plan, request.patchFormat, patch)) {
        return false;
    }
    if (request.checkOnly) {
        printNote(kFmtPatchWouldHold, static_cast<unsigned>(patch.length));
        return true;
    }
    if (!commitPatch(request.patchPath.c_str(), patch)) {
        return false;
    }
    outcome.patchWritten = true;
    outcome.patchLength = patch.length;
    return true;
}

// The commit of a ROM plan: a patch, the ROM itself, or nothing in a check.
bool commitRomPlan(const RunRequest& request, RomImage& rom, const RomPlan& plan, RunOutcome& outcome)
{
    if (!request.patchPath.empty()) {
        return commitAsPatch(request, rom, plan, outcome);
    }
    return request.checkOnly || commitRom(rom, plan);
}

// The study of an extraction, then its report or its files.
bool runExtraction(const RunRequest& request, const RomImage& rom)
{
    std::unique_ptr<ExtractPlan> plan(new (std::nothrow) ExtractPlan);
    if (!plan) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    ExtractRequest extraction;
    extraction.files = request.sheets;
    extraction.replaceEdited = request.replaceEdited;
    if (!studyExtraction(rom, extraction, *plan)) {
        if (plan->files.filesHoldingChanges != 0) {
            printError(kFmtWouldReplaceChanges, static_cast<unsigned>(plan->files.filesHoldingChanges),
                       static_cast<unsigned>(request.modeWord | ModeReplaceEdited));
        }
        return false;
    }
    if (request.checkOnly) {
        printExtractionReport(plan->spans, plan->spanCount);
        return true;
    }
    return commitSheetFiles(plan->files);
}

// The study of an insertion, then its report or the new ROM, and advice on
// what to do when it was refused.
bool runInsertion(const RunRequest& request, RomImage& rom, RunOutcome& outcome)
{
    InsertRequest insertion;
    insertion.startOffset = request.startOffset;
    insertion.files = request.sheets;
    insertion.packing = request.packing;
    insertion.fill = request.fill;
    insertion.anyStart = request.anyStart;
    insertion.changedOnly = request.changedOnly;
    insertion.forReport = request.checkOnly;
    insertion.refuseDifferingPairs = request.refuseDifferingPairs;
    std::unique_ptr<InsertReport> report(new (std::nothrow) InsertReport);
    if (!report) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    RomPlan plan;
    bool inserted = studyInsertion(rom, insertion, plan, *report);
    if (request.checkOnly && report->laidOut) {
        printInsertionReport(*report);
    }
    if (report->fills) {
        printNote(kFmtFillWrites, static_cast<unsigned>(report->fillFirst), static_cast<unsigned>(report->fillLast));
        if (report->foreignBytes != 0) {
            printNote(kFmtForeignFillBytes, static_cast<unsigned>(report->foreignBytes),
                      static_cast<unsigned>(report->firstForeign));
        }
    }
    if (report->changedOnly && report->laidOut) {
        printChangedSheetCount(*report);
    }
    inserted = inserted && commitRomPlan(request, rom, plan, outcome);
    if (inserted) {
        outcome.endOffset = report->endOffset;
    }
    if (report->refusedForRoom && !report->startPastEnd && !request.checkOnly) {
        printError(kFmtCheckOnlyHint, static_cast<unsigned>(request.modeWord | ModeCheckOnly));
    }
    if (report->fits == FitSuggestion::AfterExpansion) {
        printNote(kFmtWouldFitExpanded, modeOf(*report->fitsAfter), static_cast<unsigned>(report->fitsFrom));
    }
    if (report->keptStreamWrittenOver) {
        printError(kFmtLayEverySheetOut, static_cast<unsigned>(request.modeWord & ~ModeChangedOnly));
    }
    if (report->differingPairs.count != 0) {
        const bool pictures = isPictureFormat(request.sheets.format);
        printError(pictures ? kFmtInsertTheRawFiles : kFmtInsertThePictures,
                   static_cast<unsigned>(request.modeWord ^ ModePictures));
    }
    if (report->unreadSheet < kSheetCount) {
        adviseOnMissingSheetFiles(request, report->unreadSheet);
    }
    if (report->combinedFileRefused && isCombinedFormat(request.sheets.format)) {
        adviseOnCombinedFile(request, *rom.layout);
    }
    return inserted;
}

// The study of an expansion, then its report or the grown ROM.
bool runExpansion(const RunRequest& request, RomImage& rom, RunOutcome& outcome)
{
    const RomExpansion& expansion = expansionOf(request.operation);
    RomPlan plan;
    if (!planExpansion(rom, expansion, plan)) {
        return false;
    }
    if (request.checkOnly) {
        printExpansionReport(rom, expansion);
    }
    return commitRomPlan(request, rom, plan, outcome);
}

// The start line of the operation, before its work begins.
void printStart(const RunRequest& request)
{
    const char* message = kMsgStartExtract;
    switch (request.operation) {
    case RunOperation::ExtractSheets:
        break;
    case RunOperation::InsertSheets:
        message = kMsgStartInsert;
        break;
    case RunOperation::ExpandRom2Mib:
        message = kMsgStartExpand2;
        break;
    case RunOperation::ExpandRom3Mib:
        message = kMsgStartExpand3;
        break;
    }
    printNote("%s", request.checkOnly ? kMsgStartCheck : message);
    flushMessages();
}

// The operation on the open, identified ROM, and its outcome line.
bool runOperation(const RunRequest& request, RomImage& rom)
{
    printStart(request);
    RunOutcome outcome;
    bool succeeded = false;
    switch (request.operation) {
    case RunOperation::ExtractSheets:
        succeeded = runExtraction(request, rom);
        break;
    case RunOperation::InsertSheets:
        succeeded = runInsertion(request, rom, outcome);
        break;
    case RunOperation::ExpandRom2Mib:
    case RunOperation::ExpandRom3Mib:
        succeeded = runExpansion(request, rom, outcome);
        break;
    }
    // A check reads the ROM only; the run it checks must also open it for
    // writing, unless that run writes a patch.
    if (request.checkOnly && request.operation != RunOperation::ExtractSheets && request.patchPath.empty() &&
        !mayOpenForWriting(rom.path)) {
        printError(kFmtRomNotWritable, rom.path);
        succeeded = false;
    }
    if (!succeeded) {
        printError("%s", kMsgFailed);
    } else if (request.operation == RunOperation::InsertSheets && outcome.endOffset != 0) {
        printNote(request.checkOnly ? kFmtDoneCheckInsert : kFmtDoneInsert,
                  static_cast<unsigned>(outcome.endOffset - 1));
    } else {
        printNote("%s", kMsgDone);
    }
    if (outcome.patchWritten) {
        printNote(kFmtPatchWritten, request.patchPath.c_str(), static_cast<unsigned>(outcome.patchLength), rom.path);
    }
    return succeeded;
}

// "-h", "--help", "-?" or "/?": the banner, the usage lines and one line per
// mode and flag; "--version": the banner and the version. No prompt follows.
bool answersHelpOrVersion(const char* argument)
{
    const std::string_view word = argument;
    if (word == "-h" || word == "--help" || word == "-?" || word == "/?") {
        printNote("%s%s%s", kBanner, kUsage, kHelp);
        return true;
    }
    if (word == "--version") {
        printNote("%s%s", kBanner, kVersion);
        return true;
    }
    return false;
}

}  // namespace

bool runRequest(const RunRequest& request)
{
    if ((usesSheetFiles(request) && romIsASheetFile(request)) || patchIsARunFile(request)) {
        printError("%s", kMsgIdenticalFiles);
        return false;
    }
    RomImage rom;
    std::FILE* romLock = nullptr;
    const bool succeeded = openRom(request, rom, romLock) && identifyRom(rom) && runOperation(request, rom);
    if (romLock != nullptr) {
        std::fclose(romLock);  // the run is over: the next one may have the ROM
    }
    return succeeded;
}

int runSheetpak(int argc, const char* const* argv)
{
    // A write past a file-size limit fails like any write, so the run can say so.
    letWritesFailPastSizeLimit();
    if (argc > 1 && answersHelpOrVersion(argv[1])) {
        flushMessages();
        return 0;
    }
    printNote("%s", kBanner);
    RunRequest request;
    const bool succeeded = readModeWordCommandLine(argc - 1, argv, request) && runRequest(request);
    flushMessages();
    runExitPrompt(succeeded, request.prompt);
    flushMessages();
    return succeeded ? 0 : 1;
}
