#pragma once

#include <cstdint>

#include "rom/rom_image.h"

// What an insertion is asked to do.
struct InsertRequest {
    std::uint32_t startOffset = 0;      // as given: a file offset, copier header included
    const char* sheetFilePath = nullptr;  // the combined sheet file; null: one file per sheet
    bool fill = true;                   // 0xFF over the freed space after the last sheet
    bool pictures = false;              // the sheet files are PNG images
    bool checkOnly = false;             // write nothing: lay out every sheet and report
    bool smallest = false;              // shortest streams, identical sheets stored once
    bool anyStart = false;              // a start outside the graphics and expansion areas is taken
    std::uint32_t checkModeWord = 0;    // the mode word that checks this insertion, named after "Not enough room"
};

// Lays all 223 sheets from their files into the ROM from request.startOffset
// and rewrites the pointer tables. On success `endOffset` is the file offset
// just past the last pointer-addressed sheet. A refusal leaves the ROM as it
// was. Never closes the ROM.
bool insertSheets(RomImage& rom, const InsertRequest& request, std::uint32_t& endOffset);
