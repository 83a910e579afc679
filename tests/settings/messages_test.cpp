#include "settings/messages.h"

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "platform/wide_text.h"
#include "temp_files.h"

namespace {

class Messages : public testing::Test {
 protected:
  void SetUp() override { saved_ = gSettings; }
  void TearDown() override {
    gSettings = saved_;
    ResetMessages();
  }
  // Writes a UTF-8 language file (with a mark) as languageDir/<name>/language.txt and
  // points the settings at it.
  void useLanguageFile(const std::string& content, const std::string& name = "test") {
    dir_.write(name + "/language.txt", "\xEF\xBB\xBF" + content);
    gSettings.languageDir = dir_.path() + L"/";
    gSettings.pathLanguage = std::wstring(name.begin(), name.end());
  }
  ScratchDir dir_;
  ConverterSettings saved_;
};

TEST_F(Messages, LcidNamesMatchWholeNumbersOnly) {
  EXPECT_EQ(LcidToLanguageName(L"1058"), L"ukrainian");
  for (const wchar_t* lcid : {L"1033", L"2057", L" 1031", L"1031 ", L""})
    EXPECT_EQ(LcidToLanguageName(lcid), L"") << lcid;
}

TEST_F(Messages, LanguageFileLines) {
  const struct {
    const char* name;
    std::string line;
    std::int32_t id;  // 0: the line must be ignored
    std::wstring text;
  } cases[] = {
      {"trimmed, escaped line feed removed", "M101: Wort\\n", 101, L"Wort"},
      {"escapes inside, lone backslash kept", "M101:a\\r\\nb\\tc\\d", 101, L"a\r\nb\tc\\d"},
      // A doubled backslash is parked as a form feed, so a literal one comes out as "\".
      {"doubled backslash before n, literal form feed", "M101:a\\\\nb\fc", 101, L"a\\nb\\c"},
      {"leading blank in id", "M 42:x", 42, L"x"},
      {"sign in id", "M+42:x", 42, L"x"},
      {"id stops at non-digit", "M4x2:x", 4, L"x"},
      {"lower-case m", "m101:x", 0, L""},
      {"no colon", "M101 x", 0, L""},
      {"exactly five characters", "M101:", 0, L""},
      {"negative id", "M-10:x", 0, L""},
      {"long entry cut to the line limit", "M952:" + std::string(1200, 'a'), 952, std::wstring(995, L'a')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto path = dir_.write("l.txt", "\xEF\xBB\xBF" + c.line + "\r\n");
    LanguageMap map{{7, L"stale"}};
    EXPECT_EQ(LoadLanguageFile(map, path, 3, L'M', L':'), c.id ? 1u : 0u);
    if (c.id) { EXPECT_EQ(map[c.id], c.text); }
  }
}

TEST_F(Messages, RebuildAppliesOnlyVersion2020Files) {
  const std::wstring builtIn = StatisticsSummary;
  const struct {
    const char* name;
    std::string file;
    bool applied;
    std::wstring cancelButton;
    std::wstring summaryStart, summaryEnd;  // empty: the built-in summary is kept
  } cases[] = {
      {"wrong version", "M002:2019\nM101:Abbrechen\n", false, L"Cancel", L"", L""},
      // Without 951 the rebuilt summary uses its own closing note, unlike the built-in one.
      {"version with blanks", "M002: 2020 \nM101:Abbrechen\n", true, L"Abbrechen",
       L"Equation format: %s [%s];\r\n(%s) Force Unicode;\r\n(%s) Allow MathType fonts.\r\n\r\n",
       L"('Reload current document' button).\r\n\r\nYou can turn off this message in Options."},
      {"all pieces, empty text does not replace",
       "M002:2020\nM101: \\n \nM202:Format:\nM203:Uni\nM204:Fonts\nM951:Note\nM950:Off\n", true,
       L"Cancel", L"Format: %s [%s];\r\n(%s) Uni;\r\n(%s) Fonts.\r\n\r\nNote\r\n\r\nOff", L"Off"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    useLanguageFile(c.file);
    EXPECT_EQ(RebuildMessages(), c.applied);
    EXPECT_EQ(msgCancelButton, c.cancelButton);
    const std::wstring& got = StatisticsSummary;
    if (c.summaryStart.empty()) { EXPECT_EQ(got, builtIn); }
    EXPECT_EQ(got.rfind(c.summaryStart, 0), 0u);
    EXPECT_TRUE(got.ends_with(c.summaryEnd));
  }
}

TEST_F(Messages, EveryLoadResetsEnglishFirst) {
  useLanguageFile("M002:2020\nM101:Abbrechen\nM905:Weiter?\n");
  EXPECT_TRUE(RebuildMessages());
  EXPECT_EQ(msgCancelConfirm, L"Weiter?");
  gSettings.pathLanguage = L"missing";
  EXPECT_FALSE(RebuildMessages());
  EXPECT_EQ(msgCancelButton, L"Cancel");
  EXPECT_EQ(msgCancelConfirm, L"This will cancel converting. Continue?");

  // An empty language name reads language.txt straight from the language folder.
  dir_.write("language.txt", "M002:2020\nM101:Direct\n");
  gSettings.pathLanguage.clear();
  EXPECT_TRUE(RebuildMessages());
  EXPECT_EQ(msgCancelButton, L"Direct");
}

TEST_F(Messages, StatisticsFormatting) {
  const std::wstring editor = StatisticsMessage(0, -3, 0, 5);
  EXPECT_EQ(editor.rfind(L"Equation format: Equation Editor 3.x [-3];\r\n(-) Force Unicode;\r\n(+) Allow", 0),
            0u);

  // A translation with a percent sign and a text that overflows
  // the 450-character buffer, with an astral character straddling the cut.
  std::string longNote(386, 'n');  // puts the pair at units 448 and 449
  useLanguageFile("M002:2020\nM202:100%%\nM951:" + longNote + "\xF0\x9F\x98\x80tail\n");
  ASSERT_TRUE(RebuildMessages());
  std::wstring text = FormatStatisticsSummary(L"F", L"1", L"+", L"-");
  EXPECT_EQ(text.rfind(L"100% F [1];\r\n(+) Force U", 0), 0u);
  std::u16string units = WideToUtf16(text);
  EXPECT_EQ(units.size(), 448u);  // 449 would keep half of the pair
  EXPECT_FALSE(units.back() >= 0xD800 && units.back() <= 0xDBFF);
}

}  // namespace
