// Embellishment lists on a character, for both targets.
#include <gtest/gtest.h>

#include "mtef_test_support.h"

using namespace mtef_test;

namespace {

const char* const kX = R"(<{\mr\mscr0\msty2\i x}>)";  // the bare run of the examples

struct EmbellCase {
  const char* what;
  int version;
  const char* line;  // records inside the equation's line
  int isEuclid;
  int isUniPrime;
  const char* officeMath;
  const char* mtef3;
};

const EmbellCase kCases[] = {
    {"two accents nest, the later outside", 5, "02 01 83 78 00 06 00 02 06 00 09 00", 0, 1,
     R"(<{\macc{\maccPr{\mchr {\uc1\u770\'3f}}}{\me<{\macc{\maccPr{\mchr {\uc1\u775\'3f}}}{\me<{\mr\mscr0\msty2\i x}}>}}>}>)",
     nullptr},
    {"prime with uni prime", 5, "02 01 83 78 00 06 00 05 00", 0, 1,
     R"(<{<{\mr\mscr0\msty2\i x{\mr\mscr0\msty2\i {\uc1\u39 '}}}>}>)", "22837800060500" "00"},
    {"prime without", 5, "02 01 83 78 00 06 00 05 00", 0, 0, R"(<{<{\mr\mscr0\msty2\i x{\uc1\u39 '}}>}>)", nullptr},
    {"double prime", 5, "02 01 83 78 00 06 00 06 00", 0, 1, R"(<{<{\mr\mscr0\msty2\i x{\uc1\u39 '\u39 '}}>}>)", nullptr},
    {"back prime", 5, "02 01 83 78 00 06 00 07 00", 0, 1, R"(<{`<{\mr\mscr0\msty2\i x}>}>)", nullptr},
    {"slash strikes once", 5, "02 01 83 78 00 06 00 0a 06 00 17 00", 0, 1,
     R"(<{\mborderBox{\mborderBoxPr{\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on}{\mstrikeBLTR on}}{\me<{\mr\mscr0\msty2\i x}}>}>)",
     "22837800060a00" "00"},
    {"middle bar once, beside a slash", 5, "02 01 83 78 00 06 00 10 06 00 10 06 00 15 00", 0, 1,
     R"(<{\mborderBox{\mborderBoxPr{\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on}{\mstrikeBLTR on}{\mstrikeTLBR on}}{\me<{\mborderBox{\mborderBoxPr{\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on}{\mstrikeH on}}{\me<{\mr\mscr0\msty2\i x}}>}}>}>)",
     "22837800061000060a00" "00"},
    {"under bar", 5, "02 01 83 78 00 06 00 1d 00", 0, 1, R"(<{\mbar{\mbarPr}{\me<{\mr\mscr0\msty2\i x}}>}>)", nullptr},
    {"under dots have no Office Math form", 5, "02 01 83 78 00 06 00 1a 00", 0, 1, kX, nullptr},
    {"strikes, then primes, then the rest", 5, "02 01 83 78 00 06 00 05 06 00 02 06 00 10 00", 0, 1, nullptr,
     "22837800061000060500060200" "00"},
    {"nudged strike", 5, "02 01 83 78 00 06 08 81 7f 10 00", 0, 1, nullptr, "2283780086817f1000" "00"},
    {"three dots stay a direct record", 5, "02 01 83 78 00 06 00 04 00", 0, 1, nullptr, "22837800060400" "00"},
    {"after four dots a hat is an over-mark too", 5, "02 01 83 78 00 06 00 18 06 00 09 00", 0, 1, nullptr,
     "0327000001" "0327000001" "02837800" "000b1101" "02822e0002822e0002822e0002822e00" "0a0000"
     "000b1101" "028b0203" "0a0000"},
    {"under-mark template keeps the size and the nudge", 5, "0b 02 01 83 78 00 06 08 81 7f 19 00", 0, 1, nullptr,
     "0b" "0327010001" "02837800" "000b01" "82817f822e00" "00" "0b" "1100"},
    {"Euclid arrow under", 5, "02 01 83 78 00 06 00 24 00", 1, 1, nullptr,
     "0327010001" "02837800" "000b01" "02017800" "00" "0a" "1100"},
    {"MTEF 3 list closes with a second END", 3, "32 83 78 00 06 08 00 00 12 83 79 00", 0, 1,
     R"(<{\macc{\maccPr{\mchr {\uc1\u771\'3f}}}{\me<{\mr\mscr0\msty2\i x}}>}><{\mr\mscr0\msty2\i y}>)",
     "32837800060800" "00" "12837900"},
    {"MTEF 3 list without the second END keeps the next record", 3, "32 83 78 00 06 08 00 12 83 79 00", 0, 1,
     nullptr, "32837800060800" "00" "12837900"},
};

TEST(MtefEmbell, RewritesTheRun) {
  for (const EmbellCase& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string records = std::string(c.version == 5 ? "01 00" : "01") + c.line + "00";
    if (c.officeMath != nullptr) {
      EquationContext ctx = readerFor(1, c.version, records, c.isEuclid, c.isUniPrime);
      EXPECT_EQ(lineContent(ctx), c.officeMath);
      EXPECT_FALSE(ctx.failed) << ctx.failReason;
    }
    if (c.mtef3 != nullptr) {
      EquationContext ctx = readerFor(0, c.version, records, c.isEuclid, c.isUniPrime);
      EXPECT_EQ(lineContent(ctx), c.mtef3);
      EXPECT_FALSE(ctx.failed) << ctx.failReason;
    }
  }
}

TEST(MtefEmbell, StrayListDoesNotRewriteTheLine) {
  EquationContext ctx = readerFor(1, 5, "01 00 02 00 83 78 00 06 00 02 00 00");
  EXPECT_EQ(lineContent(ctx), kX);
  EXPECT_TRUE(ctx.failed);
}

}  // namespace
