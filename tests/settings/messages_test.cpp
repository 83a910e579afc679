#include "settings/messages.h"

#include <gtest/gtest.h>

#include "settings/settings.h"
#include "settings/wide_text.h"
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

TEST_F(Messages, LcidNames) {
  const std::pair<const wchar_t*, const wchar_t*> table[] = {
      {L"1031", L"german"}, {L"1033", L""},         {L"1036", L"french"}, {L"1045", L"polish"},
      {L"1049", L"russian"}, {L"1058", L"ukrainian"}, {L"2057", L""},       {L" 1031", L""},
      {L"", L""}};
  for (const auto& [lcid, name] : table) EXPECT_EQ(LcidToLanguageName(lcid), name) << lcid;
}

struct EntryCase {
  const char* name;
  std::string line;
  std::int32_t id;           // 0: the line must be ignored
  std::wstring text;
};

TEST_F(Messages, LanguageFileLines) {
  const EntryCase cases[] = {
      {"plain", "M101:Abbrechen", 101, L"Abbrechen"},
      {"trimmed, escaped line feed removed", "M101: Wort\\n", 101, L"Wort"},
      {"two backslashes then n", "M101:a\\\\nb", 101, L"a\\nb"},
      {"escapes inside", "M101:a\\r\\nb\\tc", 101, L"a\r\nb\tc"},
      {"lone backslash kept", "M101:a\\b", 101, L"a\\b"},
      {"literal form feed becomes backslash", "M101:a\fb", 101, L"a\\b"},
      {"leading blank in id", "M 42:x", 42, L"x"},
      {"sign in id", "M+42:x", 42, L"x"},
      {"id stops at non-digit", "M4x2:x", 4, L"x"},
      {"empty text after trimming is stored", "M101:   x", 101, L"x"},
      {"lower-case m", "m101:x", 0, L""},
      {"no colon", "M101 x", 0, L""},
      {"exactly five characters", "M101:", 0, L""},
      {"id zero", "M000:x", 0, L""},
      {"negative id", "M-10:x", 0, L""},
      {"comment", "; M101:x", 0, L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto path = dir_.write("l.txt", "\xEF\xBB\xBF" + c.line + "\r\n");
    LanguageMap map{{7, L"stale"}};
    std::size_t count = LoadLanguageFile(map, path, 3, L'M', L':');
    if (c.id == 0) {
      EXPECT_EQ(count, 0u);
    } else {
      EXPECT_EQ(count, 1u);
      EXPECT_EQ(map[c.id], c.text);
    }
  }
}

TEST_F(Messages, LanguageFileLoaderIsGeneral) {
  auto path = dir_.write("l.txt", "12hello\n#34=world\n5=x\n");
  LanguageMap map;
  EXPECT_EQ(LoadLanguageFile(map, path, 2, 0, 0), 2u);  // "12hello" and "5=x" as id 5
  EXPECT_EQ(map[12], L"hello");
  EXPECT_EQ(map[5], L"x");
  EXPECT_EQ(LoadLanguageFile(map, path, 2, L'#', L'='), 1u);
  EXPECT_EQ(map[34], L"world");
}

TEST_F(Messages, LongEntryIsCutBeforeEscapes) {
  std::string text(1200, 'a');
  auto path = dir_.write("l.txt", "M952:" + text + "\n");
  LanguageMap map;
  LoadLanguageFile(map, path, 3, L'M', L':');
  EXPECT_EQ(map[952], std::wstring(995, L'a'));
}

struct RebuildCase {
  const char* name;
  std::string file;
  bool applied;
  std::wstring cancelButton;
  std::wstring summaryStart;  // prefix of StatisticsSummary
  std::wstring summaryEnd;    // suffix of StatisticsSummary
};

TEST_F(Messages, RebuildAppliesOnlyVersion2020Files) {
  const std::wstring defaultSummary = StatisticsSummary;
  const RebuildCase cases[] = {
      {"no version line", "M101:Abbrechen\nM202:Format:\n", false, L"Cancel",
       L"Equation format: %s [%s];", L"button). \r\n\r\nYou can turn off this message in Options."},
      {"wrong version", "M002:2019\nM101:Abbrechen\n", false, L"Cancel", L"Equation format:", L""},
      {"version with blanks", "M002: 2020 \nM101:Abbrechen\n", true, L"Abbrechen",
       L"Equation format: %s [%s];\r\n(%s) Force Unicode;\r\n(%s) Allow MathType fonts.\r\n\r\n"
       L"IMPORTANT! If you convert this document via 'Save As...' menu, you must reload it "
       L"before editing ('Reload current document' button).\r\n\r\n",
       L"button).\r\n\r\nYou can turn off this message in Options."},
      {"all pieces", "M002:2020\nM202:Format:\nM203:Uni\nM204:Fonts\nM951:Note\nM950:Off\n", true,
       L"Cancel", L"Format: %s [%s];\r\n(%s) Uni;\r\n(%s) Fonts.\r\n\r\nNote\r\n\r\nOff", L"Off"},
      {"empty text does not replace", "M002:2020\nM101: \\n \n", true, L"Cancel", L"Equation", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    useLanguageFile(c.file);
    EXPECT_EQ(RebuildMessages(), c.applied);
    EXPECT_EQ(msgCancelButton, c.cancelButton);
    EXPECT_EQ(StatisticsSummary.rfind(c.summaryStart, 0), 0u) << std::string(StatisticsSummary.begin(), StatisticsSummary.end());
    EXPECT_TRUE(StatisticsSummary.size() >= c.summaryEnd.size() &&
                StatisticsSummary.compare(StatisticsSummary.size() - c.summaryEnd.size(),
                                          c.summaryEnd.size(), c.summaryEnd) == 0);
    if (!c.applied) {
      EXPECT_EQ(StatisticsSummary, defaultSummary);
    }
  }
}

TEST_F(Messages, RebuildResetsEnglishFirst) {
  useLanguageFile("M002:2020\nM101:Abbrechen\nM905:Weiter?\n");
  EXPECT_TRUE(RebuildMessages());
  EXPECT_EQ(msgCancelConfirm, L"Weiter?");
  gSettings.pathLanguage = L"missing";
  EXPECT_FALSE(RebuildMessages());
  EXPECT_EQ(msgCancelButton, L"Cancel");
  EXPECT_EQ(msgCancelConfirm, L"This will cancel converting. Continue?");
}

TEST_F(Messages, EmptyLanguageNameUsesFileDirectlyInLanguageFolder) {
  dir_.write("language.txt", "M002:2020\nM101:Direct\n");
  gSettings.languageDir = dir_.path() + L"/";
  gSettings.pathLanguage.clear();
  EXPECT_TRUE(RebuildMessages());
  EXPECT_EQ(msgCancelButton, L"Direct");
}

TEST_F(Messages, SelectLanguageByFolderName) {
  dir_.write("velotrix/language/test/language.txt", "M002:2020\nM101:Chosen\n");
  EXPECT_TRUE(SelectLanguage(dir_.path("velotrix"), L"test"));
  EXPECT_EQ(msgCancelButton, L"Chosen");
  EXPECT_FALSE(SelectLanguage(dir_.path("velotrix"), L"nothing"));
  EXPECT_EQ(msgCancelButton, L"Cancel");
}

TEST_F(Messages, StatisticsFormatting) {
  EXPECT_EQ(StatisticsMessage(1, 12, 1, 0).rfind(
                L"Equation format: Microsoft Equation [12];\r\n(+) Force Unicode;\r\n(-) Allow", 0),
            0u);
  EXPECT_EQ(StatisticsMessage(0, -3, 0, 5).substr(0, 32), L"Equation format: Equation Editor");
  EXPECT_NE(StatisticsMessage(0, -3, 0, 5).find(L"[-3];\r\n(-) Force Unicode;\r\n(+) Allow"),
            std::wstring::npos);

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
