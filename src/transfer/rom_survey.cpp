#include "transfer/rom_survey.h"

#include <algorithm>

#include "platform/output.h"
#include "rom/rom_messages.h"
#include "rom/sheet_stream.h"
#include "transfer/insert_steps.h"
#include "transfer/room.h"

namespace {

// The bytes of [start, end) that pointer-addressed sheets take, and the free
// bytes after the last of them (those that hold `freeValue`, or also 0x00).
void surveyArea(const RomImage& rom, const RomSurvey& survey, std::uint32_t start, std::uint32_t end,
                bool zerosAreFree, SurveyedArea& area)
{
    area.present = true;
    area.start = start;
    area.end = end;
    std::uint32_t lastEnd = start;
    // Marks per byte, counted once however many sheets take it.
    std::uint32_t used = 0;
    std::uint32_t covered = start;  // the sheets sorted by offset cover [start, covered)
    std::uint32_t order[kSheetCount];
    std::uint32_t count = 0;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        if (survey.sheets[sheet].storage != SheetStorage::FixedOffset) {
            order[count++] = sheet;
        }
    }
    std::sort(order, order + count,
              [&](std::uint32_t a, std::uint32_t b) { return survey.sheets[a].offset < survey.sheets[b].offset; });
    for (std::uint32_t k = 0; k < count; ++k) {
        const SurveyedSheet& sheet = survey.sheets[order[k]];
        const std::uint64_t from = std::max<std::uint64_t>(sheet.offset, std::max(start, covered));
        const std::uint64_t to = std::min<std::uint64_t>(std::uint64_t{sheet.offset} + sheet.storedBytes, end);
        if (from < to) {
            used += static_cast<std::uint32_t>(to - from);
            covered = static_cast<std::uint32_t>(to);
        }
        if (sheet.offset >= start && sheet.offset < end && to > lastEnd) {
            lastEnd = static_cast<std::uint32_t>(to);
        }
    }
    area.used = used;
    const std::uint8_t* bytes = rom.bytes.get();
    for (std::uint32_t at = lastEnd; at < end && at < rom.size; ++at) {
        area.free += bytes[at] == 0xFF || (zerosAreFree && bytes[at] == 0x00) ? 1u : 0u;
    }
}

}  // namespace

bool surveyRom(const RomImage& rom, RomSurvey& survey)
{
    StreamDecoder decoder;
    if (!allocateStreamDecoder(decoder)) {
        printError("%s", kMsgOutOfMemory);
        return false;
    }
    survey.fileSize = rom.size;
    survey.copierHeader = rom.headerOffset != 0;
    const std::uint8_t code = rom.bytes[rom.headerOffset + kRomSizeCodeOffset];
    survey.declaredSize = code <= 32 ? std::uint64_t{1024} << code : 0;
    survey.expanded = rom.size - rom.headerOffset > kMinimumRomSize;
    for (std::uint32_t sheet = 0; sheet < kSheetCount; ++sheet) {
        SurveyedSheet& surveyed = survey.sheets[sheet];
        surveyed.codecType = sheetCodecType(sheet);
        surveyed.storage = sheetStorage(sheet);
        DecodedStream decoded;
        const OldExtent extent = oldExtentOf(rom, sheet, decoder, decoded);
        surveyed.offset = static_cast<std::uint32_t>(extent.start);
        surveyed.storedBytes = static_cast<std::uint32_t>(extent.length);
        if (surveyed.storage != SheetStorage::Compressed) {
            surveyed.state = extent.start + extent.length > rom.size ? SurveyedState::CutOff : SurveyedState::Ok;
        } else {
            surveyed.state = decoded.cutOff ? SurveyedState::CutOff
                             : decoded.length == 0 ? SurveyedState::Fails
                                                    : SurveyedState::Ok;
        }
    }
    for (std::uint32_t a = 0; a < kSheetCount; ++a) {
        for (std::uint32_t b = 0; b < kSheetCount; ++b) {
            const SurveyedSheet& one = survey.sheets[a];
            const SurveyedSheet& other = survey.sheets[b];
            survey.shares[a][b] = a != b && one.storedBytes != 0 && other.storedBytes != 0 &&
                                  overlaps(one.offset, one.storedBytes, other.offset, other.storedBytes);
        }
    }
    const std::uint32_t header = rom.headerOffset;
    surveyArea(rom, survey, header + kGraphicsAreaStart, static_cast<std::uint32_t>(protectedOffset(rom)), false,
               survey.graphics);
    if (survey.expanded) {
        surveyArea(rom, survey, header + kExpansionAreaStart, rom.size, true, survey.expansion);
    }
    return true;
}
