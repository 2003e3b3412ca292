#include "cli/info_report.h"

#include <cinttypes>
#include <string>

#include "cli/command_messages.h"
#include "platform/output.h"

namespace {

const char* storageName(SheetStorage storage)
{
    switch (storage) {
    case SheetStorage::Compressed:
        return "compressed";
    case SheetStorage::Raw3bpp:
        return "raw";
    case SheetStorage::FixedOffset:
        break;
    }
    return "fixed";
}

const char* stateName(SurveyedState state, bool json)
{
    switch (state) {
    case SurveyedState::Ok:
        return "ok";
    case SurveyedState::CutOff:
        return json ? "cutOff" : "cut off by the end of the file";
    case SurveyedState::Fails:
        break;
    }
    return json ? "fails" : "decodes to nothing";
}

// `text` as a JSON string, quotes included.
std::string jsonString(const char* text)
{
    std::string quoted = "\"";
    for (const char* at = text; *at != '\0'; ++at) {
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            quoted += escaped;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

void printAreaJson(const char* name, const SurveyedArea& area, bool last)
{
    if (!area.present) {
        printNote("  \"%s\": null%s\n", name, last ? "" : ",");
        return;
    }
    printNote("  \"%s\": {\"start\": %u, \"end\": %u, \"used\": %u, \"free\": %u}%s\n", name,
              static_cast<unsigned>(area.start), static_cast<unsigned>(area.end), static_cast<unsigned>(area.used),
              static_cast<unsigned>(area.free), last ? "" : ",");
}

}  // namespace

void printInfoText(const char* path, const RomImage& rom, const RomSurvey& survey)
{
    printNote(kFmtInfoRom, path, releaseName(*rom.layout), survey.copierHeader ? "with" : "without",
              static_cast<unsigned>(survey.fileSize), survey.declaredSize, survey.expanded ? "expanded" : "not expanded");
    const SurveyedArea& graphics = survey.graphics;
    printNote(kFmtInfoGraphicsArea, static_cast<unsigned>(graphics.start), static_cast<unsigned>(graphics.end),
              static_cast<unsigned>(graphics.used), static_cast<unsigned>(graphics.free));
    if (survey.expansion.present) {
        const SurveyedArea& expansion = survey.expansion;
        printNote(kFmtInfoExpansionArea, static_cast<unsigned>(expansion.start), static_cast<unsigned>(expansion.end),
                  static_cast<unsigned>(expansion.used), static_cast<unsigned>(expansion.free));
    } else {
        printNote(kFmtInfoNoExpansionArea, path);
    }
    printNote("%s", kMsgInfoSheetHeading);
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SurveyedSheet& surveyed = survey.sheets[sheet];
        std::string shares;
        for (std::uint32_t other = 0; other < kSheetCount; ++other) {
            if (survey.shares[sheet][other]) {
                char number[4];
                std::snprintf(number, sizeof number, "%02X", static_cast<unsigned>(other));
                shares += shares.empty() ? number : std::string(",") + number;
            }
        }
        printNote(kFmtInfoSheet, static_cast<unsigned>(sheet), static_cast<unsigned>(surveyed.codecType),
                  storageName(surveyed.storage), static_cast<unsigned>(surveyed.offset),
                  static_cast<unsigned>(surveyed.storedBytes), shares.empty() ? "-" : shares.c_str(),
                  stateName(surveyed.state, false));
    }
}

void printInfoJson(const char* path, const RomImage& rom, const RomSurvey& survey)
{
    printNote("{\n  \"file\": %s,\n", jsonString(path).c_str());
    printNote("  \"release\": \"%s\",\n", rom.layout->version == RomVersion::Us ? "us" : "japan");
    printNote("  \"copierHeader\": %s,\n", survey.copierHeader ? "true" : "false");
    printNote("  \"fileSize\": %u,\n", static_cast<unsigned>(survey.fileSize));
    printNote("  \"declaredSize\": %" PRIu64 ",\n", survey.declaredSize);
    printNote("  \"expanded\": %s,\n", survey.expanded ? "true" : "false");
    printAreaJson("graphicsArea", survey.graphics, false);
    printAreaJson("expansionArea", survey.expansion, false);
    printNote("  \"sheets\": [\n");
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        const SurveyedSheet& surveyed = survey.sheets[sheet];
        std::string shares;
        for (std::uint32_t other = 0; other < kSheetCount; ++other) {
            if (survey.shares[sheet][other]) {
                shares += (shares.empty() ? "" : ", ") + std::to_string(other);
            }
        }
        printNote("    {\"number\": %u, \"codecType\": %u, \"storage\": \"%s\", \"offset\": %u, \"storedBytes\": %u, "
                  "\"sharedWith\": [%s], \"state\": \"%s\"}%s\n",
                  static_cast<unsigned>(sheet), static_cast<unsigned>(surveyed.codecType), storageName(surveyed.storage),
                  static_cast<unsigned>(surveyed.offset), static_cast<unsigned>(surveyed.storedBytes), shares.c_str(),
                  stateName(surveyed.state, true), sheet + 1 < kSheetCount ? "," : "");
    }
    printNote("  ]\n}\n");
}
