#pragma once
// What the info command prints of a surveyed ROM (transfer/rom_survey.h):
// lines for people, or one JSON object for programs.

#include "rom/rom_image.h"
#include "transfer/rom_survey.h"

// The release, copier header, sizes, both areas, then a line per sheet.
void printInfoText(const char* path, const RomImage& rom, const RomSurvey& survey);

// The same as one JSON object: {"file", "release", "copierHeader",
// "fileSize", "declaredSize", "expanded", "graphicsArea", "expansionArea",
// "sheets": [...]}, numbers as JSON numbers, offsets as file offsets.
void printInfoJson(const char* path, const RomImage& rom, const RomSurvey& survey);
