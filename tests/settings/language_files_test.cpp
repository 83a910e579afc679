// The shipped translations: each must load as a version-2020 file and fill every slot.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "settings/messages.h"

namespace {

const std::string kLangDir = std::string(VELOTRIX_SOURCE_DIR) + "/lang";

TEST(ShippedLanguageFiles, LoadCompletely) {
  // Each folder with the byte-order mark its file starts with.
  const std::pair<const char*, std::string> files[] = {
      {"german", "\xEF\xBB\xBF"}, {"french", "\xEF\xBB\xBF"}, {"polish", "\xFF\xFE"},
      {"russian", "\xFE\xFF"},     {"ukrainian", "\xEF\xBB\xBF"}};
  const std::int32_t ids[] = {101, 905, 906, 907, 952, 202, 203, 204, 951, 950};
  const std::wstring dir(kLangDir.begin(), kLangDir.end());
  for (const auto& [name, mark] : files) {
    SCOPED_TRACE(name);
    const std::string path = kLangDir + "/" + name + "/language.txt";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content.rfind(mark, 0), 0u);

    LanguageMap map;
    const std::wstring folder(name, name + std::char_traits<char>::length(name));
    LoadLanguageFile(map, dir + L"/" + folder + L"/language.txt", 3, L'M', L':');
    EXPECT_EQ(ParseDecimal(map[kLanguageVersionId]), kLanguageFileVersion);
    for (std::int32_t id : ids) EXPECT_FALSE(map[id].empty()) << "id " << id;

    ASSERT_TRUE(SelectLanguageIn(dir, folder));
    EXPECT_EQ(msgCancelButton, map[101]);
    EXPECT_NE(msgAutoConvertWarning.find(L"\r\n\r\n"), std::wstring::npos);
    // The statistics format must keep exactly four arguments and no other conversions.
    std::size_t percents = 0, arguments = 0;
    for (std::size_t at = 0; (at = StatisticsSummary.find(L'%', at)) != std::wstring::npos; ++at) {
      ++percents;
      if (StatisticsSummary.compare(at, 2, L"%s") == 0) ++arguments;
    }
    EXPECT_EQ(arguments, 4u);
    EXPECT_EQ(percents, 4u);
    EXPECT_EQ(StatisticsSummary.find(L"Force Unicode"), std::wstring::npos);
    // The whole message must fit the 450-character buffer, its closing note included.
    const std::wstring message = StatisticsMessage(1, 123456, 1, 1);
    const std::wstring& closing = map[950];
    EXPECT_TRUE(message.size() > closing.size() &&
                message.compare(message.size() - closing.size(), closing.size(), closing) == 0);
  }
  ResetMessages();
}

}  // namespace
