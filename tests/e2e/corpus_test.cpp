// The real equation objects of the corpus: each converts with both outputs, and the bare
// MTEF form of an object converts like its compound form.
#include <gtest/gtest.h>

#include <string>

#include "conversion/equation_conversion.h"
#include "ole/compound_file.h"
#include "support/corpus.h"

namespace {

// True when every unescaped "{" has its "}" and no group closes before it opens.
bool balanced(const std::string& rtf) {
  long depth = 0;
  for (std::size_t i = 0; i < rtf.size(); ++i) {
    if (rtf[i] == '\\') {
      ++i;
      continue;
    }
    if (rtf[i] == '{') ++depth;
    if (rtf[i] == '}' && --depth < 0) return false;
  }
  return depth == 0;
}

conversion::ObjectOutcome convert(const std::string& className, const std::string& native,
                                  std::uint32_t eqVersion) {
  conversion::EquationSettings settings;
  settings.eqVersion = eqVersion;
  return conversion::convertObject(objectRecord(className, native), settings, "\\f382");
}

TEST(Corpus, EveryObjectConvertsToBothOutputs) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    const auto math = convert(e.className, e.bytes, 1);
    EXPECT_EQ(math.reason, "") << e.file;
    EXPECT_EQ(math.replacement.rfind("{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath ", 0), 0u) << e.file;
    EXPECT_TRUE(balanced(math.replacement)) << e.file;
    if (e.className == "Equation.3") continue;  // stays as it is for Equation 3.0 output
    const auto object = convert(e.className, e.bytes, 0);
    EXPECT_EQ(object.reason, "") << e.file;
    EXPECT_EQ(object.replacement.rfind("01050000020000000b000000", 0), 0u) << e.file;
  }
}

// The oldest objects (class "Equation") carry the bare MTEF without a compound file; the
// same equation must come out the same either way.
TEST(Corpus, BareMtefObjectsConvertLikeTheirCompoundForm) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    if (e.mtefVersion != 3) continue;
    std::string stream;
    ASSERT_TRUE(readCompoundStream(reinterpret_cast<const std::uint8_t*>(e.bytes.data()),
                                   e.bytes.size(), "Equation Native", stream));
    EXPECT_EQ(convert("Equation", stream.substr(28), 1).replacement,
              convert(e.className, e.bytes, 1).replacement)
        << e.file;
  }
}

}  // namespace
