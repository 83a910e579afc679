// Every Office Math equation the writer gives for the corpus passes the validity check:
// groups well nested, every text in a run, no run inside a run, schema order.
#include <gtest/gtest.h>

#include "conversion/equation_conversion.h"
#include "support/corpus.h"
#include "support/office_math_check.h"

namespace {

TEST(OfficeMathValidity, CheckerFindsTheFaultsItIsFor) {
  struct Case {
    const char* rtf;
    const char* problem;  // empty: valid
  } cases[] = {
      {"{\\msSup{\\msSupPr}{\\me {\\mr x}}{\\msup {\\mr 2}}}", ""},
      {"{\\mr x{\\mr '}}", "a run inside a run"},
      {"{\\mf{\\mfPr}{\\mnum  a}{\\mden }}", "text outside a run"},
      {"{\\msSup{\\msup {\\mr 2}}{\\me {\\mr x}}}", "out of order"},
      {"{\\md{\\mdPr{\\mbegChr (}}{\\me {\\mr x}}", "never closed"},
  };
  for (const Case& c : cases) {
    const std::string found = omcheck::problems(c.rtf);
    if (*c.problem == 0) {
      EXPECT_EQ(found, "") << c.rtf;
    } else {
      EXPECT_NE(found.find(c.problem), std::string::npos) << c.rtf << ": " << found;
    }
  }
}

TEST(OfficeMathValidity, EveryCorpusEquationIsValid) {
  SKIP_WITHOUT_CORPUS();
  for (bool uniPrime : {true, false}) {
    for (const CorpusEntry& e : loadCorpus()) {
      conversion::EquationSettings settings;
      settings.uniPrime = uniPrime;
      for (const std::string greek : {"\\f382", ""}) {
        const auto out = conversion::convertObject(objectRecord(e.className, e.bytes), settings, greek);
        EXPECT_EQ(omcheck::problems(out.replacement), "") << e.file;
      }
    }
  }
}

}  // namespace
