#include "cli/mode_word.h"

#include <filesystem>
#include <initializer_list>
#include <string>

#include "cli/hex_argument.h"
#include "cli/messages.h"
#include "platform/output.h"

namespace {

// The request's fields that the mode word's bits set.
void readFlags(std::uint32_t modeWord, bool combined, RunRequest& request)
{
    const bool pictures = (modeWord & ModePictures) != 0;
    request.sheets.format = combined ? (pictures ? SheetFileFormat::PictureCombined : SheetFileFormat::RawCombined)
                                     : (pictures ? SheetFileFormat::PicturePerSheet : SheetFileFormat::RawPerSheet);
    request.fill = (modeWord & ModeNoFill) == 0;
    request.checkOnly = (modeWord & ModeCheckOnly) != 0;
    request.packing = (modeWord & ModeSmallest) != 0 ? LzPacking::Smallest : LzPacking::Default;
    request.anyStart = (modeWord & ModeAnyStart) != 0;
    request.changedOnly = (modeWord & ModeChangedOnly) != 0;
    request.replaceEdited = (modeWord & ModeReplaceEdited) != 0;
    // The mode word names the kind it reads; a file of the other kind that
    // holds other sheets beside it is most likely the one the user edited.
    request.refuseDifferingPairs = !combined;
    request.prompt = promptPolicyOf(modeWord);
    // A patch beside the ROM instead of the changed ROM: zelda.smc gives zelda.bps.
    if ((modeWord & ModePatch) != 0 && request.operation != RunOperation::ExtractSheets) {
        request.patchPath = std::filesystem::path(request.romPath).replace_extension(".bps").string();
        request.patchFormat = PatchFormat::Bps;
    }
}

}  // namespace

PromptPolicy promptPolicyOf(std::uint32_t modeWord)
{
    return (modeWord & ModeNoPromptOnSuccess) != 0 ? PromptPolicy::NotAfterSuccess : PromptPolicy::Always;
}

bool readModeWordCommandLine(int n, const char* const* argv, RunRequest& request)
{
    if (n < 2) {
        printError("%s", kUsage);
        return false;
    }
    if (n > 4) {
        // Checked before the mode word is read, so it stays 0.
        printError("%s", kMsgTooManyParameters);
        return false;
    }
    bool digitRead = false;
    request.modeWord = parseHexArgument(argv[1], request.modeWord, &digitRead);
    if (!digitRead) {
        printError(kFmtModeNotANumber, argv[1]);
        return false;
    }
    // The combined sheet file, when the operation takes one: its argument.
    int combinedArgument = 0;
    switch (request.modeWord & 0xF) {
    case 0:
        if (n > 3) {
            printError("%s", kMsgTooManyParameters);
            return false;
        }
        request.operation = RunOperation::ExtractSheets;
        request.romPath = argv[2];
        combinedArgument = n == 3 ? 3 : 0;
        break;
    case 1:
        if (n < 3) {
            printError("%s", kMsgNotEnoughParameters);
            return false;
        }
        request.operation = RunOperation::InsertSheets;
        request.startOffset = parseHexArgument(argv[2], request.startOffset, &digitRead);
        if (!digitRead) {
            printError(kFmtAddressNotANumber, argv[2]);
            return false;
        }
        request.romPath = argv[3];
        combinedArgument = n == 4 ? 4 : 0;
        break;
    case 2:
    case 3:
        if (n > 2) {
            printError("%s", kMsgTooManyParameters);
            return false;
        }
        request.operation = (request.modeWord & 0xF) == 2 ? RunOperation::ExpandRom2Mib : RunOperation::ExpandRom3Mib;
        request.romPath = argv[2];
        break;
    default:
        printError(kFmtInvalidMode, static_cast<unsigned>(request.modeWord));
        return false;
    }
    // A typo such as 87000 for the mode word (an insert address) runs nothing.
    const std::uint32_t unknown = request.modeWord & ~(kModeFlags | 0xFu);
    if (unknown != 0) {
        printError(kFmtUnknownModeBits, static_cast<unsigned>(request.modeWord), static_cast<unsigned>(unknown));
        return false;
    }
    request.sheets.path = combinedArgument != 0 ? argv[combinedArgument] : "";
    // This form takes no option: "--verbose" would otherwise name a file.
    for (const std::string* path : {&request.romPath, &request.sheets.path}) {
        if (!path->empty() && (*path)[0] == '-') {
            printError(kFmtLooksLikeAnOption, path->c_str(), path->c_str());
            return false;
        }
    }
    readFlags(request.modeWord, combinedArgument != 0, request);
    return true;
}
