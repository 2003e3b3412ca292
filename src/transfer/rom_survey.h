#pragma once
// What a ROM holds, read from the ROM alone: where each sheet lies, how many
// bytes it takes, which sheets share bytes, whether each decodes, and how
// much room the graphics and expansion areas have left.

#include <cstdint>

#include "codec/sheet_codec_type.h"
#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"

enum class SurveyedState : std::uint8_t {
    Ok,      // it decodes (a raw or fixed sheet: its bytes lie in the file)
    CutOff,  // its stream or bytes run past the end of the file
    Fails,   // its stream decodes to nothing
};

struct SurveyedSheet {
    SheetCodecType codecType = LzSheet;
    SheetStorage storage = SheetStorage::Compressed;
    std::uint32_t offset = 0;       // file offset of its bytes, copier header included
    std::uint32_t storedBytes = 0;  // as many as the decoder reads (a raw or fixed sheet: its size)
    SurveyedState state = SurveyedState::Ok;
};

// One of the two areas sheets are laid in.
struct SurveyedArea {
    bool present = false;
    std::uint32_t start = 0;  // file offsets
    std::uint32_t end = 0;    // just past the area
    std::uint32_t used = 0;   // bytes of the area that some pointer-addressed sheet takes
    std::uint32_t free = 0;   // bytes after the area's last sheet that hold what no sheet needs: 0xFF in
                              // the graphics area (the fill's value), 0x00 or 0xFF in the expansion area
};

struct RomSurvey {
    std::uint32_t fileSize = 0;
    bool copierHeader = false;
    std::uint64_t declaredSize = 0;  // by the ROM size code of the internal header (0: no size it can declare)
    bool expanded = false;           // more than 1 MiB after the copier header
    SurveyedArea graphics;
    SurveyedArea expansion;
    SurveyedSheet sheets[kSheetCount];
    // shares[a][b]: the bytes of sheets a and b meet.
    bool shares[kSheetCount][kSheetCount] = {};
};

// Surveys the identified ROM image. False after the out-of-memory message.
bool surveyRom(const RomImage& rom, RomSurvey& survey);
