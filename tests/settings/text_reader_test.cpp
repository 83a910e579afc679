#include "settings/text_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/codepage.h"
#include "temp_files.h"

namespace {

struct ReadResult {
  std::vector<std::u16string> lines;
  std::uint32_t status = 0;
};

ReadResult readAll(const std::wstring& path, std::uint32_t selector, std::size_t chunk) {
  TextFileReader reader;
  reader.Open(path, selector, chunk);
  ReadResult result;
  std::u16string line;
  for (int guard = 0; guard < 100000 && reader.ReadLine(line, 1000) > 0; ++guard)
    result.lines.push_back(line);
  result.status = reader.Status();
  return result;
}

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

TEST(TextFileReader, DecodesMarksCodePagesAndBadBytes) {
  const struct {
    const char* name;
    std::string content;
    std::uint32_t selector;
    std::size_t chunk;
    std::vector<std::u16string> lines;
    std::uint32_t status;
  } cases[] = {
      {"utf8 mark overrides ANSI", "\xEF\xBB\xBFh\xC3\xA9", kSelectAnsi, 128, {u"h\u00e9"}, 0},
      {"FF FE 00 00 is UTF-32 LE", bytes({0xFF, 0xFE, 0, 0, 'A', 0, 0, 0}), kSelectAnsi, 128, {u"A"}, 0},
      {"UTF-32 BE astral", bytes({0, 0, 0xFE, 0xFF, 0, 1, 0xF6, 0}), kSelectAnsi, 128, {u"\U0001F600"}, 0},
      {"UTF-16 LE mark", bytes({0xFF, 0xFE, 'A', 0, '\r', 0, '\n', 0, 'B', 0}), kSelectAnsi, 128, {u"A", u"B"}, 0},
      {"UTF-16 BE mark", bytes({0xFE, 0xFF, 0x04, 0x10, 0, 'b'}), kSelectUtf8, 128, {u"\u0410b"}, 0},
      {"UTF-16 odd tail", bytes({0xFF, 0xFE, 'A', 0, 'B'}), kSelectAnsi, 128, {u"A?"}, kTextSubstituted},
      {"UTF-16 lone high surrogate at end", bytes({0xFF, 0xFE, 'A', 0, 0x3D, 0xD8}), kSelectAnsi, 128, {u"A?"}, kTextSubstituted},
      {"UTF-32 LE short tail", bytes({0xFF, 0xFE, 0, 0, 'A', 0, 0, 0, 'B', 0}), kSelectAnsi, 128, {u"A?"}, kTextSubstituted},
      {"UTF-32 beyond Unicode", bytes({0xFF, 0xFE, 0, 0, 0, 0, 0x11, 0}), kSelectAnsi, 128, {u"\uFFFD"}, kTextSubstituted},
      {"mark only", bytes({0xFF, 0xFE}), kSelectAnsi, 128, {}, 0},
      {"selector 11 without mark", bytes({'x', 0, 'y', 0}), kSelectUtf16Le, 128, {u"xy"}, 0},
      {"selector 14 without mark", bytes({0, 0, 0, 'z'}), kSelectUtf32Be, 128, {u"z"}, 0},
      {"OEM is 437", "\x82\x9C", kSelectOem, 128, {u"\u00e9\u00a3"}, 0},
      {"explicit 1251", "\xC0\xFF", 1251, 128, {u"\u0410\u044f"}, 0},
      {"utf8 FF in a middle chunk", "abcdef\xFFghijkl", kSelectUtf8, 4, {u"abcdef\uFFFDghijkl"}, kTextSubstituted},
      {"utf8 truncated at end", "ab\xE2\x82", kSelectUtf8, 128, {u"ab\uFFFD"}, kTextSubstituted},
      {"utf8 bad lead, letters kept", "\xE2" "AB" "cdefgh", kSelectUtf8, 4, {u"\uFFFDABcdefgh"}, kTextSubstituted},
      {"Shift-JIS pair across chunks", "abc\x82\xA0" "d", 932, 4, {u"abc\u3042d"}, 0},
      {"unknown code page gives nothing", "abc", 4242, 128, {}, kTextSubstituted | kTextEmptyChunk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    auto result = readAll(dir.write("f.txt", c.content), c.selector, c.chunk);
    EXPECT_EQ(result.lines, c.lines);
    EXPECT_EQ(result.status, c.status);
  }
}

TEST(TextFileReader, ConfiguredAnsiCodePageApplies) {
  ScratchDir dir;
  auto path = dir.write("f.txt", "\xC0\xE9");
  platform::setAnsiCodePage(1251);
  EXPECT_EQ(readAll(path, kSelectAnsi, 128).lines, std::vector<std::u16string>{u"\u0410\u0439"});
  platform::setAnsiCodePage(1252);
  EXPECT_EQ(readAll(path, kSelectAnsiToo, 128).lines, std::vector<std::u16string>{u"\u00c0\u00e9"});
}

TEST(TextFileReader, SplitsLinesOnEveryLineEnd) {
  const std::pair<std::string, std::vector<std::u16string>> cases[] = {
      {"A\rB\n\n", {u"A", u"B", u""}},
      {"A\r\nB\r\n", {u"A", u"B"}},     // CR LF is one end
      {"A\n\rB", {u"A", u"", u"B"}},     // LF CR is two
      {"A\r", {u"A"}},                   // CR at the end of the file
      {std::string("A\0B\nC", 5), {u"A", u"B", u"C"}},  // a zero ends a line
  };
  ScratchDir dir;
  for (const auto& [content, lines] : cases)
    for (std::size_t chunk : {4, 5, 128})
      EXPECT_EQ(readAll(dir.write("f.txt", content), kSelectUtf8, chunk).lines, lines) << chunk;
}

TEST(TextFileReader, LongLineIsCutAndTheNextLineFollows) {
  ScratchDir dir;
  TextFileReader reader;
  reader.Open(dir.write("f.txt", std::string(1500, 'x') + "\r\nnext"), kSelectUtf8, 128);
  std::u16string line;
  EXPECT_EQ(reader.ReadLine(line, 1000), 1501u);  // every unit counted, the CR included
  EXPECT_EQ(line, std::u16string(1000, u'x'));
  EXPECT_EQ(reader.ReadLine(line, 1000), 4u);
  EXPECT_EQ(line, u"next");
  EXPECT_EQ(reader.ReadLine(line, 1000), 0u);
}

// Each unit of `units` as sizeof(unit) bytes in the given byte order.
template <class String>
std::string serialize(const String& units, bool bigEndian) {
  constexpr int width = sizeof(typename String::value_type);
  std::string out;
  for (auto u : units)
    for (int i = 0; i < width; ++i)
      out += static_cast<char>(static_cast<std::uint32_t>(u) >> (8 * (bigEndian ? width - 1 - i : i)));
  return out;
}

// Every chunk size cuts multi-byte sequences and surrogate pairs somewhere different;
// the text must come out whole each time.
TEST(TextFileReader, SequencesStraddlingChunksDecodeWhole) {
#define VLX_LINE "a\u00e9\u20ac\U0001F600\u0416z\U00010348\u3042!"
#define VLX_TEXT VLX_LINE "\n" VLX_LINE "\r\n" VLX_LINE
  const std::u8string utf8 = u8"" VLX_TEXT;
  const std::u16string utf16 = u"" VLX_TEXT;
  const std::u32string utf32 = U"" VLX_TEXT;
  const std::vector<std::u16string> expected(3, u"" VLX_LINE);
#undef VLX_TEXT
#undef VLX_LINE
  const std::pair<std::uint32_t, std::string> encodings[] = {
      {platform::kCodePageUtf8, serialize(utf8, false)},
      {platform::kCodePageUtf16Le, serialize(utf16, false)},
      {platform::kCodePageUtf16Be, serialize(utf16, true)},
      {platform::kCodePageUtf32Le, serialize(utf32, false)},
      {platform::kCodePageUtf32Be, serialize(utf32, true)}};
  ScratchDir dir;
  for (const auto& [cp, content] : encodings) {
    auto path = dir.write("f.txt", content);
    for (std::size_t chunk = 1; chunk <= 17; ++chunk) {
      SCOPED_TRACE(testing::Message() << "code page " << cp << ", chunk " << chunk);
      auto result = readAll(path, cp, chunk);
      EXPECT_EQ(result.lines, expected);
      EXPECT_EQ(result.status, 0u);
    }
  }
}

}  // namespace
