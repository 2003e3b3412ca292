#pragma once
// Insertion of the changed sheets only (insertSheets with request.changedOnly).

#include "transfer/insert.h"

// Writes only the sheets whose stored form differs from the ROM's, each in
// its old place when it fits there, else in the first free place from the
// start offset, and leaves every other byte of the ROM as it was; a ROM where
// nothing changed is not written at all. On success outcome.endOffset is the
// file offset just past the moved sheet that ends highest, or 0 when none
// moved. False after the messages of the first refusal, the ROM as it was.
bool insertChangedSheets(RomImage& rom, const InsertRequest& request, InsertOutcome& outcome);
