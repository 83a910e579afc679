#include "settings/messages.h"

#include <climits>

#include "platform/codepage.h"
#include "settings/settings.h"
#include "settings/text_reader.h"
#include "platform/wide_text.h"

namespace {

const wchar_t kCancelButton[] = L"Cancel";
const wchar_t kCancelConfirm[] = L"This will cancel converting. Continue?";
const wchar_t kConfiguring[] = L"Please wait while Microsoft Word configures content.";
const wchar_t kPreparing[] = L"Preparing content, it may take a few minutes.";
const wchar_t kAutoConvertWarning[] =
    L"Cannot use Equation Editor 3.x format, because the 'Convert to MathType' option is "
    L"enabled.\r\n\r\nUse 'Microsoft Equation' instead of 'Equation Editor 3.x', or turn off "
    L"the 'Convert to MathType' option in MathType's Equation Conversion Manager (choose it "
    L"from the 'MathType' sub-menu of the Windows 'Start' menu, and then move 'Microsoft "
    L"Equation' from the left list ['Convert to MathType'] to the right list ['Do not "
    L"convert']).\r\n\r\nPress Cancel to abort (recommended), or OK to ignore this warning and "
    L"continue.";
const wchar_t kStatisticsSummary[] =
    L"Equation format: %s [%s];\r\n(%s) Force Unicode;\r\n(%s) Allow MathType fonts.\r\n\r\n"
    L"IMPORTANT! If you convert this document via 'Save As...' menu, you must reload it before "
    L"editing ('Reopen current document' button). \r\n\r\nYou can turn off this message in "
    L"Options.";
// The closing note used when a language file lacks id 951; it differs from the built-in
// summary above on purpose (button name, no blank before the line break).
const wchar_t kImportantFallback[] =
    L"IMPORTANT! If you convert this document via 'Save As...' menu, you must reload it before "
    L"editing ('Reload current document' button).";

constexpr std::size_t kLineLimit = 1000;
constexpr std::size_t kChunkSize = 128;
constexpr std::size_t kStatisticsBuffer = 450;  // wide characters, the terminator included

bool isCSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

std::int32_t parseDecimalUnits(const char16_t* p, const char16_t* end) {
  while (p < end && isCSpace(*p)) ++p;
  bool negative = false;
  if (p < end && (*p == u'+' || *p == u'-')) {
    negative = *p == u'-';
    ++p;
  }
  long long value = 0;
  for (; p < end && *p >= u'0' && *p <= u'9'; ++p) {
    value = value * 10 + (*p - u'0');
    if (value > 1LL + INT_MAX) value = 1LL + INT_MAX;  // saturate, keep reading digits
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<std::int32_t>(value);
}

// Replaces every occurrence of `from` by `to`, pass after pass, until none is left.
void replaceAll(std::u16string& text, const std::u16string& from, const std::u16string& to) {
  for (;;) {
    bool found = false;
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::u16string::npos) {
      text.replace(at, from.size(), to);
      at += to.size();
      found = true;
    }
    if (!found) return;
  }
}

void trimSpaces(std::u16string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && platform::isSpaceUnit(text[begin])) ++begin;
  while (end > begin && platform::isSpaceUnit(text[end - 1])) --end;
  text = text.substr(begin, end - begin);
}

// The map's text for `id` when it is present and not empty.
const std::wstring* usableText(const LanguageMap& map, std::int32_t id) {
  auto it = map.find(id);
  return it != map.end() && !it->second.empty() ? &it->second : nullptr;
}

bool applyLanguageFile(const std::wstring& path) {
  ResetMessages();
  LanguageMap map;
  if (LoadLanguageFile(map, path, 3, L'M', L':') == 0) return false;
  auto version = map.find(kLanguageVersionId);
  if (version == map.end() || ParseDecimal(version->second) != kLanguageFileVersion) return false;

  const std::pair<std::int32_t, std::wstring*> slots[] = {{101, &msgCancelButton},
                                                          {905, &msgCancelConfirm},
                                                          {906, &msgConfiguring},
                                                          {907, &msgPreparing},
                                                          {952, &msgAutoConvertWarning}};
  for (const auto& [id, slot] : slots)
    if (const std::wstring* text = usableText(map, id)) *slot = *text;

  std::wstring summary;
  if (const std::wstring* t = usableText(map, 202))
    summary += *t + L" %s [%s];\r\n";
  else
    summary += L"Equation format: %s [%s];\r\n";
  if (const std::wstring* t = usableText(map, 203))
    summary += L"(%s) " + *t + L";\r\n";
  else
    summary += L"(%s) Force Unicode;\r\n";
  if (const std::wstring* t = usableText(map, 204))
    summary += L"(%s) " + *t + L".\r\n\r\n";
  else
    summary += L"(%s) Allow MathType fonts.\r\n\r\n";
  if (const std::wstring* t = usableText(map, 951))
    summary += *t;
  else
    summary += kImportantFallback;
  summary += L"\r\n\r\n";
  if (const std::wstring* t = usableText(map, 950))
    summary += *t;
  else
    summary += L"You can turn off this message in Options.";
  StatisticsSummary = summary;
  return true;
}

}  // namespace

std::wstring msgCancelButton = kCancelButton;
std::wstring msgCancelConfirm = kCancelConfirm;
std::wstring msgConfiguring = kConfiguring;
std::wstring msgPreparing = kPreparing;
std::wstring msgAutoConvertWarning = kAutoConvertWarning;
std::wstring StatisticsSummary = kStatisticsSummary;

void ResetMessages() {
  msgCancelButton = kCancelButton;
  msgCancelConfirm = kCancelConfirm;
  msgConfiguring = kConfiguring;
  msgPreparing = kPreparing;
  msgAutoConvertWarning = kAutoConvertWarning;
  StatisticsSummary = kStatisticsSummary;
}

std::int32_t ParseDecimal(const std::wstring& text) {
  std::u16string units = WideToUtf16(text);
  return parseDecimalUnits(units.data(), units.data() + units.size());
}

std::wstring LcidToLanguageName(const std::wstring& lcid) {
  if (lcid == L"1031") return L"german";
  if (lcid == L"1036") return L"french";
  if (lcid == L"1045") return L"polish";
  if (lcid == L"1049") return L"russian";
  if (lcid == L"1058") return L"ukrainian";
  return L"";
}

std::size_t LoadLanguageFile(LanguageMap& map, const std::wstring& path, int digits,
                             wchar_t prefix, wchar_t separator) {
  map.clear();
  if (digits < 0) digits = 0;
  if (digits > 64) digits = 64;
  const std::size_t idStart = prefix ? 1 : 0;
  const std::size_t idEnd = idStart + static_cast<std::size_t>(digits);
  const std::size_t textStart = idEnd + (separator ? 1 : 0);
  const auto prefixUnit = static_cast<char16_t>(prefix);
  const auto separatorUnit = static_cast<char16_t>(separator);

  TextFileReader reader;
  reader.Open(path, kSelectAnsi, kChunkSize);
  std::u16string line;
  while (reader.ReadLine(line, kLineLimit) > 0) {
    if (line.size() <= textStart) continue;
    if (prefix && line[0] != prefixUnit) continue;
    if (separator && line[idEnd] != separatorUnit) continue;
    std::int32_t id = parseDecimalUnits(line.data() + idStart, line.data() + idEnd);
    if (id <= 0) continue;
    std::u16string text = line.substr(textStart);
    replaceAll(text, u"\\\\", u"\f");
    replaceAll(text, u"\\r", u"\r");
    replaceAll(text, u"\\n", u"\n");
    replaceAll(text, u"\\t", u"\t");
    replaceAll(text, u"\f", u"\\");
    trimSpaces(text);
    map[id] = Utf16ToWide(text);
  }
  return map.size();
}

bool RebuildMessages() {
  return applyLanguageFile(gSettings.languageDir + gSettings.pathLanguage + L"\\language.txt");
}

namespace {

std::wstring withSeparator(std::wstring dir) {
  if (!dir.empty() && dir.back() != L'\\' && dir.back() != L'/') dir += L'\\';
  return dir;
}

}  // namespace

bool SelectLanguageIn(const std::wstring& languageDir, const std::wstring& languageName) {
  return applyLanguageFile(withSeparator(languageDir) + languageName + L"\\language.txt");
}

std::wstring FormatStatisticsSummary(const std::wstring& formatName, const std::wstring& count,
                                     const std::wstring& uniPrimeMark,
                                     const std::wstring& euclidMark) {
  const std::wstring* args[] = {&formatName, &count, &uniPrimeMark, &euclidMark};
  std::size_t next = 0;
  std::wstring out;
  const std::wstring& format = StatisticsSummary;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L's') {
      if (next < 4) out += *args[next];
      ++next;
      ++i;
    } else if (format[i] == L'%' && i + 1 < format.size() && format[i + 1] == L'%') {
      out += L'%';
      ++i;
    } else {
      out += format[i];
    }
  }
  // Cut to the buffer in UTF-16 units, never leaving half of a surrogate pair.
  std::u16string units = WideToUtf16(out);
  const std::size_t limit = kStatisticsBuffer - 1;
  if (units.size() > limit) {
    std::size_t cut = limit;
    if (units[cut - 1] >= 0xD800 && units[cut - 1] <= 0xDBFF) --cut;
    units.resize(cut);
    return Utf16ToWide(units);
  }
  return out;
}

std::wstring StatisticsMessage(std::uint32_t eqVersion, std::int32_t convertedCount,
                               std::uint32_t isUniPrime, std::uint32_t isEuclid) {
  return FormatStatisticsSummary(eqVersion ? L"Microsoft Equation" : L"Equation Editor 3.x",
                                 std::to_wstring(convertedCount), isUniPrime ? L"+" : L"-",
                                 isEuclid ? L"+" : L"-");
}
