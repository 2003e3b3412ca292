#pragma once
// Insertion of the changed sheets only (studyInsertion with request.changedOnly).

#include "rom/rom_image.h"
#include "rom/rom_plan.h"
#include "transfer/insert_request.h"

// Plans only the sheets whose stored form differs from the ROM's, each in its
// old place when it fits there, else in the first free place from the start
// offset, every other byte of the ROM as it was; when nothing changed, the
// plan stays empty (the ROM is not written at all). report.endOffset is the
// file offset just past the moved sheet that ends highest, or 0 when none
// moved. False after the messages of the first refusal.
bool studyChangedSheets(const RomImage& rom, const InsertRequest& request, RomPlan& plan, InsertReport& report);
