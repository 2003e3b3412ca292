#pragma once
// Insertion: every sheet read from its file, brought into its stored form
// and placed, and the new ROM image planned; or, with changedOnly, only the
// sheets that differ from the ROM's (insert_changed.h).

#include "rom/rom_image.h"
#include "rom/rom_plan.h"
#include "transfer/insert_request.h"

// Studies the insertion of request.files into the identified ROM image: every
// sheet read, stored and placed before anything else, printing the warnings
// and refusals where they arise, then the new image planned in `plan` (left
// empty when nothing changes). Writes nothing. False after the messages of the
// first refusal, or, with layOutPastRefusal, when the report holds one.
bool studyInsertion(const RomImage& rom, const InsertRequest& request, RomPlan& plan, InsertReport& report);
