#pragma once
// Extraction: every sheet of the ROM decoded and planned as sheet files.

#include <cstdint>

#include "rom/rom_image.h"
#include "sheetfile/sheet_files.h"
#include "transfer/sheet_span.h"

// What an extraction is asked to do.
struct ExtractRequest {
    SheetFiles files;            // where the sheets go, and in which form
    bool replaceEdited = false;  // replace sheet files that hold changes instead of refusing
    SheetSelection selection;    // per-sheet files: the sheets whose files are written
};

// What an extraction would write, and where the ROM keeps each sheet.
struct ExtractPlan {
    SheetSink sink;          // every sheet as decoded
    SheetFilesPlan files;    // the files to write and those left as they are
    SheetSpan spans[kSheetCount];  // where the ROM keeps each sheet extracted, in sheet order
    std::uint32_t spanCount = 0;
};

// Decodes all 223 sheets of the identified ROM image into `plan` and plans
// their files (planSheetFiles): a sheet file that holds changes the user
// made is refused unless request.replaceEdited is set. Writes nothing.
// False after the first failure's message; then
// plan.files.filesHoldingChanges tells a refusal for changes.
bool studyExtraction(const RomImage& rom, const ExtractRequest& request, ExtractPlan& plan);
