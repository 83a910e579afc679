// The localisable user-interface texts. They start with built-in English texts; every
// settings load resets them and applies the language file named by the settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

extern std::wstring msgCancelButton;        // id 101: the progress window's button
extern std::wstring msgCancelConfirm;       // id 905: asked when that button is pressed
extern std::wstring msgConfiguring;         // id 906: progress window status text
extern std::wstring msgPreparing;           // id 907: progress window status text
extern std::wstring msgAutoConvertWarning;  // id 952: AutoConvertTo warning
extern std::wstring StatisticsSummary;      // ids 202, 203, 204, 951, 950: statistics format

// Language-file ids; id 2 carries the file format version.
constexpr std::int32_t kLanguageVersionId = 2;
constexpr std::int32_t kLanguageFileVersion = 2020;

using LanguageMap = std::map<std::int32_t, std::wstring>;

// Resets every slot to its built-in English text.
void ResetMessages();

// The language folder name for an LCID written in decimal ("1031" gives "german");
// empty for English and for any LCID without a shipped language.
std::wstring LcidToLanguageName(const std::wstring& lcid);

// Reads a language file into `map` (cleared first) and returns the number of entries.
// Entry lines are: `prefix` (none when 0), an id of `digits` characters, `separator`
// (none when 0), then the text, in which \\, \r, \n and \t are escapes; the text is
// trimmed of white space at both ends. Other lines are ignored.
std::size_t LoadLanguageFile(LanguageMap& map, const std::wstring& path, int digits,
                             wchar_t prefix, wchar_t separator);

// Resets the slots and applies languageDir + pathLanguage + "\language.txt" from the
// settings. Returns true when a version-2020 file was applied.
bool RebuildMessages();

// Resets the slots and applies the language file of the folder `languageName` below
// `languageDir` (for example the source tree's lang/ folder), through the same loader.
bool SelectLanguageIn(const std::wstring& languageDir, const std::wstring& languageName);

// Formats StatisticsSummary with its four arguments (format name, equation count, the
// "Force Unicode" mark, the "Allow MathType fonts" mark) as the statistics message shows
// it: each %s takes the next argument, %% is a percent sign, and the result is cut to
// what a buffer of 450 wide characters holds.
std::wstring FormatStatisticsSummary(const std::wstring& formatName, const std::wstring& count,
                                     const std::wstring& uniPrimeMark,
                                     const std::wstring& euclidMark);
// The same with the arguments made from the settings values and the converted count.
std::wstring StatisticsMessage(std::uint32_t eqVersion, std::int32_t convertedCount,
                               std::uint32_t isUniPrime, std::uint32_t isEuclid);

// Reads a decimal integer the way the C library's atoi does: leading white space, an
// optional sign, then digits up to the first non-digit; no digits gives 0. Saturates at
// the 32-bit limits.
std::int32_t ParseDecimal(const std::wstring& text);
