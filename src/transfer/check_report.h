#pragma once
// The reports of a check (a run that writes nothing): where each sheet lies
// or would lie and how many bytes it takes, and the figures of room.

#include <cstdint>

#include "rom/expand.h"
#include "rom/rom_image.h"
#include "transfer/insert.h"
#include "transfer/sheet_span.h"

// Prints a heading and the spans, four to a line, in the order given.
void printSheetSpans(const SheetSpan* spans, std::uint32_t count);

// An extraction's report: where the ROM keeps each sheet extracted, and the
// lowest and highest byte of all of them and of those reached by pointers.
void printExtractionReport(const SheetSpan* spans, std::uint32_t count);

// An insertion's report, once its sheets were laid out (report.laidOut):
// where each would go, what they need against the room there is, and where
// they would fit in this ROM when they do not. Changed sheets only: the
// changed ones, those written in place marked.
void printInsertionReport(const InsertReport& report);

// The line every insertion of the changed sheets only prints once it placed
// them: how many changed, and how many of those are written in place or moved.
void printChangedSheetCount(const InsertReport& report);

// An expansion's report: the size the ROM file would grow to.
void printExpansionReport(const RomImage& rom, const RomExpansion& expansion);
