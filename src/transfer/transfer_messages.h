#pragma once
// Texts printed by the sheet transfer walks (standard output; printf formats).

inline constexpr const char* kFmtSheetFileRestored = "%s has been restored.\n";
inline constexpr const char* kFmtSheetFileNotRestored = "%s could not be restored.\n";
