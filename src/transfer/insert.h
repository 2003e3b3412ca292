#pragma once

#include <cstdint>

#include "rom/expand.h"
#include "rom/rom_image.h"
#include "rom/sheet_catalogue.h"

// What an insertion is asked to do.
struct InsertRequest {
    std::uint32_t startOffset = 0;        // as given: a file offset, copier header included
    const char* sheetFilePath = nullptr;  // the combined sheet file; null: one file per sheet
    bool fill = true;                     // 0xFF over the freed space after the last sheet
    bool pictures = false;                // the sheet files are PNG images
    bool checkOnly = false;               // write nothing: lay out every sheet and report
    bool smallest = false;                // shortest streams, identical sheets stored once
    bool anyStart = false;                // a start outside the graphics and expansion areas is taken
    bool changedOnly = false;             // only the sheets that differ from the ROM's are written
};

// What an insertion tells its caller besides success.
struct InsertOutcome {
    std::uint32_t endOffset = 0;             // success: the file offset just past the last pointer-addressed sheet
                                             // laid (changed sheets only: 0 when none moved)
    bool refusedForRoom = false;             // the first sheet refused found no room ("Not enough room")
    bool startPastEnd = false;               // ... because the start offset lies at or past the end of the file
    const RomExpansion* fitsAfter = nullptr;  // a check that did not fit: the sheets would fit after this expansion,
    std::uint32_t fitsFrom = 0;              // from this file offset
    bool combinedFileRefused = false;        // the combined sheet file could not be read or was refused
    std::uint32_t unreadSheet = kSheetCount;  // below kSheetCount: the sheet whose own file could not be read
    bool keptStreamWrittenOver = false;      // changed sheets only: an unchanged sheet's stream lies where the run writes
};

// Lays all 223 sheets from their files into the ROM image from
// request.startOffset, rewrites the pointer tables, and puts the image in the
// ROM file's place (nothing is written in a check). Every sheet is read and
// placed before the image is touched; a real run that gets that far leaves
// `rom` holding the new image, whether or not the file could be replaced.
// False after the messages of the first refusal; a refusal leaves the ROM
// file as it was.
bool insertSheets(RomImage& rom, const InsertRequest& request, InsertOutcome& outcome);
