#include <gtest/gtest.h>

#include <string>

#include "rtf/document.h"
#include "rtf/input.h"
#include "rtf/walker.h"
#include "support/convert.h"

namespace {

TEST(Walker, NormalisesControlWords) {
  struct Case {
    std::string input;
    std::string expected;
  } cases[] = {
      {"{\\par\n}", "{\\par }"},
      {"{\\'E9}", "{\\'e9}"},
      {"{\\~\\-x}", "{\\~\\-x}"},
      {"{\\u8722?}", "{\\u8722 ?}"},
      {"{\\fs24\n\\b0 x}", "{\\fs24 \\b0 x}"},
      {"{\\*\\generator x;}", "{\\*\\generator x;}"},
      {"{a\r\nb\tc}", "{ab c}"},
      {"{\\f}", "{\\f }"},
      // Parameters are written as numbers, nested groups or not.
      {"{{\\li007\\fi-0\\sa-\\sb12345678901 x\\'E9\\'9x\\'}}", "{{\\li7 \\fi0 \\sa0 \\sb2147483647 x\\'e9\\'09x\\'}}"},
      {"{\\fonttbl\\f1 x;}", "{\\fonttbl\\f1 x;}"},
      {"{\\fonttbl Times;}{\\fonttbl\r\nx}", "{\\fonttbl Times;}{\\fonttbl x}"},
      {"{\\{\\}\\\\}", "{\\{\\}\\\\}"},
      // \bin data is copied verbatim, braces and backslashes included.
      {"{\\bin3 {\\}x}", "{\\bin3 {\\}x}"},
      {"{\\bin0 x}", "{\\bin0 x}"},
      {"{\\bin x}", "{\\bin0 x}"},
      // Control symbols take no delimiter; a backslash and a line break stays just that.
      {"{\\1x\\ y}", "{\\1x\\ y}"},
      {"{a\\\r\nb\\\nc}", "{a\\\nb\\\nc}"},
      // Whatever stands between or after groups is copied as well (more in the hostile
      // documents).
      {"{a}}b}", "{a}}b}"},
      // Text runs after \oleclsid are dropped until the group closes.
      {"{\\*\\oleclsid \\'7bABC\\'7d}x", "{\\*\\oleclsid \\'7b\\'7d}x"},
      // End of input inside groups: the missing braces stay missing.
      {"{\\rtf1{a", "{\\rtf1 {a"},
      // Cut in the middle of a control word.
      {"{\\rtf1\\ans", "{\\rtf1 \\ans "},
      // A lone backslash at the very end yields an empty word.
      {"{x\\", "{x "},
      // \bin whose data runs past the end: what is there is copied, nothing is invented.
      {"{\\bin4 ab", "{\\bin4 ab"},
      {"{\\bin2000000000 ab", "{\\bin2000000000 ab"},
      {std::string("{\\bin3 \0\0}}", 11), std::string("{\\bin3 \0\0}}", 11)},
      // Nothing at all.
      {"", ""},
      // A closing brace first does not end the walk.
      {"}{a}", "}{a}"},
  };
  for (const Case& c : cases) EXPECT_EQ(convertDocument(c.input), c.expected) << c.input;
}

TEST(Walker, RecordsGreekFontReferences) {
  struct Case {
    std::string fonttbl;
    std::string ref;
    std::string fallback;
  } cases[] = {
      {"{\\fonttbl{\\f0\\froman Times New Roman;}{\\f382\\fnil Cambria Math Greek;}}", "\\f382", "\\f382"},
      {"{\\fonttbl{\\f5 Cambria Math Greek;}{\\f6 Cambria Math Greek;}}", "\\f5", "\\f382"},
      {"{\\fonttbl{\\f0 Cambria Math Greek;}}", "", "\\f382"},
      {"{\\fonttbl{\\f7 Symbol Greek;}{\\f9 Other Greek;}}", "", "\\f9"},
      {"{\\fonttbl{\\f4 Cambria Math Greek;Cambria Math;}}", "", "\\f382"},
      // Text after the font table names nothing.
      {"{\\fonttbl{\\f1 Times;}}\\f5 Symbol Greek;", "", "\\f382"},
      // A font table that is no group of its own lasts until the outer group closes.
      {"\\fonttbl\\f3 Symbol Greek;", "", "\\f3"},
  };
  for (const Case& c : cases) {
    convertDocument("{\\rtf1" + c.fonttbl + "}");
    EXPECT_EQ(lastPass().greekFontRef, c.ref) << c.fonttbl;
    EXPECT_EQ(lastPass().greekFontRefDefault, c.fallback) << c.fonttbl;
  }
}

TEST(Walker, EveryRunStartsClean) {
  convertDocument("{\\rtf1{\\fonttbl{\\f8 Cambria Math Greek;}}");
  EXPECT_EQ(lastPass().greekFontRef, "\\f8");
  // The first run ended inside the font table; the next one is not affected.
  EXPECT_EQ(convertDocument("{\\f2 Symbol Greek;}"), "{\\f2 Symbol Greek;}");
  EXPECT_EQ(lastPass().greekFontRef, "");
  EXPECT_EQ(lastPass().greekFontRefDefault, "\\f382");
  EXPECT_EQ(lastPass().walkFlags, 0u);
}

TEST(Walker, ChunkSizeDoesNotChangeOutput) {
  std::string doc =
      "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\froman Times;}{\\f2 Symbol Greek;}}\r\n"
      "{\\colortbl;\\red0\\green0\\blue0;}\\pard\\plain\\fs24 Caf\\'e9 cr\r\nlf\\par\r\n"
      "{\\pict\\wmetafile8 0100\r\n0900}\\bin5 {}\\\\x\\u8722?\t\\~end\\par}"
      "{\\li007\\fi-0\\sa-\\sb12345678901\r\n\\'E9\\'9x\\f3\\object\\objclass Equation.3}";
  for (int i = 0; i < 2000; ++i) doc.insert(doc.size() - 1, "word \\b bold\\b0\r\n");
  const std::string reference = convertDocument(doc, 1 << 16);
  ASSERT_FALSE(reference.empty());
  for (std::size_t chunk : {1u, 2u, 3u, 7u, 1u << 16})
    EXPECT_EQ(convertDocument(doc, chunk), reference) << chunk;
}

TEST(Walker, NormalisedOutputIsAFixedPoint) {
  const std::string docs[] = {
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\r\n"
      "{\\*\\generator Riched20 10.0.19041}\\viewkind4\\uc1 \r\n"
      "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22\\lang9 Hello \\b world\\b0 !\\par\r\n}\r\n",
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat{\\fonttbl{\\f0\\fnil Calibri;}}\r\n"
      "{\\colortbl ;\\red255\\green0\\blue0;}\r\n\\pard\\cf1 Caf\\'e9 \\u8364?\\tab x\\line y\\par\r\n"
      "{\\object\\objemb{\\*\\objclass Paint.Picture}\\objw10\\objh10{\\*\\objdata 0105\r\n"
      "0000}{\\result{\\pict\\wmetafile8 ab\r\ncd}}}}",
  };
  for (const std::string& doc : docs) {
    std::string once = convertDocument(doc);
    EXPECT_EQ(convertDocument(once), once);
    EXPECT_EQ(once.find('\n'), std::string::npos);
  }
}

TEST(Walker, DeepNestingDoesNotOverflow) {
  const std::size_t depth = 1000000;
  std::string doc(depth, '{');
  doc += "x";
  doc.append(depth, '}');
  EXPECT_EQ(convertDocument(doc, 1 << 16), doc);
  // The same, cut before the closing braces.
  std::string open(depth, '{');
  EXPECT_EQ(convertDocument(open, 1 << 16), open);
}

}  // namespace

namespace {

// Plain stretches are scanned many bytes at a time: a stop at any place of a long stretch,
// or none, is found where a byte-by-byte scan finds it; a zero byte stops only the data scan.
TEST(PlainStretch, StopsWhereverTheyStand) {
  std::string run;
  for (int i = 0; i < 100; ++i) run += static_cast<char>(i % 3 == 0 ? '\x0e' + i % 5 : 'a' + i % 26);
  for (std::size_t at = 0; at <= run.size(); ++at) {
    for (const char stop : {'\\', '{', '}', '\r', '\n', '\t', '\0'}) {
      std::string text = run;
      if (at < text.size()) text[at] = stop;
      const std::size_t plain = at < text.size() && stop != '\0' ? at : text.size();
      EXPECT_EQ(ScanPlainText(text.data(), text.size()), plain) << at << " " << int(stop);
      EXPECT_EQ(ScanPlainData(text.data(), text.size()), at < text.size() ? at : text.size()) << at;
    }
  }
}

}  // namespace
