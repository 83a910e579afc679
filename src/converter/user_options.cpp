#include "converter/user_options.h"

#include <vector>

#include "platform/registry.h"
#include "platform/unicode.h"

namespace {

bool readDword(platform::RegKey key, const wchar_t* name, std::uint32_t& value) {
  unsigned char bytes[4];
  std::size_t size = sizeof bytes;
  if (!platform::regQueryValue(key, name, bytes, size) || size != 4) return false;
  value = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
  return true;
}

bool writeDword(platform::RegKey key, const wchar_t* name, std::uint32_t value) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16),
                                  static_cast<unsigned char>(value >> 24)};
  return platform::regSetValue(key, name, platform::kRegDword, bytes, sizeof bytes);
}

// A string value is UTF-16 little-endian with its terminating zero.
bool writeString(platform::RegKey key, const wchar_t* name, const std::wstring& text) {
  const std::vector<unsigned char> bytes = platform::registryStringBytes(text);
  return platform::regSetValue(key, name, platform::kRegSz, bytes.data(), bytes.size());
}

bool readString(platform::RegKey key, const wchar_t* name, std::wstring& text) {
  unsigned char bytes[1024];
  std::size_t size = sizeof bytes;
  if (!platform::regQueryValue(key, name, bytes, size)) return false;
  text.clear();
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    wchar_t unit = static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    if (unit == 0) break;
    text += unit;
  }
  return true;
}

}  // namespace

void ReadUserOptions(UserOptions& options) {
  platform::RegKey key = platform::regOpenKey(platform::regRootKey(platform::RegRoot::CurrentUser),
                                              kUserOptionsKey, platform::RegAccess::Read32);
  if (!key) return;
  readDword(key, L"eqVersion", options.eqVersion);
  readDword(key, L"isEuclid", options.isEuclid);
  readDword(key, L"isUniPrime", options.isUniPrime);
  readDword(key, L"isStatistics", options.isStatistics);
  readDword(key, L"isProgressWin", options.isProgressWin);
  readString(key, L"pathLanguage", options.pathLanguage);
  platform::regCloseKey(key);
}

bool WriteUserOptions(const UserOptions& options) {
  platform::RegKey key =
      platform::regCreateKey(platform::regRootKey(platform::RegRoot::CurrentUser), kUserOptionsKey);
  if (!key) return false;
  bool ok = writeDword(key, L"eqVersion", options.eqVersion);
  ok = writeDword(key, L"isEuclid", options.isEuclid) && ok;
  ok = writeDword(key, L"isUniPrime", options.isUniPrime) && ok;
  ok = writeDword(key, L"isStatistics", options.isStatistics) && ok;
  ok = writeDword(key, L"isProgressWin", options.isProgressWin) && ok;
  ok = writeString(key, L"pathLanguage", options.pathLanguage) && ok;
  platform::regCloseKey(key);
  return ok;
}
