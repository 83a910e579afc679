// Loading the settings record from the registry and, in server mode, from the per-user
// options file. The converter only reads its settings; the options module writes them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/registry.h"

// What a registry read does with the key it was given.
enum KeyCloseMode : int {
  kKeyKeepOpen = 0,       // leave the key open
  kKeyCloseOnFailure = 1, // close it when the read fails
  kKeyCloseOnSuccess = 2, // close it when the read succeeds
};

// Reads a value of up to 1024 bytes, whatever its type, as UTF-16 text less its last
// unit (the terminating zero). False when the value is missing or longer.
bool ReadRegString(std::wstring& out, platform::RegKey key, const std::wstring& name,
                   int closeMode);
// Sets `out` to 0, then reads up to 4 bytes, whatever the type, little-endian. False
// when the value is missing or longer than 4 bytes.
bool ReadRegDword(std::uint32_t& out, platform::RegKey key, const std::wstring& name,
                  int closeMode);

// Fills gSettings from the registry and the options file, rebuilds the localised
// messages and, for Equation 3.0 output, removes the AutoConvertTo redirection.
// Returns 0, or 1 when the installation keys or the "path" value are missing.
int LoadSettings();

using OptionsMap = std::map<std::wstring, std::wstring>;
// Reads key=value lines (UTF-8 unless the file has a byte-order mark) into `map`
// (cleared first). Returns the number of entries, or -1 when the file cannot be read.
int LoadOptionsFile(OptionsMap& map, const std::wstring& path);

// Checks the values an options file sets against the ones the converter knows: eqVersion,
// isEuclid and isUniPrime 0 or 1 (blanks around the digit allowed), pathLanguage empty,
// "english" or the folder name of a translation. Other keys are not the converter's and are
// left alone. Returns an empty string when every value is known, otherwise names the first
// key that is not, with its value and what it may be.
std::wstring OptionsFileProblem(const OptionsMap& map);

// Deletes the default value of the Equation 3.0 AutoConvertTo key in the 32-bit and then
// the 64-bit registry view; a view where that fails gets its bit in autoConvertBlocked.
void RemoveAutoConvertRedirection();

// Registry locations read by LoadSettings.
inline constexpr const wchar_t* kKeyMain = L"SOFTWARE\\Korvane\\main";
inline constexpr const wchar_t* kKeyVelotrix = L"SOFTWARE\\Korvane\\velotrix";
inline constexpr const wchar_t* kKeyAutoConvertTo =
    L"SOFTWARE\\Classes\\CLSID\\{0002CE02-0000-0000-C000-000000000046}\\AutoConvertTo";
