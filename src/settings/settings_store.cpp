#include "settings/settings_store.h"

#include <cwctype>

#include "settings/messages.h"
#include "settings/settings.h"
#include "settings/text_reader.h"
#include "platform/wide_text.h"

using platform::RegAccess;
using platform::RegKey;
using platform::RegRoot;

namespace {

constexpr std::size_t kStringValueLimit = 1024;  // bytes
constexpr std::size_t kOptionsLineLimit = 1000;
constexpr std::size_t kOptionsChunkSize = 128;

void finishRead(RegKey key, int closeMode, bool read) {
  if ((closeMode == kKeyCloseOnFailure && !read) || (closeMode == kKeyCloseOnSuccess && read))
    platform::regCloseKey(key);
}

RegKey openMachineKey(const wchar_t* path) {
  return platform::regOpenKey(platform::regRootKey(RegRoot::LocalMachine), path, RegAccess::Read32);
}

RegKey openUserKey(const wchar_t* path) {
  return platform::regOpenKey(platform::regRootKey(RegRoot::CurrentUser), path, RegAccess::Read32);
}

// Reads with close-on-success and closes the key on failure as well, so that no handle
// outlives the settings load.
bool readStringAndClose(std::wstring& out, RegKey key, const std::wstring& name) {
  bool read = ReadRegString(out, key, name, kKeyCloseOnSuccess);
  if (!read) platform::regCloseKey(key);
  return read;
}

bool readDwordAndClose(std::uint32_t& out, RegKey key, const std::wstring& name) {
  bool read = ReadRegDword(out, key, name, kKeyCloseOnSuccess);
  if (!read) platform::regCloseKey(key);
  return read;
}

void applyOptionsFile(ConverterSettings& s) {
  OptionsMap options;
  if (LoadOptionsFile(options, s.wmoptini) <= 0) return;
  const std::pair<const wchar_t*, std::uint32_t*> numbers[] = {
      {L"isEuclid", &s.isEuclid}, {L"isUniPrime", &s.isUniPrime}, {L"eqVersion", &s.eqVersion}};
  // Each of these is 0 or 1; any other value leaves the setting as it was (the command
  // line refuses such a file with a message naming the key).
  for (const auto& [name, field] : numbers) {
    auto it = options.find(name);
    if (it == options.end()) continue;
    const auto value = static_cast<std::uint32_t>(ParseDecimal(it->second));
    if (value <= 1) *field = value;
  }
  auto language = options.find(L"pathLanguage");
  if (language != options.end()) s.pathLanguage = language->second;
}

}  // namespace

bool ReadRegString(std::wstring& out, RegKey key, const std::wstring& name, int closeMode) {
  unsigned char buffer[kStringValueLimit];
  std::size_t size = sizeof buffer;
  bool read = key && platform::regQueryValue(key, name, buffer, size) && size <= sizeof buffer;
  if (read) {
    std::u16string units;
    std::size_t count = size / 2;
    if (count > 0) --count;  // the terminating zero
    units.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
      units += static_cast<char16_t>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
    out = Utf16ToWide(units);
  }
  finishRead(key, closeMode, read);
  return read;
}

bool ReadRegDword(std::uint32_t& out, RegKey key, const std::wstring& name, int closeMode) {
  out = 0;
  unsigned char buffer[4] = {0, 0, 0, 0};
  std::size_t size = sizeof buffer;
  bool read = key && platform::regQueryValue(key, name, buffer, size) && size <= sizeof buffer;
  if (read)
    out = std::uint32_t{buffer[0]} | (std::uint32_t{buffer[1]} << 8) |
          (std::uint32_t{buffer[2]} << 16) | (std::uint32_t{buffer[3]} << 24);
  finishRead(key, closeMode, read);
  return read;
}

int LoadOptionsFile(OptionsMap& map, const std::wstring& path) {
  map.clear();
  TextFileReader reader;
  reader.Open(path, kSelectUtf8, kOptionsChunkSize);
  if (reader.Status() != 0) return -1;
  std::u16string line;
  while (reader.ReadLine(line, kOptionsLineLimit) > 0) {
    std::size_t equals = line.find(u'=');
    if (equals == std::u16string::npos || equals == 0) continue;
    std::size_t begin = 0;
    std::size_t end = equals;
    while (begin < end && std::iswspace(static_cast<wint_t>(line[begin]))) ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(line[end - 1]))) --end;
    map[Utf16ToWide(line.substr(begin, end - begin))] = Utf16ToWide(line.substr(equals + 1));
  }
  return static_cast<int>(map.size());
}

std::wstring OptionsFileProblem(const OptionsMap& map) {
  auto trimmed = [](const std::wstring& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
  };
  for (const wchar_t* name : {L"eqVersion", L"isEuclid", L"isUniPrime"}) {
    auto it = map.find(name);
    if (it == map.end()) continue;
    std::wstring value = trimmed(it->second);
    if (value != L"0" && value != L"1")
      return std::wstring(name) + L"=" + it->second + L" (expected 0 or 1)";
  }
  if (auto it = map.find(L"pathLanguage"); it != map.end()) {
    const wchar_t* const known[] = {L"", L"english", L"german", L"french",
                                    L"polish", L"russian", L"ukrainian"};
    bool found = false;
    for (const wchar_t* language : known) found = found || it->second == language;
    if (!found)
      return L"pathLanguage=" + it->second +
             L" (expected english, german, french, polish, russian or ukrainian)";
  }
  return L"";
}

void RemoveAutoConvertRedirection() {
  const struct {
    RegAccess read;
    RegAccess setValue;
    std::uint32_t bit;
  } views[] = {{RegAccess::Read32, RegAccess::SetValue32, 1},
               {RegAccess::Read64, RegAccess::SetValue64, 2}};
  RegKey machine = platform::regRootKey(RegRoot::LocalMachine);
  for (const auto& view : views) {
    RegKey key = platform::regOpenKey(machine, kKeyAutoConvertTo, view.read);
    if (!key) continue;
    std::wstring target;
    if (!readStringAndClose(target, key, L"") || target.empty()) continue;
    RegKey writable = platform::regOpenKey(machine, kKeyAutoConvertTo, view.setValue);
    if (!writable) {
      gSettings.autoConvertBlocked |= view.bit;
      continue;
    }
    if (!platform::regDeleteValue(writable, L"")) gSettings.autoConvertBlocked |= view.bit;
    platform::regCloseKey(writable);
  }
}

int LoadSettings() {
  ConverterSettings& s = gSettings;
  s.eqVersion = 1;
  s.autoConvertBlocked = 0;

  RegKey main = openMachineKey(kKeyMain);
  if (!main) return 1;
  std::uint32_t value = 0;
  if (readDwordAndClose(value, main, L"serverMode")) s.serverMode = value;

  RegKey product = openMachineKey(kKeyVelotrix);
  if (!product) return 1;
  std::wstring path;
  if (!ReadRegString(path, product, L"path", kKeyKeepOpen) || path.empty()) {
    platform::regCloseKey(product);
    return 1;
  }
  s.installDir = path + L"\\velotrix\\";
  s.languageDir = s.installDir + L"language\\";
  std::wstring lcid;
  if (ReadRegString(lcid, product, L"instLanguage", kKeyKeepOpen) && !lcid.empty())
    s.pathLanguage = LcidToLanguageName(lcid);
  platform::regCloseKey(product);

  if (RegKey userMain = openUserKey(kKeyMain)) {
    std::wstring optionsPath;
    if (readStringAndClose(optionsPath, userMain, L"wmoptini") && !optionsPath.empty())
      s.wmoptini = optionsPath;
  }

  if (RegKey user = openUserKey(kKeyVelotrix)) {
    const std::pair<const wchar_t*, std::uint32_t*> before[] = {
        {L"eqVersion", &s.eqVersion}, {L"isEuclid", &s.isEuclid}, {L"isUniPrime", &s.isUniPrime}};
    for (const auto& [name, field] : before)
      if (ReadRegDword(value, user, name, kKeyKeepOpen)) *field = value;
    std::wstring language;
    if (ReadRegString(language, user, L"pathLanguage", kKeyKeepOpen)) s.pathLanguage = language;
    const std::pair<const wchar_t*, std::uint32_t*> after[] = {
        {L"isStatistics", &s.isStatistics}, {L"isProgressWin", &s.isProgressWin}};
    for (const auto& [name, field] : after)
      if (ReadRegDword(value, user, name, kKeyKeepOpen)) *field = value;
    platform::regCloseKey(user);

    if (s.serverMode != 0 && !s.wmoptini.empty()) applyOptionsFile(s);
  }

  RebuildMessages();
  if (s.eqVersion == 0) RemoveAutoConvertRedirection();
  return 0;
}
