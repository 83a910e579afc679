// The real equation objects of the corpus, converted with both targets.
#include <gtest/gtest.h>

#include <string>

#include "mtef/context.h"
#include "rtf/objects.h"
#include "settings/settings.h"
#include "support/convert.h"
#include "support/corpus.h"

namespace {

// True when every unescaped "{" has its "}" and no group closes before it opens.
bool balanced(const std::string& rtf) {
  long depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;  // the escaped character, whatever it is
      continue;
    }
    if (rtf[i] == '{') ++depth;
    if (rtf[i] == '}' && --depth < 0) return false;
  }
  return depth == 0;
}

struct Converted {
  std::string text;
  bool failed = false;
  std::string reason;
};

Converted convert(const CorpusEntry& e, int target, bool objectStep) {
  std::string record = objectRecordHex(e.className, e.bytes);
  ObjectClass cls = ClassifyObject(record, 1);
  EXPECT_TRUE(cls.isEquation) << e.file;
  EquationContext ctx = makeEquationContext(target, 0, 1);
  greekFontRef.clear();
  greekFontRefDefault = "\\f382";
  Converted c;
  c.text = objectStep ? ConvertEquation(ctx, record.substr(cls.nativeOffset), cls.readerMode)
                      : TranslateEquation(ctx, record.substr(cls.nativeOffset), cls.readerMode);
  c.failed = ctx.failed;
  c.reason = ctx.failReason;
  return c;
}

TEST(Corpus, EveryObjectBecomesOfficeMath) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    Converted c = convert(e, 1, true);
    EXPECT_FALSE(c.failed) << e.file << ": " << c.reason;
    EXPECT_EQ(c.text.rfind("{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath ", 0), 0u) << e.file;
    EXPECT_GT(c.text.size(), 60u) << e.file;
    EXPECT_TRUE(balanced(c.text)) << e.file << "\n" << c.text;
    EXPECT_EQ(c.text.find_first_of(std::string("\x01\x02", 2)), std::string::npos) << e.file;
  }
}

TEST(Corpus, EveryObjectBecomesMtef3) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    Converted stream = convert(e, 0, false);
    EXPECT_FALSE(stream.failed) << e.file << ": " << stream.reason;
    // Header, MTEF 3 version byte, then at least one record and the closing END.
    ASSERT_GT(stream.text.size(), 70u) << e.file;
    EXPECT_EQ(stream.text.substr(0, 12), "1c0000000200") << e.file;
    EXPECT_EQ(stream.text.substr(56, 2), "03") << e.file;
    Converted object = convert(e, 0, true);
    EXPECT_EQ(object.text.rfind("01050000020000000b000000", 0), 0u) << e.file;
  }
}

TEST(Corpus, DocumentWithEveryObjectConverts) {
  SKIP_WITHOUT_CORPUS();
  const auto corpus = loadCorpus();
  std::string doc = "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}{\\f9 Cambria Math Greek;}}\r\n";
  for (const CorpusEntry& e : corpus) doc += rtfObject(e.className, e.bytes) + "\\par\r\n";
  doc += "}";
  for (std::uint32_t format : {1u, 0u}) {
    gSettings.eqVersion = format;
    convertedCount = 0;
    std::string out = convertDocument(doc);
    int expected = 0;
    for (const CorpusEntry& e : corpus) expected += format == 1 || e.className != "Equation.3";
    EXPECT_EQ(convertedCount, expected) << "format " << format;
    EXPECT_TRUE(balanced(out)) << "format " << format;
    EXPECT_EQ(out.find("{\\result"), format == 1 ? std::string::npos : out.find("{\\result"));
  }
  gSettings = ConverterSettings{};
}

}  // namespace

#include "ole/compound_file.h"

namespace {

// The oldest objects (class "Equation") carry the bare MTEF without a compound file; the
// same equation must come out the same either way.
TEST(Corpus, BareMtefObjectsConvertLikeTheirCompoundForm) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    if (e.mtefVersion != 3) continue;
    std::string stream;
    ASSERT_TRUE(readCompoundStream(reinterpret_cast<const std::uint8_t*>(e.bytes.data()),
                                   e.bytes.size(), "Equation Native", stream));
    CorpusEntry bare = e;
    bare.className = "Equation";
    bare.bytes = stream.substr(28);
    EXPECT_EQ(convert(bare, 1, true).text, convert(e, 1, true).text) << e.file;
  }
}

}  // namespace
