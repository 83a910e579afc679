// The oldest objects (class "Equation") carry the bare MTEF without a compound file; the
// same equation must come out the same either way. The conversions of a run share their
// working memory: an equation must come out as it does alone, whatever came before it.
// (That every corpus object converts, exactly, is the golden test's; that readers read
// it, the fidelity tests'.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(Corpus, EquationsConvertedOneAfterAnotherComeOutAsAlone) {
  SKIP_WITHOUT_CORPUS();
  const std::vector<CorpusEntry> corpus = loadCorpus();
  for (const std::uint32_t eqVersion : {1u, 0u}) {
    conversion::EquationSettings settings;
    settings.eqVersion = eqVersion;
    conversion::EquationScratch shared;
    // Forwards and backwards, so that each equation follows two different ones.
    for (int pass = 0; pass < 2; ++pass) {
      for (std::size_t k = 0; k < corpus.size(); ++k) {
        const CorpusEntry& e = corpus[pass == 0 ? k : corpus.size() - 1 - k];
        const std::string record = objectRecord(e.className, e.bytes);
        conversion::ObjectOutcome inRun = conversion::convertObject(record, settings, "\\f382", shared);
        EXPECT_EQ(inRun.replacement, conversion::convertObject(record, settings, "\\f382").replacement)
            << e.file << " format " << eqVersion;
        shared.text.swap(inRun.replacement);
      }
    }
  }
}

}  // namespace
