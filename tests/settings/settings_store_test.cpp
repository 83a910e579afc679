#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <functional>

#include "settings/messages.h"
#include "settings/settings.h"
#include "temp_files.h"

namespace {

using platform::RegRoot;
using platform::RegView;

constexpr RegRoot HKLM = RegRoot::LocalMachine;
constexpr RegRoot HKCU = RegRoot::CurrentUser;
constexpr RegView V32 = RegView::View32;
constexpr RegView V64 = RegView::View64;
const wchar_t kMain[] = L"SOFTWARE\\Korvane\\main";
const wchar_t kProduct[] = L"SOFTWARE\\Korvane\\velotrix";
const wchar_t kAutoConvert[] =
    L"SOFTWARE\\Classes\\CLSID\\{0002CE02-0000-0000-C000-000000000046}\\AutoConvertTo";

class SettingsStore : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = gSettings;
    gSettings = ConverterSettings{};
    platform::regStandInReset();
  }
  void TearDown() override {
    gSettings = saved_;
    platform::regStandInReset();
    ResetMessages();
  }
  // A complete machine-wide installation in the 32-bit view.
  static void install(const std::wstring& path = L"C:\\Programs") {
    platform::regStandInCreateKey(HKLM, V32, kMain);
    platform::regStandInSetString(HKLM, V32, kProduct, L"path", path);
  }
  static void userDword(const wchar_t* name, std::uint32_t value) {
    platform::regStandInSetDword(HKCU, V64, kProduct, name, value);
  }
  static void userString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    platform::regStandInSetString(HKCU, V64, key, name, value);
  }
  ConverterSettings saved_;
};

struct LoadCase {
  const char* name;
  std::function<void()> setUp;
  int result;
  std::function<void(const ConverterSettings&)> check;
};

TEST_F(SettingsStore, LoadSettingsFromRegistry) {
  const LoadCase cases[] = {
      {"nothing installed", [] {}, 1, [](const ConverterSettings& s) { EXPECT_TRUE(s.installDir.empty()); }},
      {"main key only", [] { platform::regStandInCreateKey(HKLM, V32, kMain); }, 1, nullptr},
      {"empty path", [] { platform::regStandInCreateKey(HKLM, V32, kMain);
                          platform::regStandInSetString(HKLM, V32, kProduct, L"path", L""); }, 1, nullptr},
      {"keys only in the 64-bit view", [] {
         platform::regStandInCreateKey(HKLM, V64, kMain);
         platform::regStandInSetString(HKLM, V64, kProduct, L"path", L"C:\\P"); }, 1, nullptr},
      {"installation only", [] { install(); }, 0, [](const ConverterSettings& s) {
         EXPECT_EQ(s.installDir, L"C:\\Programs\\velotrix\\");
         EXPECT_EQ(s.languageDir, L"C:\\Programs\\velotrix\\language\\");
         EXPECT_EQ(s.eqVersion, 1u);
         EXPECT_EQ(s.isEuclid, 0u);
         EXPECT_EQ(s.isUniPrime, 1u);
         EXPECT_EQ(s.isStatistics, 1u);
         EXPECT_EQ(s.isProgressWin, 1u);
         EXPECT_EQ(s.serverMode, 0u);
         EXPECT_TRUE(s.pathLanguage.empty()); }},
      {"path with trailing backslash", [] { install(L"D:\\K\\"); }, 0, [](const ConverterSettings& s) {
         EXPECT_EQ(s.installDir, L"D:\\K\\\\velotrix\\"); }},
      {"installation language", [] { install();
         platform::regStandInSetString(HKLM, V32, kProduct, L"instLanguage", L"1049"); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.pathLanguage, L"russian"); }},
      {"unknown installation language", [] { install();
         platform::regStandInSetString(HKLM, V32, kProduct, L"instLanguage", L"2057"); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.pathLanguage, L""); }},
      {"per-user values", [] { install();
         platform::regStandInSetDword(HKLM, V32, kMain, L"serverMode", 3);
         userDword(L"eqVersion", 7); userDword(L"isEuclid", 1); userDword(L"isUniPrime", 0);
         userDword(L"isStatistics", 0); userDword(L"isProgressWin", 0);
         userString(kProduct, L"pathLanguage", L"french");
         userString(kMain, L"wmoptini", L"C:\\opt.ini"); }, 0,
       [](const ConverterSettings& s) {
         EXPECT_EQ(s.serverMode, 3u);
         EXPECT_EQ(s.eqVersion, 7u);
         EXPECT_EQ(s.isEuclid, 1u);
         EXPECT_EQ(s.isUniPrime, 0u);
         EXPECT_EQ(s.isStatistics, 0u);
         EXPECT_EQ(s.isProgressWin, 0u);
         EXPECT_EQ(s.pathLanguage, L"french");
         EXPECT_EQ(s.wmoptini, L"C:\\opt.ini"); }},
      {"per-user empty language clears the installation language", [] { install();
         platform::regStandInSetString(HKLM, V32, kProduct, L"instLanguage", L"1031");
         userString(kProduct, L"pathLanguage", L""); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.pathLanguage, L""); }},
      {"missing isProgressWin keeps 1", [] { install(); userDword(L"isStatistics", 0); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.isProgressWin, 1u); }},
      {"string of 600 characters is not read", [] { install();
         platform::regStandInSetString(HKLM, V32, kProduct, L"instLanguage", L"1031");
         userString(kProduct, L"pathLanguage", std::wstring(600, L'x')); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.pathLanguage, L"german"); }},
      {"dword read from a short value", [] { install();
         platform::regStandInSetValue(HKCU, V64, kProduct, L"isEuclid", platform::kRegBinary, {5, 1}); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.isEuclid, 0x105u); }},
      {"dword longer than 4 bytes is not read", [] { install();
         platform::regStandInSetValue(HKCU, V64, kProduct, L"isEuclid", platform::kRegBinary, {1, 0, 0, 0, 0}); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.isEuclid, 0u); }},
      {"names ignore case", [] { install(); platform::regStandInSetDword(HKCU, V64, L"Software\\KORVANE\\Velotrix", L"ISEUCLID", 1); }, 0,
       [](const ConverterSettings& s) { EXPECT_EQ(s.isEuclid, 1u); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::regStandInReset();
    gSettings = ConverterSettings{};
    gSettings.eqVersion = 0;
    gSettings.autoConvertBlocked = 3;
    c.setUp();
    EXPECT_EQ(LoadSettings(), c.result);
    if (c.result == 1) {
      EXPECT_EQ(gSettings.eqVersion, 1u);
      EXPECT_EQ(gSettings.autoConvertBlocked, 0u);
    }
    if (c.check) c.check(gSettings);
  }
}

TEST_F(SettingsStore, SecondLoadStartsFromFirst) {
  install();
  userDword(L"isEuclid", 1);
  userDword(L"eqVersion", 0);
  ASSERT_EQ(LoadSettings(), 0);
  platform::regStandInDeleteKey(HKCU, V64, kProduct);
  ASSERT_EQ(LoadSettings(), 0);
  EXPECT_EQ(gSettings.isEuclid, 1u);   // kept from the first run
  EXPECT_EQ(gSettings.eqVersion, 1u);  // reset by every run
}

TEST_F(SettingsStore, RegistryReadsHonourSizeLimitsAndCloseModes) {
  platform::regStandInSetValue(HKCU, V64, L"T", L"full", platform::kRegSz,
                               std::vector<unsigned char>(1024, 'a'));
  platform::regStandInSetValue(HKCU, V64, L"T", L"over", platform::kRegSz,
                               std::vector<unsigned char>(1025, 'a'));
  platform::regStandInSetValue(HKCU, V64, L"T", L"byte", platform::kRegSz, {'a'});
  platform::regStandInSetValue(HKCU, V64, L"T", L"noZero", platform::kRegSz, {'a', 0, 'b', 0});
  auto open = [] {
    return platform::regOpenKey(platform::regRootKey(HKCU), L"T", platform::RegAccess::Read32);
  };
  platform::RegKey key = open();
  ASSERT_NE(key, nullptr);
  std::wstring text = L"old";
  EXPECT_TRUE(ReadRegString(text, key, L"full", kKeyKeepOpen));
  EXPECT_EQ(text, std::wstring(511, L'\u6161'));
  text = L"old";
  EXPECT_FALSE(ReadRegString(text, key, L"over", kKeyKeepOpen));
  EXPECT_EQ(text, L"old");
  EXPECT_TRUE(ReadRegString(text, key, L"byte", kKeyKeepOpen));
  EXPECT_EQ(text, L"");
  EXPECT_TRUE(ReadRegString(text, key, L"noZero", kKeyKeepOpen));
  EXPECT_EQ(text, L"a");  // the last unit is taken for the terminator

  // Mode 1 closes only after a failed read, mode 2 only after a successful one.
  EXPECT_TRUE(ReadRegString(text, key, L"byte", kKeyCloseOnFailure));
  EXPECT_FALSE(ReadRegString(text, key, L"missing", kKeyCloseOnFailure));
  EXPECT_FALSE(ReadRegString(text, key, L"byte", kKeyKeepOpen));  // closed now
  key = open();
  std::uint32_t number = 9;
  EXPECT_FALSE(ReadRegDword(number, key, L"missing", kKeyCloseOnSuccess));
  EXPECT_EQ(number, 0u);
  EXPECT_TRUE(ReadRegDword(number, key, L"noZero", kKeyCloseOnSuccess));
  EXPECT_EQ(number, 0x620061u);
  EXPECT_FALSE(ReadRegDword(number, key, L"noZero", kKeyKeepOpen));  // closed now
}

struct OptionsCase {
  const char* name;
  std::string file;
  std::function<void(const ConverterSettings&)> check;
};

TEST_F(SettingsStore, ServerModeOptionsFile) {
  ScratchDir dir;
  const OptionsCase cases[] = {
      {"key trimmed, value not", "  eqVersion \t=0\npathLanguage= german\n=1\nisEuclid=1\n",
       [](const ConverterSettings& s) {
         EXPECT_EQ(s.eqVersion, 0u);
         EXPECT_EQ(s.pathLanguage, L" german");
         EXPECT_EQ(s.isEuclid, 1u);
         EXPECT_EQ(s.isUniPrime, 0u);  // from the registry
       }},
      {"numbers parsed like atoi", "isEuclid= 12abc\nisUniPrime=x\neqVersion=1\n",
       [](const ConverterSettings& s) {
         EXPECT_EQ(s.isEuclid, 12u);
         EXPECT_EQ(s.isUniPrime, 0u);
       }},
      {"later line wins, keys keep case", "isEuclid=1\nisEuclid=2\niseuclid=5\n",
       [](const ConverterSettings& s) { EXPECT_EQ(s.isEuclid, 2u); }},
      {"no usable line changes nothing", "just text\n=5\n",
       [](const ConverterSettings& s) {
         EXPECT_EQ(s.isUniPrime, 0u);
         EXPECT_EQ(s.pathLanguage, L"french");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::regStandInReset();
    gSettings = ConverterSettings{};
    install();
    platform::regStandInSetDword(HKLM, V32, kMain, L"serverMode", 1);
    userString(kMain, L"wmoptini", dir.write("opt.ini", c.file));
    userDword(L"isUniPrime", 0);
    userString(kProduct, L"pathLanguage", L"french");
    ASSERT_EQ(LoadSettings(), 0);
    c.check(gSettings);
  }
}

TEST_F(SettingsStore, OptionsFileIgnoredWithoutServerModeOrUserKey) {
  ScratchDir dir;
  auto options = dir.write("opt.ini", "isEuclid=1\n");
  install();
  userString(kMain, L"wmoptini", options);
  ASSERT_EQ(LoadSettings(), 0);  // not in server mode
  EXPECT_EQ(gSettings.isEuclid, 0u);

  platform::regStandInSetDword(HKLM, V32, kMain, L"serverMode", 1);
  ASSERT_EQ(LoadSettings(), 0);  // server mode, but no per-user product key
  EXPECT_EQ(gSettings.isEuclid, 0u);

  OptionsMap map{{L"stale", L"x"}};
  EXPECT_EQ(LoadOptionsFile(map, dir.path("absent.ini")), -1);
  EXPECT_EQ(LoadOptionsFile(map, options), 1);
  EXPECT_EQ(map.count(L"stale"), 0u);
}

struct AutoConvertCase {
  const char* name;
  std::uint32_t eqVersion;
  std::function<void()> setUp;
  std::uint32_t blocked;
  bool left32, left64;  // whether each view still has its default value afterwards
};

TEST_F(SettingsStore, AutoConvertToRemoval) {
  auto redirect = [](RegView view, const wchar_t* target) {
    platform::regStandInSetString(HKLM, view, kAutoConvert, L"", target);
  };
  const AutoConvertCase cases[] = {
      {"Office Math output never touches it", 1, [&] { redirect(V32, L"{X}"); redirect(V64, L"{X}"); }, 0, true, true},
      {"both views removed", 0, [&] { redirect(V32, L"{X}"); redirect(V64, L"{X}"); }, 0, false, false},
      {"64-bit view denied", 0, [&] { redirect(V32, L"{X}"); redirect(V64, L"{X}");
         platform::regStandInDenyWrite(HKLM, V64, kAutoConvert, true); }, 2, false, true},
      {"32-bit view denied", 0, [&] { redirect(V32, L"{X}");
         platform::regStandInDenyWrite(HKLM, V32, kAutoConvert, true); }, 1, true, false},
      {"empty value left alone even when denied", 0, [&] { redirect(V32, L""); redirect(V64, L"");
         platform::regStandInDenyWrite(HKLM, V32, kAutoConvert, true);
         platform::regStandInDenyWrite(HKLM, V64, kAutoConvert, true); }, 0, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    platform::regStandInReset();
    gSettings = ConverterSettings{};
    install();
    userDword(L"eqVersion", c.eqVersion);
    c.setUp();
    ASSERT_EQ(LoadSettings(), 0);
    EXPECT_EQ(gSettings.autoConvertBlocked, c.blocked);
    std::vector<unsigned char> data;
    EXPECT_EQ(platform::regStandInGetValue(HKLM, V32, kAutoConvert, L"", data), c.left32);
    EXPECT_EQ(platform::regStandInGetValue(HKLM, V64, kAutoConvert, L"", data), c.left64);
  }
}

TEST_F(SettingsStore, LoadSettingsAppliesLanguageFile) {
  ScratchDir dir;
  dir.write("velotrix/language/test/language.txt", "\xEF\xBB\xBFM002:2020\nM101:Fertig\n");
  install(dir.path());
  userString(kProduct, L"pathLanguage", L"test");
  ASSERT_EQ(LoadSettings(), 0);
  EXPECT_EQ(msgCancelButton, L"Fertig");
  userString(kProduct, L"pathLanguage", L"");
  ASSERT_EQ(LoadSettings(), 0);
  EXPECT_EQ(msgCancelButton, L"Cancel");
}

}  // namespace
