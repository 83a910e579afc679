// The per-user options as the options dialog stores them: the values below
// HKEY_CURRENT_USER "SOFTWARE\Korvane\velotrix" that the settings loader reads. Shared by
// the companion options module and the command-line tool's built-in one, so that both
// write exactly the same keys.
#pragma once

#include <cstdint>
#include <string>

struct UserOptions {
  std::uint32_t eqVersion = 1;
  std::uint32_t isEuclid = 0;
  std::uint32_t isUniPrime = 1;
  std::uint32_t isStatistics = 1;
  std::uint32_t isProgressWin = 1;
  std::wstring pathLanguage;  // language folder name; empty for English
};

inline const wchar_t kUserOptionsKey[] = L"SOFTWARE\\Korvane\\velotrix";

// Reads the stored options over `options`; values that are missing keep what it holds.
void ReadUserOptions(UserOptions& options);
// Creates the key as needed and writes all six values; false when any write fails.
bool WriteUserOptions(const UserOptions& options);
