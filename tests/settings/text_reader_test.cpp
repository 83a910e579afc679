#include "settings/text_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/codepage.h"
#include "temp_files.h"

namespace {

struct ReadResult {
  std::vector<std::u16string> lines;
  std::uint32_t status = 0;
};

ReadResult readAll(const std::wstring& path, std::uint32_t selector, std::size_t chunk,
                   std::size_t maximum = 1000) {
  TextFileReader reader;
  reader.Open(path, selector, chunk);
  ReadResult result;
  std::u16string line;
  for (int guard = 0; guard < 100000 && reader.ReadLine(line, maximum) > 0; ++guard)
    result.lines.push_back(line);
  result.status = reader.Status();
  return result;
}

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

struct DecodeCase {
  const char* name;
  std::string content;
  std::uint32_t selector;
  std::size_t chunk;
  std::vector<std::u16string> lines;
  std::uint32_t status;
};

TEST(TextFileReader, DecodesMarksCodePagesAndBadBytes) {
  const DecodeCase cases[] = {
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
      {"empty file", "", kSelectUtf8, 128, {}, 0},
      {"selector 11 without mark", bytes({'x', 0, 'y', 0}), kSelectUtf16Le, 128, {u"xy"}, 0},
      {"selector 14 without mark", bytes({0, 0, 0, 'z'}), kSelectUtf32Be, 128, {u"z"}, 0},
      {"ANSI is 1252", "\x80 \xE9", kSelectAnsi, 128, {u"\u20ac \u00e9"}, 0},
      {"OEM is 437", "\x82\x9C", kSelectOem, 128, {u"\u00e9\u00a3"}, 0},
      {"explicit 1251", "\xC0\xFF", 1251, 128, {u"\u0410\u044f"}, 0},
      {"explicit 1250", "\x8A\xB9", 1250, 128, {u"\u0160\u0105"}, 0},
      {"utf8 FF between letters", "ab\xFF" "cd", kSelectUtf8, 128, {u"ab\uFFFDcd"}, kTextSubstituted},
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
  auto cyrillic = readAll(path, kSelectAnsi, 128);
  platform::setAnsiCodePage(1252);
  auto latin = readAll(path, kSelectAnsiToo, 128);
  EXPECT_EQ(cyrillic.lines, std::vector<std::u16string>{u"\u0410\u0439"});
  EXPECT_EQ(latin.lines, std::vector<std::u16string>{u"\u00c0\u00e9"});
}

struct LineCase {
  const char* name;
  std::string content;
  std::vector<std::u16string> lines;
};

TEST(TextFileReader, SplitsLinesOnEveryLineEnd) {
  const LineCase cases[] = {
      {"CR, LF, LF", "A\rB\n\n", {u"A", u"B", u""}},
      {"CR LF is one end", "A\r\nB\r\n", {u"A", u"B"}},
      {"LF CR is two ends", "A\n\rB", {u"A", u"", u"B"}},
      {"CR at end of file", "A\r", {u"A"}},
      {"no final line end", "A\nB", {u"A", u"B"}},
      {"zero ends a line uncounted", std::string("A\0B\nC", 5), {u"A", u"B", u"C"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    for (std::size_t chunk : {4, 5, 128}) {
      SCOPED_TRACE(chunk);
      EXPECT_EQ(readAll(dir.write("f.txt", c.content), kSelectUtf8, chunk).lines, c.lines);
    }
  }
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

TEST(TextFileReader, PushBackAndFailures) {
  ScratchDir dir;
  TextFileReader reader;
  reader.Open(dir.write("f.txt", "AB"), kSelectUtf8, 128);
  EXPECT_EQ(reader.GetChar(), u'A');
  reader.UngetChar();
  reader.UngetChar();
  EXPECT_EQ(reader.Status(), kTextDoubleUnget);
  EXPECT_EQ(reader.GetChar(), u'A');
  EXPECT_EQ(reader.GetChar(), u'B');
  EXPECT_EQ(reader.GetChar(), 0);

  TextFileReader missing;
  missing.Open(dir.path("absent.txt"), kSelectUtf8, 128);
  EXPECT_EQ(missing.Status(), kTextIoError);
  std::u16string line;
  EXPECT_EQ(missing.ReadLine(line, 1000), 0u);
}

std::u16string toUtf16(const std::u32string& text) {
  std::u16string out;
  for (char32_t c : text) {
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

// Encodes `text` for the round trip below: bytes of `width` (2 or 4) per unit in either
// byte order, or UTF-8 when `width` is 1.
std::string encode(const std::u32string& text, int width, bool bigEndian) {
  std::string out;
  if (width == 1) {
    for (char32_t c : text) {
      int extra = c < 0x80 ? 0 : c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
      static const unsigned char lead[] = {0x00, 0xC0, 0xE0, 0xF0};
      out += static_cast<char>(lead[extra] | (c >> (6 * extra)));
      for (int i = extra - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
    }
    return out;
  }
  std::u32string units;
  if (width == 2) {
    for (char16_t u : toUtf16(text)) units += u;
  } else {
    units = text;
  }
  for (char32_t u : units)
    for (int i = 0; i < width; ++i)
      out += static_cast<char>(u >> (8 * (bigEndian ? width - 1 - i : i)));
  return out;
}

// Every chunk size cuts multi-byte sequences and surrogate pairs somewhere different;
// the text must come out whole each time.
TEST(TextFileReader, SequencesStraddlingChunksDecodeWhole) {
  const std::u32string line = U"a\u00e9\u20ac\U0001F600\u0416z\U00010348\u3042!";
  const std::u32string text = line + U"\n" + line + U"\r\n" + line;
  const std::vector<std::u16string> expected(3, toUtf16(line));
  const struct {
    std::uint32_t codePage;
    int width;
    bool bigEndian;
  } encodings[] = {{platform::kCodePageUtf8, 1, false},   {platform::kCodePageUtf16Le, 2, false},
                   {platform::kCodePageUtf16Be, 2, true}, {platform::kCodePageUtf32Le, 4, false},
                   {platform::kCodePageUtf32Be, 4, true}};
  ScratchDir dir;
  for (const auto& [cp, width, bigEndian] : encodings) {
    auto path = dir.write("f.txt", encode(text, width, bigEndian));
    for (std::size_t chunk = 1; chunk <= 17; ++chunk) {
      SCOPED_TRACE(testing::Message() << "code page " << cp << ", chunk " << chunk);
      auto result = readAll(path, cp, chunk);
      EXPECT_EQ(result.lines, expected);
      EXPECT_EQ(result.status, 0u);
    }
  }
}

// Hostile bytes in every encoding must end in finite time without reading past a buffer.
TEST(TextFileReader, RandomBytesNeverStall) {
  std::mt19937 random(1234);
  ScratchDir dir;
  const std::uint32_t selectors[] = {kSelectAnsi, kSelectOem, kSelectUtf8, kSelectUtf16Le,
                                     kSelectUtf16Be, kSelectUtf32Le, kSelectUtf32Be, 932, 936};
  for (int round = 0; round < 40; ++round) {
    std::string content(random() % 600, '\0');
    for (char& c : content) c = static_cast<char>(random() & 0xFF);
    auto path = dir.write("r.txt", content);
    for (std::uint32_t selector : selectors) {
      TextFileReader reader;
      reader.Open(path, selector, 4 + random() % 20);
      // No decoder makes more than one unit per byte, plus one substitute at the end.
      for (std::size_t i = 0; i < content.size() + 1; ++i) reader.GetChar();
      EXPECT_EQ(reader.GetChar(), 0) << "selector " << selector;
    }
  }
}

}  // namespace
