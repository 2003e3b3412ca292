#include "cli/command_form.h"

#include <cstring>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/hex_argument.h"
#include "cli/command_messages.h"
#include "cli/messages.h"
#include "platform/output.h"

namespace fs = std::filesystem;

namespace {

enum Command : unsigned { Extract = 1, Insert = 2, Expand = 4, Info = 8, Help = 16 };

struct CommandName {
    const char* word;
    Command command;
};
constexpr CommandName kCommands[] = {
    {"extract", Extract}, {"insert", Insert}, {"expand", Expand}, {"info", Info}, {"help", Help}};

const char* wordOf(Command command)
{
    for (const CommandName& name : kCommands) {
        if (name.command == command) {
            return name.word;
        }
    }
    return "";
}

bool commandOf(std::string_view word, Command& command)
{
    for (const CommandName& name : kCommands) {
        if (word == name.word) {
            command = name.command;
            return true;
        }
    }
    return false;
}

// The options, and the commands each belongs to.
enum class Option : std::uint8_t { Raw, Png, Sheets, Force, DryRun, Quiet, At, All, Smallest, NoFill, Anywhere, Patch, Json, Help };

struct OptionSpec {
    Option option;
    const char* name;  // after "--"
    char letter;       // after "-", or 0
    bool takesValue;
    unsigned commands;
};
constexpr OptionSpec kOptions[] = {
    {Option::Raw, "raw", 0, false, Extract | Insert},
    {Option::Png, "png", 0, false, Insert},
    {Option::Sheets, "sheets", 0, true, Extract | Insert},
    {Option::Force, "force", 0, false, Extract},
    {Option::DryRun, "dry-run", 'n', false, Extract | Insert | Expand},
    {Option::Quiet, "quiet", 'q', false, Extract | Insert | Expand},
    {Option::At, "at", 0, true, Insert},
    {Option::All, "all", 0, false, Insert},
    {Option::Smallest, "smallest", 0, false, Insert},
    {Option::NoFill, "no-fill", 0, false, Insert},
    {Option::Anywhere, "anywhere", 0, false, Insert},
    {Option::Patch, "patch", 0, true, Insert | Expand},
    {Option::Json, "json", 0, false, Info},
    {Option::Help, "help", 'h', false, Extract | Insert | Expand | Info | Help},
};

// What the arguments after the command word gave.
struct Given {
    bool set[16] = {};
    std::string value[16];
    std::vector<std::string> positional;
    bool has(Option option) const { return set[static_cast<unsigned>(option)]; }
    const std::string& of(Option option) const { return value[static_cast<unsigned>(option)]; }
};

// Prints an error of use of `command` and what to read.
void useError(Command command, const char* format, const char* a, const char* b = "")
{
    std::string first = std::string("sheetpak ") + wordOf(command) + ": " + format;
    if (command == Help) {
        first = std::string("sheetpak: ") + format;
    }
    printError(first.c_str(), a, b);
    if (command == Help) {
        printError("%s", kMsgTryHelp);
    } else {
        printError(kFmtTryHelpCommand, wordOf(command));
    }
}

const OptionSpec* findLong(std::string_view name)
{
    for (const OptionSpec& spec : kOptions) {
        if (name == spec.name) {
            return &spec;
        }
    }
    return nullptr;
}

const OptionSpec* findLetter(char letter)
{
    for (const OptionSpec& spec : kOptions) {
        if (spec.letter == letter) {
            return &spec;
        }
    }
    return nullptr;
}

// Takes option `spec` (written as `written`) for `command`; its value from
// `inlineValue` or the next argument. False after an error of use.
bool takeOption(Command command, const OptionSpec* spec, const std::string& written, const char* inlineValue,
                int& k, int argc, const char* const* argv, Given& given)
{
    if (spec == nullptr) {
        useError(command, kFmtUseUnknownOption, written.c_str());
        return false;
    }
    if ((spec->commands & command) == 0) {
        useError(command, kFmtUseOptionOfOther, written.c_str(), wordOf(command));
        return false;
    }
    const unsigned slot = static_cast<unsigned>(spec->option);
    given.set[slot] = true;
    if (!spec->takesValue) {
        if (inlineValue != nullptr) {
            useError(command, kFmtUseNoValue, written.c_str());
            return false;
        }
        return true;
    }
    if (inlineValue != nullptr) {
        given.value[slot] = inlineValue;
        return true;
    }
    if (k + 1 >= argc) {
        useError(command, kFmtUseNeedsValue, written.c_str());
        return false;
    }
    given.value[slot] = argv[++k];
    return true;
}

// Options may come before, between or after the arguments; "--" ends them.
bool readArguments(Command command, int first, int argc, const char* const* argv, Given& given)
{
    bool optionsEnded = false;
    for (int k = first; k < argc; ++k) {
        const std::string argument = argv[k];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            given.positional.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument[1] == '-') {
            const std::size_t equals = argument.find('=');
            const std::string name = argument.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            const char* inlineValue = equals == std::string::npos ? nullptr : argv[k] + equals + 1;
            if (!takeOption(command, findLong(name), "--" + name, inlineValue, k, argc, argv, given)) {
                return false;
            }
            continue;
        }
        // Letters: -n, -q, -h, or several of them at once (-nq).
        for (std::size_t at = 1; at < argument.size(); ++at) {
            const OptionSpec* spec = findLetter(argument[at]);
            if (!takeOption(command, spec, std::string("-") + argument[at], nullptr, k, argc, argv, given)) {
                return false;
            }
        }
    }
    return true;
}

bool endsWithInAnyCase(const std::string& text, const char* ending)
{
    const std::size_t length = std::strlen(ending);
    if (text.size() < length) {
        return false;
    }
    for (std::size_t k = 0; k < length; ++k) {
        char c = text[text.size() - length + k];
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (c != ending[k]) {
            return false;
        }
    }
    return true;
}

bool isFolder(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

// A sheet number of hexadecimal digits, 00 to DE.
bool readSheetNumber(const std::string& text, std::uint32_t& sheet)
{
    if (text.empty() || text.size() > 3) {
        return false;
    }
    sheet = 0;
    for (const char c : text) {
        if (hexDigitValue(c) < 0) {
            return false;
        }
        sheet = sheet * 16 + static_cast<std::uint32_t>(hexDigitValue(c));
    }
    return sheet < kSheetCount;
}

// LIST: hexadecimal sheet numbers and ranges, "21,71-73,DD".
bool readSheetList(Command command, const std::string& list, SheetSelection& selection)
{
    selection.every = false;
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t comma = list.find(',', at);
        const std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        const std::size_t dash = item.find('-');
        std::uint32_t first = 0;
        std::uint32_t last = 0;
        const bool read = dash == std::string::npos
                              ? readSheetNumber(item, first) && ((last = first), true)
                              : readSheetNumber(item.substr(0, dash), first) &&
                                    readSheetNumber(item.substr(dash + 1), last) && first <= last;
        if (!read) {
            useError(command, kFmtUseBadSheetList, list.c_str(), item.c_str());
            return false;
        }
        for (std::uint32_t sheet = first; sheet <= last; ++sheet) {
            selection.chosen[sheet] = true;
        }
        if (comma == std::string::npos) {
            break;
        }
        at = comma + 1;
    }
    return true;
}

// "GFX21.png" or "GFX21.bin": the sheet and whether it is a picture.
bool readPerSheetName(const std::string& path, std::uint32_t& sheet, bool& picture)
{
    const std::string name = fs::path(path).filename().string();
    if (name.size() != 9 || name.compare(0, 3, "GFX") != 0 || hexDigitValue(name[3]) < 0 || hexDigitValue(name[4]) < 0 ||
        (name[3] >= 'a' && name[3] <= 'f') || (name[4] >= 'a' && name[4] <= 'f')) {
        return false;
    }
    const std::string extension = name.substr(5);
    if (extension != ".png" && extension != ".bin") {
        return false;
    }
    picture = extension == ".png";
    return readSheetNumber(name.substr(3, 2), sheet);
}

// What the insert, expand and extract commands share.
bool readCommonOptions(Command command, const Given& given, RunRequest& request)
{
    request.form = CommandForm::Commands;
    request.prompt = PromptPolicy::NotAfterSuccess;
    request.checkOnly = given.has(Option::DryRun);
    request.quiet = given.has(Option::Quiet);
    if (given.has(Option::Patch)) {
        request.patchPath = given.of(Option::Patch);
        if (!patchFormatOfName(request.patchPath.c_str(), request.patchFormat)) {
            useError(command, kFmtUseBadPatchName, request.patchPath.c_str());
            return false;
        }
    }
    if (given.has(Option::Sheets) && !readSheetList(command, given.of(Option::Sheets), request.selection)) {
        return false;
    }
    return true;
}

bool readExtract(const Given& given, RunRequest& request)
{
    if (given.positional.empty()) {
        useError(Extract, "%s", kMsgUseRomMissing);
        return false;
    }
    if (given.positional.size() > 2) {
        useError(Extract, kFmtUseExtraArgument, given.positional[2].c_str());
        return false;
    }
    if (!readCommonOptions(Extract, given, request)) {
        return false;
    }
    request.operation = RunOperation::ExtractSheets;
    request.romPath = given.positional[0];
    request.replaceEdited = given.has(Option::Force);
    const bool raw = given.has(Option::Raw);
    const std::string target = given.positional.size() == 2 ? given.positional[1] : "";
    const bool picture = endsWithInAnyCase(target, ".png") && !isFolder(target);
    const bool combined = picture || (endsWithInAnyCase(target, ".bin") && !isFolder(target));
    if (picture && raw) {
        useError(Extract, kFmtUseRawWithPicture, target.c_str());
        return false;
    }
    if (combined && given.has(Option::Sheets)) {
        useError(Extract, kFmtUseSheetsWithCombined, target.c_str());
        return false;
    }
    request.sheets.path = target;
    if (combined) {
        request.sheets.format = picture ? SheetFileFormat::PictureCombined : SheetFileFormat::RawCombined;
    } else {
        request.sheets.format = raw ? SheetFileFormat::RawPerSheet : SheetFileFormat::PicturePerSheet;
        request.createFolder = !target.empty();
    }
    return true;
}

// SOURCE: a folder, a combined file, or per-sheet files of one folder and kind.
bool readInsertSources(const Given& given, RunRequest& request)
{
    const std::vector<std::string> sources(given.positional.begin() + 1, given.positional.end());
    const bool png = given.has(Option::Png);
    const bool raw = given.has(Option::Raw);
    std::uint32_t sheet = 0;
    bool picture = false;
    if (sources.size() == 1 && !isFolder(sources[0]) && !readPerSheetName(sources[0], sheet, picture) &&
        (endsWithInAnyCase(sources[0], ".png") || endsWithInAnyCase(sources[0], ".bin"))) {
        picture = endsWithInAnyCase(sources[0], ".png");
        if ((picture && raw) || (!picture && png)) {
            useError(Insert, kFmtUseKindOfFile, sources[0].c_str(), picture ? "--raw" : "--png");
            return false;
        }
        if (given.has(Option::Sheets)) {
            useError(Insert, kFmtUseSheetsWithCombined, sources[0].c_str());
            return false;
        }
        request.sheets = {picture ? SheetFileFormat::PictureCombined : SheetFileFormat::RawCombined, sources[0]};
        return true;
    }
    if (sources.empty() || (sources.size() == 1 && (isFolder(sources[0]) || !readPerSheetName(sources[0], sheet, picture)))) {
        request.sheets.path = sources.empty() ? "" : sources[0];
        request.sheets.format = raw ? SheetFileFormat::RawPerSheet : SheetFileFormat::PicturePerSheet;
        request.detectFormat = !raw && !png;
        return true;
    }
    // Per-sheet files, which choose the sheets.
    if (given.has(Option::Sheets)) {
        useError(Insert, kFmtUseSheetsWithFiles, sources[0].c_str());
        return false;
    }
    request.selection.every = false;
    std::string folder;
    for (std::size_t k = 0; k < sources.size(); ++k) {
        bool thisPicture = false;
        if (!readPerSheetName(sources[k], sheet, thisPicture)) {
            useError(Insert, kFmtUseNotASheetFile, sources[k].c_str());
            return false;
        }
        const std::string parent = fs::path(sources[k]).parent_path().string();
        if (k == 0) {
            folder = parent;
            picture = thisPicture;
        } else if (parent != folder || thisPicture != picture) {
            useError(Insert, kFmtUseSheetFilesApart, sources[k].c_str(), sources[0].c_str());
            return false;
        }
        request.selection.chosen[sheet] = true;
    }
    if ((picture && raw) || (!picture && png)) {
        useError(Insert, kFmtUseKindOfFile, sources[0].c_str(), picture ? "--raw" : "--png");
        return false;
    }
    request.sheets = {picture ? SheetFileFormat::PicturePerSheet : SheetFileFormat::RawPerSheet, folder};
    return true;
}

bool readInsert(const Given& given, RunRequest& request)
{
    if (given.positional.empty()) {
        useError(Insert, "%s", kMsgUseRomMissing);
        return false;
    }
    if (given.has(Option::Png) && given.has(Option::Raw)) {
        useError(Insert, "%s", kMsgUsePngWithRaw);
        return false;
    }
    if (!readCommonOptions(Insert, given, request) || !readInsertSources(given, request)) {
        return false;
    }
    request.operation = RunOperation::InsertSheets;
    request.romPath = given.positional[0];
    request.changedOnly = !given.has(Option::All);
    request.packing = given.has(Option::Smallest) ? LzPacking::Smallest : LzPacking::Default;
    request.fill = !given.has(Option::NoFill);
    request.anyStart = given.has(Option::Anywhere);
    request.refuseDifferingPairs = request.detectFormat;
    request.startGiven = given.has(Option::At);
    request.startOffset = kGraphicsAreaStart;
    if (request.startGiven) {
        bool digit = false;
        request.startOffset = parseHexArgument(given.of(Option::At).c_str(), 0, &digit);
        if (!digit) {
            useError(Insert, kFmtUseBadOffset, given.of(Option::At).c_str());
            return false;
        }
    }
    return true;
}

bool readExpand(const Given& given, RunRequest& request)
{
    if (given.positional.size() < 2) {
        useError(Expand, "%s", given.positional.empty() ? kMsgUseRomMissing : kMsgUseSizeMissing);
        return false;
    }
    if (given.positional.size() > 2) {
        useError(Expand, kFmtUseExtraArgument, given.positional[2].c_str());
        return false;
    }
    const std::string& size = given.positional[1];
    if (size != "2M" && size != "2m" && size != "3M" && size != "3m") {
        useError(Expand, kFmtUseBadSize, size.c_str());
        return false;
    }
    if (!readCommonOptions(Expand, given, request)) {
        return false;
    }
    request.operation = size[0] == '2' ? RunOperation::ExpandRom2Mib : RunOperation::ExpandRom3Mib;
    request.romPath = given.positional[0];
    return true;
}

bool readInfo(const Given& given, CommandLine& line)
{
    if (given.positional.empty()) {
        useError(Info, "%s", kMsgUseRomMissing);
        return false;
    }
    if (given.positional.size() > 1) {
        useError(Info, kFmtUseExtraArgument, given.positional[1].c_str());
        return false;
    }
    line.infoRom = given.positional[0];
    line.json = given.has(Option::Json);
    return true;
}

}  // namespace

bool isCommandForm(int argc, const char* const* argv)
{
    if (argc < 2) {
        return false;
    }
    const std::string_view first = argv[1];
    Command command = Extract;
    if (commandOf(first, command) || first == "/?") {
        return true;
    }
    // A dash before a hexadecimal digit is a minus of a mode word (-1).
    if (first.size() >= 2 && first[0] == '-' && hexDigitValue(first[1]) < 0) {
        return true;
    }
    std::error_code error;
    return argc == 2 && fs::is_regular_file(argv[1], error);
}

void readCommandLine(int argc, const char* const* argv, CommandLine& line)
{
    line.ask = CommandAsk::UseError;
    const std::string first = argv[1];
    if (first == "--version") {
        line.ask = CommandAsk::Version;
        return;
    }
    if (first == "--help" || first == "-h" || first == "-?" || first == "/?") {
        line.ask = CommandAsk::Help;
        return;
    }
    Command command = Extract;
    if (!commandOf(first, command)) {
        if (first[0] == '-') {
            useError(Help, kFmtUseOptionFirst, first.c_str());
            return;
        }
        // A lone file: a ROM dropped onto the program.
        line.ask = CommandAsk::Info;
        line.infoRom = first;
        line.droppedRom = true;
        return;
    }
    Given given;
    if (!readArguments(command, 2, argc, argv, given)) {
        return;
    }
    if (given.has(Option::Help)) {
        line.ask = CommandAsk::Help;
        line.helpTopic = command == Help ? "" : wordOf(command);
        return;
    }
    switch (command) {
    case Help:
        if (given.positional.size() > 1) {
            useError(Help, kFmtUseUnknownCommand, given.positional[1].c_str());
            return;
        }
        if (!given.positional.empty()) {
            Command topic = Extract;
            if (!commandOf(given.positional[0], topic) || topic == Help) {
                useError(Help, kFmtUseUnknownCommand, given.positional[0].c_str());
                return;
            }
            line.helpTopic = given.positional[0];
        }
        line.ask = CommandAsk::Help;
        return;
    case Info:
        if (readInfo(given, line)) {
            line.ask = CommandAsk::Info;
        }
        return;
    case Extract:
        if (readExtract(given, line.request)) {
            line.ask = CommandAsk::Run;
        }
        return;
    case Insert:
        if (readInsert(given, line.request)) {
            line.ask = CommandAsk::Run;
        }
        return;
    case Expand:
        if (readExpand(given, line.request)) {
            line.ask = CommandAsk::Run;
        }
        return;
    }
}

void printCommandHelp(const std::string& topic)
{
    if (topic == "extract") {
        printNote("%s", kHelpExtract);
    } else if (topic == "insert") {
        printNote("%s", kHelpInsert);
    } else if (topic == "expand") {
        printNote("%s", kHelpExpand);
    } else if (topic == "info") {
        printNote("%s", kHelpInfo);
    } else {
        printNote("%s%s%s%s", kHelpCommands, kHelpModeWordHeading, kUsage, kHelp);
    }
}
