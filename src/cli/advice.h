#pragma once
// What to do next, after a refusal or in a check's report, in the words of
// the command line the run came from: mode words for scripts, options and
// commands for people.

#include <cstdint>

#include "cli/run_request.h"
#include "rom/expand.h"

// An extraction refused over `count` sheet files that hold changes.
void adviseOnEditedFiles(const RunRequest& request, std::uint32_t count);

// An insertion that found no room: the check that shows the room needed.
void adviseCheck(const RunRequest& request);

// The sheets would fit after `expansion`, from `from` on.
void adviseExpansion(const RunRequest& request, const RomExpansion& expansion, std::uint32_t from);

// A changed-sheets insertion that would have written over an unchanged sheet.
void adviseLayingOutAnew(const RunRequest& request);

// The per-sheet file of the kind read is missing, and the other kind's file
// (`otherName`) is there.
void adviseOtherKind(const RunRequest& request, const char* otherName);

// The combined file is a picture, or holds raw sheets, but was given as the other kind.
void adviseCombinedKind(const RunRequest& request, bool picture);

// Files of both kinds beside each other that differ.
void adviseDifferingPairs(const RunRequest& request);

// A check's line of what the closing fill writes, from `first` to `last`.
void noteFill(const RunRequest& request, std::uint32_t first, std::uint32_t last);
