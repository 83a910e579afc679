// The shipped translations: each must load as a version-2020 file and fill every slot.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "settings/messages.h"

namespace {

const std::string kLangDir = std::string(VELOTRIX_SOURCE_DIR) + "/lang";

struct Shipped {
  const char* folder;
  std::string mark;  // the byte-order mark the file starts with
};

TEST(ShippedLanguageFiles, LoadCompletely) {
  const Shipped files[] = {{"german", "\xEF\xBB\xBF"},
                           {"french", "\xEF\xBB\xBF"},
                           {"polish", "\xFF\xFE"},
                           {"russian", "\xFE\xFF"},
                           {"ukrainian", "\xEF\xBB\xBF"}};
  const std::int32_t ids[] = {101, 905, 906, 907, 952, 202, 203, 204, 951, 950};
  const std::wstring dir(kLangDir.begin(), kLangDir.end());
  for (const auto& file : files) {
    SCOPED_TRACE(file.folder);
    const std::string path = kLangDir + "/" + file.folder + "/language.txt";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content.rfind(file.mark, 0), 0u);

    LanguageMap map;
    const std::wstring folder(file.folder, file.folder + std::char_traits<char>::length(file.folder));
    LoadLanguageFile(map, dir + L"/" + folder + L"/language.txt", 3, L'M', L':');
    EXPECT_EQ(ParseDecimal(map[kLanguageVersionId]), kLanguageFileVersion);
    for (std::int32_t id : ids) EXPECT_FALSE(map[id].empty()) << "id " << id;

    ASSERT_TRUE(SelectLanguageIn(dir, folder));
    const std::wstring* slots[] = {&msgCancelButton, &msgCancelConfirm, &msgConfiguring,
                                   &msgPreparing, &msgAutoConvertWarning};
    const std::wstring english[] = {L"Cancel", L"This will cancel converting. Continue?",
                                    L"Please wait while Microsoft Word configures content.",
                                    L"Preparing content, it may take a few minutes."};
    for (int i = 0; i < 4; ++i) EXPECT_NE(*slots[i], english[i]);
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
