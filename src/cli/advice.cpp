#include "cli/advice.h"

#include "cli/command_messages.h"
#include "cli/messages.h"
#include "cli/mode_word.h"
#include "platform/output.h"

namespace {

bool modeWord(const RunRequest& request)
{
    return request.form == CommandForm::ModeWord;
}

unsigned word(std::uint32_t value)
{
    return static_cast<unsigned>(value);
}

}  // namespace

void adviseOnEditedFiles(const RunRequest& request, std::uint32_t count)
{
    if (modeWord(request)) {
        printError(kFmtWouldReplaceChanges, word(count), word(request.modeWord | ModeReplaceEdited));
    } else {
        printError(kFmtWouldReplaceChangesForce, word(count));
    }
}

void adviseCheck(const RunRequest& request)
{
    if (modeWord(request)) {
        printError(kFmtCheckOnlyHint, word(request.modeWord | ModeCheckOnly));
    } else {
        printError("%s", kMsgDryRunHint);
    }
}

void adviseExpansion(const RunRequest& request, const RomExpansion& expansion, std::uint32_t from)
{
    const unsigned megabytes = word(expansion.size >> 20);
    if (modeWord(request)) {
        printNote(kFmtWouldFitExpanded, megabytes, word(from));
    } else {
        printNote(kFmtWouldFitAfterExpand, request.romPath.c_str(), megabytes, word(from));
    }
}

void adviseLayingOutAnew(const RunRequest& request)
{
    if (modeWord(request)) {
        printError(kFmtLayEverySheetOut, word(request.modeWord & ~ModeChangedOnly));
    } else {
        printError("%s", kMsgLayEverySheetOutAll);
    }
}

void adviseOtherKind(const RunRequest& request, const char* otherName)
{
    const bool pictures = isPictureFormat(request.sheets.format);
    if (modeWord(request)) {
        printError(pictures ? kFmtRawFilesAreThere : kFmtPicturesAreThere, otherName,
                   word(request.modeWord ^ ModePictures));
    } else {
        printError(pictures ? kFmtRawFilesAreThereRaw : kFmtPicturesAreTherePng, otherName);
    }
}

void adviseCombinedKind(const RunRequest& request, bool picture)
{
    const char* path = request.sheets.path.c_str();
    if (modeWord(request)) {
        if (picture) {
            printError(kFmtCombinedIsPicture, path, word(request.modeWord | ModePictures));
        } else {
            printError(kFmtCombinedIsRaw, path, word(request.modeWord & ~ModePictures));
        }
    } else {
        printError(picture ? kFmtCombinedIsPictureByName : kFmtCombinedIsRawByName, path);
    }
}

void adviseDifferingPairs(const RunRequest& request)
{
    if (!modeWord(request)) {
        printError("%s", kMsgChooseKind);
        return;
    }
    const bool pictures = isPictureFormat(request.sheets.format);
    printError(pictures ? kFmtInsertTheRawFiles : kFmtInsertThePictures, word(request.modeWord ^ ModePictures));
}

void noteFill(const RunRequest& request, std::uint32_t first, std::uint32_t last)
{
    printNote(modeWord(request) ? kFmtFillWrites : kFmtFillWritesNoFill, word(first), word(last));
}
