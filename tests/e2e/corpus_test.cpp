// The oldest objects (class "Equation") carry the bare MTEF without a compound file; the
// same equation must come out the same either way. (That every corpus object converts,
// exactly, is the golden test's; that readers read it, the fidelity tests'.)
#include <gtest/gtest.h>

#include <string>

#include "conversion/equation_conversion.h"
#include "ole/compound_file.h"
#include "support/corpus.h"

namespace {

std::string officeMath(const std::string& className, const std::string& native) {
  return conversion::convertObject(objectRecord(className, native), {}, "\\f382").replacement;
}

TEST(Corpus, BareMtefObjectsConvertLikeTheirCompoundForm) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    if (e.mtefVersion != 3) continue;
    std::string stream;
    ASSERT_TRUE(readCompoundStream(reinterpret_cast<const std::uint8_t*>(e.bytes.data()),
                                   e.bytes.size(), "Equation Native", stream));
    EXPECT_EQ(officeMath("Equation", stream.substr(28)), officeMath(e.className, e.bytes)) << e.file;
    EXPECT_FALSE(officeMath("Equation", stream.substr(28)).empty()) << e.file;
  }
}

}  // namespace
