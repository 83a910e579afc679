// The real equations of the corpus through both targets. The MTEF 3 text is read back as
// an MTEF 3 equation: every template written for that target must have exactly the
// records its selector calls for, or the reader would fall out of step.
#include "../support/corpus.h"
#include "template_cases.h"

namespace {

TEST(TemplateCorpus, BothTargetsAndMtef3ReadsBack) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    SCOPED_TRACE(e.file);
    const std::string objectHex = toHex(e.bytes);

    EquationContext om = makeEquationContext(tcase::kOfficeMath, 0, 1);
    const std::string omText = TranslateEquation(om, objectHex, 5);
    EXPECT_FALSE(omText.empty());
    EXPECT_FALSE(om.failed) << om.failReason;
    EXPECT_TRUE(tcase::wellNested(omText));

    for (int euclid : {0, 1}) {
      EquationContext m3 = makeEquationContext(tcase::kMtef3Target, euclid, 1);
      const std::string native = TranslateEquation(m3, objectHex, 5);
      EXPECT_FALSE(m3.failed) << m3.failReason;
      ASSERT_FALSE(native.empty());

      // Read the MTEF 3 stream back (passed through as it is).
      EquationContext back = makeEquationContext(tcase::kOfficeMath, 0, 1);
      const std::string again = TranslateEquation(back, native, 4);
      EXPECT_FALSE(back.failed) << back.failReason;
      EXPECT_TRUE(tcase::wellNested(again));
      // Only the END that closes the equation is left after the equation's line or pile.
      EXPECT_EQ(back.mtefHex.size() - static_cast<std::size_t>(back.readPos + 1), 2u)
          << "MTEF 3 records out of step";
    }
  }
}

}  // namespace
