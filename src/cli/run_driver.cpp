#include "cli/run_driver.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include "cli/advice.h"
#include "cli/command_form.h"
#include "cli/command_messages.h"
#include "cli/exit_prompt.h"
#include "cli/info_report.h"
#include "cli/messages.h"
#include "cli/mode_word.h"
#include "platform/file_io.h"
#include "platform/output.h"
#include "rom/expand.h"
#include "rom/identify.h"
#include "rom/rom_messages.h"
#include "rom/rom_store.h"
#include "rom/sheet_catalogue.h"
#include "sheetfile/sheet_file_locks.h"
#include "sheetfile/sheet_files.h"
#include "sheetfile/sheet_probe.h"
#include "transfer/check_report.h"
#include "transfer/commit.h"
#include "transfer/extract.h"
#include "transfer/insert.h"
#include "transfer/rom_survey.h"
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
    // For the line a run of the command form ends with.
    bool romWritten = false;
    std::uint32_t filesWritten = 0;   // extraction
    std::uint32_t filesKept = 0;
    bool changedOnly = false;         // insertion
    std::uint32_t changed = 0;
    std::uint32_t inPlace = 0;
    std::uint32_t start = 0;
    std::uint32_t grownTo = 0;        // expansion
};

// Told before this run waits for another run on the ROM or the sheet files
// to finish (`seconds` 0), then every 30 seconds of the wait.
void tellWaiting(const char* name, std::uint32_t seconds)
{
    const char* shown = name[0] != '\0' ? name : kMsgTheCurrentFolder;
    if (seconds == 0) {
        printNote(kFmtWaitingForRun, shown);
    } else {
        printNote(kFmtStillWaiting, static_cast<unsigned>(seconds), shown);
    }
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
    clearSystemError();
    lock = openLockedFile(rom.path, readOnly ? "rb" : "r+b", readOnly ? FileLock::Shared : FileLock::Exclusive,
                          tellWaiting);
    if (lock == nullptr) {
        printError(kFmtUnableToOpenRom, rom.path);
        printSystemReason();
        return false;
    }
    if (!restoreHalfWrittenRom(rom.path)) {
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

// After a per-sheet file of `sheet` could not be read: when it is missing and
// the file of the other kind is there, how to read that kind; then how many
// of the route's files are missing, when more than one is.
void adviseOnMissingSheetFiles(const RunRequest& request, std::uint32_t sheet)
{
    const SheetFilesFound found = lookForSheetFiles(request.sheets, sheet);
    if (found.sheetFileThere) {
        return;  // there, but refused for what it holds: its message says why
    }
    if (found.otherKindThere) {
        adviseOtherKind(request, found.otherKindName.c_str());
    }
    if (found.missing > 1) {
        printError(kFmtSheetFilesMissing, static_cast<unsigned>(found.missing));
    }
}

// After the combined file was refused: a picture given as raw sheets, or raw
// sheets of this release given as a picture.
void adviseOnCombinedFile(const RunRequest& request, const RomLayout& layout)
{
    const bool pictures = isPictureFormat(request.sheets.format);
    const CombinedFileLook look = lookAtCombinedFile(request.sheets.path.c_str(), layout);
    if (!pictures && look.picture) {
        adviseCombinedKind(request, true);
    } else if (pictures && !look.picture && look.rawSize) {
        adviseCombinedKind(request, false);
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
bool runExtraction(const RunRequest& request, const RomImage& rom, RunOutcome& outcome)
{
    std::unique_ptr<ExtractPlan> plan(new (std::nothrow) ExtractPlan);
    if (!plan) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    // The sheet files alone from the first look at them to the last rename
    // (shared with other readers for a check).
    HeldRunLock held;
    if (!holdSheetFiles(held, request.sheets, request.checkOnly ? FileLock::Shared : FileLock::Exclusive)) {
        return false;
    }
    ExtractRequest extraction;
    extraction.files = request.sheets;
    extraction.replaceEdited = request.replaceEdited;
    extraction.selection = request.selection;
    if (!studyExtraction(rom, extraction, *plan)) {
        if (plan->files.filesHoldingChanges != 0) {
            adviseOnEditedFiles(request, plan->files.filesHoldingChanges);
        }
        return false;
    }
    if (request.checkOnly) {
        printExtractionReport(plan->spans, plan->spanCount);
        return true;
    }
    if (!commitSheetFiles(plan->files)) {
        return false;
    }
    outcome.filesWritten = plan->files.written;
    outcome.filesKept = plan->files.count - plan->files.written;
    return true;
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
    insertion.selection = request.selection;
    insertion.startGiven = request.startGiven;
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
        noteFill(request, report->fillFirst, report->fillLast);
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
        outcome.changedOnly = report->changedOnly;
        outcome.changed = report->changed;
        outcome.inPlace = report->inPlace;
        outcome.start = report->start;
        outcome.romWritten = plan.writes && request.patchPath.empty() && !request.checkOnly;
    }
    if (report->refusedForRoom && !report->startPastEnd && !request.checkOnly) {
        adviseCheck(request);
    }
    if (report->fits == FitSuggestion::AfterExpansion) {
        adviseExpansion(request, *report->fitsAfter, report->fitsFrom);
    }
    if (report->keptStreamWrittenOver) {
        adviseLayingOutAnew(request);
    }
    if (report->differingPairs.count != 0) {
        adviseDifferingPairs(request);
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
    if (!commitRomPlan(request, rom, plan, outcome)) {
        return false;
    }
    outcome.romWritten = request.patchPath.empty() && !request.checkOnly;
    outcome.grownTo = plan.size;
    return true;
}

// Which kind of per-sheet files an insertion reads when none was asked for:
// pictures when the folder holds some, raw files when it holds only those;
// with both, the pictures, refused where a raw file beside one differs.
void decideSheetKind(RunRequest& request)
{
    SheetFiles& files = request.sheets;
    const bool pictures = folderHoldsSheetFiles(files, SheetFileFormat::PicturePerSheet, request.selection);
    const bool raw = folderHoldsSheetFiles(files, SheetFileFormat::RawPerSheet, request.selection);
    files.format = pictures || !raw ? SheetFileFormat::PicturePerSheet : SheetFileFormat::RawPerSheet;
    request.refuseDifferingPairs = pictures && raw;
}

// Makes the folder of an extraction's per-sheet files when it is missing; its
// parent must exist. False after the message.
bool makeSheetFolder(const std::string& folder, bool& made)
{
    std::error_code error;
    made = false;
    if (std::filesystem::is_directory(folder, error)) {
        return true;
    }
    const std::filesystem::path parent = std::filesystem::path(folder).parent_path();
    if (!parent.empty() && !std::filesystem::is_directory(parent, error)) {
        printError(kFmtFolderParentMissing, folder.c_str(), parent.string().c_str());
        return false;
    }
    made = std::filesystem::create_directory(folder, error);
    if (!made) {
        printError(kFmtFolderNotMade, folder.c_str());
        return false;
    }
    return true;
}

void removeFolderIfEmpty(const std::string& folder)
{
    std::error_code error;
    if (std::filesystem::is_empty(folder, error) && !error) {
        std::filesystem::remove(folder, error);
    }
}

// The folder of per-sheet files as a message names it.
std::string folderName(const SheetFiles& files)
{
    return files.path.empty() ? kMsgTheCurrentFolder : files.path;
}

// The line a successful run of the command form ends with: what it wrote and where.
void printWhatWasWritten(const RunRequest& request, const RunOutcome& outcome)
{
    if (request.checkOnly) {
        printNote("%s", kMsgDryRunWroteNothing);
        return;
    }
    const char* rom = request.romPath.c_str();
    switch (request.operation) {
    case RunOperation::ExtractSheets:
        if (isCombinedFormat(request.sheets.format)) {
            printNote(outcome.filesWritten != 0 ? kFmtWroteCombinedFile : kFmtCombinedFileKept,
                      request.sheets.path.c_str());
        } else {
            printNote(kFmtWroteSheetFiles, folderName(request.sheets).c_str(),
                      static_cast<unsigned>(outcome.filesWritten), static_cast<unsigned>(outcome.filesKept));
        }
        return;
    case RunOperation::InsertSheets:
        if (!outcome.romWritten) {
            printNote(kFmtRomKeptNothingChanged, rom);
        } else if (!outcome.changedOnly) {
            printNote(kFmtWroteEverySheet, rom, static_cast<unsigned>(outcome.start),
                      static_cast<unsigned>(outcome.endOffset - 1));
        } else if (outcome.endOffset != 0) {
            printNote(kFmtWroteChangedSheetsMoved, rom, static_cast<unsigned>(outcome.changed),
                      static_cast<unsigned>(outcome.inPlace), static_cast<unsigned>(outcome.changed - outcome.inPlace),
                      static_cast<unsigned>(outcome.endOffset - 1));
        } else {
            printNote(kFmtWroteChangedSheets, rom, static_cast<unsigned>(outcome.changed));
        }
        return;
    case RunOperation::ExpandRom2Mib:
    case RunOperation::ExpandRom3Mib:
        printNote(kFmtWroteGrownRom, rom, static_cast<unsigned>(outcome.grownTo));
        return;
    }
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
        succeeded = runExtraction(request, rom, outcome);
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
    } else if (succeeded && request.form == CommandForm::Commands) {
        printWhatWasWritten(request, outcome);
    }
    return succeeded;
}

}  // namespace

bool runRequest(const RunRequest& request)
{
    if ((usesSheetFiles(request) && romIsASheetFile(request)) || patchIsARunFile(request)) {
        printError("%s", kMsgIdenticalFiles);
        return false;
    }
    RunRequest decided = request;
    if (decided.detectFormat) {
        decideSheetKind(decided);
    }
    bool madeFolder = false;
    if (decided.createFolder && !decided.checkOnly && !makeSheetFolder(decided.sheets.path, madeFolder)) {
        return false;
    }
    RomImage rom;
    std::FILE* romLock = nullptr;
    const bool succeeded = openRom(decided, rom, romLock) && identifyRom(rom) && runOperation(decided, rom);
    if (romLock != nullptr) {
        std::fclose(romLock);  // the run is over: the next one may have the ROM
    }
    if (!succeeded && madeFolder) {
        removeFolderIfEmpty(decided.sheets.path);
    }
    return succeeded;
}

namespace {

// The info command: the ROM read and surveyed, then lines or JSON.
bool runInfo(const CommandLine& line)
{
    RunRequest request;
    request.form = CommandForm::Commands;
    request.operation = RunOperation::ExtractSheets;  // reads the ROM only, shared with other readers
    request.romPath = line.infoRom;
    RomImage rom;
    std::FILE* romLock = nullptr;
    std::unique_ptr<RomSurvey> survey(new (std::nothrow) RomSurvey);
    bool succeeded = survey != nullptr && openRom(request, rom, romLock) && identifyRom(rom) && surveyRom(rom, *survey);
    if (!survey) {
        printError("%s", kMsgOutOfMemory);
    }
    if (romLock != nullptr) {
        std::fclose(romLock);
    }
    if (succeeded) {
        if (line.json) {
            printInfoJson(rom.path, rom, *survey);
        } else {
            printInfoText(rom.path, rom, *survey);
        }
    }
    return succeeded;
}

// A path as a command line would take it: quoted when it holds a space.
std::string asArgument(const std::string& path)
{
    return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
}

// The command form, from its arguments to the exit prompt.
int runCommandForm(int argc, const char* const* argv)
{
    routeMessages(MessageRoute::ErrorsApart);
    CommandLine line;
    readCommandLine(argc, argv, line);
    bool succeeded = true;
    PromptPolicy prompt = PromptPolicy::NotAfterSuccess;
    switch (line.ask) {
    case CommandAsk::UseError:
        flushMessages();
        return 2;
    case CommandAsk::Version:
        printNote("%s", kVersion);
        break;
    case CommandAsk::Help:
        printCommandHelp(line.helpTopic);
        break;
    case CommandAsk::Info:
        succeeded = runInfo(line);
        if (line.droppedRom) {
            const std::string rom = asArgument(line.infoRom);
            printNote(kFmtDroppedRomNext, rom.c_str(), rom.c_str());
            prompt = PromptPolicy::Always;
        }
        break;
    case CommandAsk::Run:
        if (line.request.quiet) {
            routeMessages(MessageRoute::Quiet);
        }
        succeeded = runRequest(line.request);
        prompt = line.request.prompt;
        break;
    }
    flushMessages();
    runExitPrompt(succeeded, prompt);
    flushMessages();
    return succeeded ? 0 : 1;
}

}  // namespace

int runSheetpak(int argc, const char* const* argv)
{
    // A write past a file-size limit fails like any write, so the run can say so.
    letWritesFailPastSizeLimit();
    // Ctrl-C and the like wait for a file being put in place; waits say so.
    letStopSignalsWaitForCommits();
    setLockWaitNotice(tellWaiting);
    if (isCommandForm(argc, argv)) {
        return runCommandForm(argc, argv);
    }
    printNote("%s", kBanner);
    RunRequest request;
    const bool succeeded = readModeWordCommandLine(argc - 1, argv, request) && runRequest(request);
    flushMessages();
    runExitPrompt(succeeded, request.prompt);
    flushMessages();
    return succeeded ? 0 : 1;
}
