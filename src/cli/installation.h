// The command-line tool's built-in installation: what an installed product provides on
// Windows (the machine-wide keys and the options module), set up inside the process so
// that the converter's entry points run exactly as in Word.
#pragma once

#include <string>

#include "converter/user_options.h"

struct CliInstallation {
  std::wstring path;         // the machine-wide "path": the folder holding velotrix/language/
  std::wstring optionsFile;  // server-mode options file; empty for none
  UserOptions choices;       // what the built-in options dialog writes
};

// The folder holding velotrix/language/: $VELOTRIX_SHARE when set, else share/ beside the
// program or ../share above it, whichever holds the language folder (the first when none
// does).
std::wstring FindShareFolder();

// On posix fills the in-memory registry with the machine-wide keys (and the options file
// for server mode); on both systems registers the built-in options module whose showOpt
// writes `choices` into the per-user keys.
void InstallBuiltIn(const CliInstallation& installation);
