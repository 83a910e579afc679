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
  void SetUp() override { saved_ = gSettings; }
  void TearDown() override {
    gSettings = saved_;
    platform::regStandInReset();
    ResetMessages();
  }
  // Starts each case from an empty registry holding only a machine-wide installation in
  // the 32-bit view (the trailing backslash is kept as it is).
  static void reset(bool installed = true, const std::wstring& path = L"D:\\K\\") {
    platform::regStandInReset();
    gSettings = ConverterSettings{};
    if (!installed) return;
    platform::regStandInCreateKey(HKLM, V32, kMain);
    platform::regStandInSetString(HKLM, V32, kProduct, L"path", path);
  }
  static void machine(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    platform::regStandInSetString(HKLM, V32, key, name, value);
  }
  static void userDword(const wchar_t* name, std::uint32_t value) {
    platform::regStandInSetDword(HKCU, V64, kProduct, name, value);
  }
  static void userString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    platform::regStandInSetString(HKCU, V64, key, name, value);
  }
  ConverterSettings saved_;
};

TEST_F(SettingsStore, LoadSettingsFromRegistry) {
  const struct {
    const char* name;
    std::function<void()> setUp;
    int result;
    std::wstring pathLanguage;
    std::uint32_t isEuclid, isProgressWin;
  } cases[] = {
      {"keys only in the 64-bit view", [] { reset(false);
         platform::regStandInCreateKey(HKLM, V64, kMain);
         platform::regStandInSetString(HKLM, V64, kProduct, L"path", L"C:\\P"); }, 1, L"", 0, 1},
      {"main key only", [] { reset(false); platform::regStandInCreateKey(HKLM, V32, kMain); }, 1, L"", 0, 1},
      {"empty path", [] { reset(true, L""); }, 1, L"", 0, 1},
      {"installation language", [] { reset(); machine(kProduct, L"instLanguage", L"1049"); }, 0, L"russian", 0, 1},
      {"per-user empty language clears the installation language", [] { reset();
         machine(kProduct, L"instLanguage", L"1031"); userString(kProduct, L"pathLanguage", L""); }, 0, L"", 0, 1},
      {"string of 600 characters is not read", [] { reset(); machine(kProduct, L"instLanguage", L"1031");
         userString(kProduct, L"pathLanguage", std::wstring(600, L'x')); }, 0, L"german", 0, 1},
      {"missing isProgressWin keeps 1", [] { reset(); userDword(L"isStatistics", 0); }, 0, L"", 0, 1},
      {"dword read from a short value", [] { reset();
         platform::regStandInSetValue(HKCU, V64, kProduct, L"isEuclid", platform::kRegBinary, {5, 1}); }, 0, L"", 0x105, 1},
      {"dword longer than 4 bytes is not read", [] { reset();
         platform::regStandInSetValue(HKCU, V64, kProduct, L"isEuclid", platform::kRegBinary, {1, 0, 0, 0, 0}); }, 0, L"", 0, 1},
      {"names ignore case", [] { reset();
         platform::regStandInSetDword(HKCU, V64, L"Software\\KORVANE\\Velotrix", L"ISEUCLID", 1);
         platform::regStandInSetDword(HKCU, V64, kProduct, L"isProgressWin", 0); }, 0, L"", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    c.setUp();
    gSettings.eqVersion = 0;
    gSettings.autoConvertBlocked = 3;
    EXPECT_EQ(LoadSettings(), c.result);
    EXPECT_EQ(gSettings.eqVersion, 1u);
    EXPECT_EQ(gSettings.autoConvertBlocked, 0u);
    EXPECT_EQ(gSettings.installDir, c.result ? L"" : L"D:\\K\\\\velotrix\\");
    EXPECT_EQ(gSettings.languageDir, c.result ? L"" : L"D:\\K\\\\velotrix\\language\\");
    EXPECT_EQ(gSettings.pathLanguage, c.pathLanguage);
    EXPECT_EQ(gSettings.isEuclid, c.isEuclid);
    EXPECT_EQ(gSettings.isProgressWin, c.isProgressWin);
  }
}

TEST_F(SettingsStore, SecondLoadStartsFromFirst) {
  reset();
  userDword(L"isEuclid", 1);
  userDword(L"eqVersion", 0);
  ASSERT_EQ(LoadSettings(), 0);
  platform::regStandInDeleteKey(HKCU, V64, kProduct);
  ASSERT_EQ(LoadSettings(), 0);
  EXPECT_EQ(gSettings.isEuclid, 1u);   // kept from the first run
  EXPECT_EQ(gSettings.eqVersion, 1u);  // reset by every run
}

TEST_F(SettingsStore, RegistryReadsHonourSizeLimitsAndCloseModes) {
  reset(false);
  auto set = [](const wchar_t* name, std::vector<unsigned char> data) {
    platform::regStandInSetValue(HKCU, V64, L"T", name, platform::kRegSz, std::move(data));
  };
  set(L"full", std::vector<unsigned char>(1024, 'a'));
  set(L"over", std::vector<unsigned char>(1025, 'a'));
  set(L"byte", {'a'});
  set(L"noZero", {'a', 0, 'b', 0});
  auto open = [] { return platform::regOpenKey(platform::regRootKey(HKCU), L"T", platform::RegAccess::Read32); };
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

TEST_F(SettingsStore, ServerModeOptionsFile) {
  ScratchDir dir;
  const struct {
    const char* name;
    std::uint32_t serverMode;
    std::string file;
    std::uint32_t eqVersion, isEuclid, isUniPrime;
    std::wstring pathLanguage;
  } cases[] = {
      {"key trimmed, value not; unusable lines skipped", 1,
       "  eqVersion \t=0\njust text\npathLanguage= german\n=1\nisEuclid=1\n", 0, 1, 5, L" german"},
      {"numbers parsed like atoi; beyond 0 and 1 the setting stays", 1, "isEuclid= 12abc\nisUniPrime=x1\neqVersion=0\n", 0, 0, 0, L"french"},
      {"later line wins, keys keep case", 1, "isEuclid=2\nisEuclid=1\niseuclid=5\n", 1, 1, 5, L"french"},
      {"ignored outside server mode", 0, "isEuclid=1\n", 1, 0, 5, L"french"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    platform::regStandInSetDword(HKLM, V32, kMain, L"serverMode", c.serverMode);
    userString(kMain, L"wmoptini", dir.write("opt.ini", c.file));
    userDword(L"isUniPrime", 5);
    userString(kProduct, L"pathLanguage", L"french");
    ASSERT_EQ(LoadSettings(), 0);
    EXPECT_EQ(gSettings.eqVersion, c.eqVersion);
    EXPECT_EQ(gSettings.isEuclid, c.isEuclid);
    EXPECT_EQ(gSettings.isUniPrime, c.isUniPrime);
    EXPECT_EQ(gSettings.pathLanguage, c.pathLanguage);
  }
  // Server mode, but no per-user product key: the file is not read either.
  platform::regStandInDeleteKey(HKCU, V64, kProduct);
  platform::regStandInSetDword(HKLM, V32, kMain, L"serverMode", 1);
  ASSERT_EQ(LoadSettings(), 0);
  EXPECT_EQ(gSettings.isEuclid, 0u);

  OptionsMap map{{L"stale", L"x"}};
  EXPECT_EQ(LoadOptionsFile(map, dir.path("absent.ini")), -1);
  EXPECT_EQ(LoadOptionsFile(map, dir.path("opt.ini")), 1);
  EXPECT_EQ(map.count(L"stale"), 0u);
}

TEST_F(SettingsStore, AutoConvertToRemoval) {
  auto redirect = [](RegView view, const wchar_t* target, bool denied) {
    platform::regStandInSetString(HKLM, view, kAutoConvert, L"", target);
    platform::regStandInDenyWrite(HKLM, view, kAutoConvert, denied);
  };
  const struct {
    const char* name;
    std::uint32_t eqVersion;
    const wchar_t *target32, *target64;  // null: no key in that view
    bool denied32, denied64;
    std::uint32_t blocked;
    bool left32, left64;  // whether each view still has its default value afterwards
  } cases[] = {
      {"Office Math output never touches it", 1, L"{X}", L"{X}", false, false, 0, true, true},
      {"both views removed", 0, L"{X}", L"{X}", false, false, 0, false, false},
      {"64-bit view denied", 0, L"{X}", L"{X}", false, true, 2, false, true},
      {"32-bit view denied", 0, L"{X}", nullptr, true, false, 1, true, false},
      {"empty value left alone even when denied", 0, L"", L"", true, true, 0, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    userDword(L"eqVersion", c.eqVersion);
    if (c.target32) redirect(V32, c.target32, c.denied32);
    if (c.target64) redirect(V64, c.target64, c.denied64);
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
  reset(true, dir.path());
  userString(kProduct, L"pathLanguage", L"test");
  ASSERT_EQ(LoadSettings(), 0);
  EXPECT_EQ(msgCancelButton, L"Fertig");
}

}  // namespace
