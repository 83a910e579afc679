// Fractions, radicals, scripts and limits, both numberings, both targets.
#include "template_cases.h"

namespace {

using tcase::Case;

const Case kFractionCases[] = {
    {"MTEF 5 slash", 5, "03 00 0b 02 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype skw}}{\mnum @A}{\mden @B}}$)x", "03 2900 00 @A @B 00"},
    {"MTEF 5 variation beyond the table is a bar fraction", 5, "03 00 0b 09 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden @B}}$)x", "03 0e00 00 @A @B 00"},
    {"MTEF 5 long division swaps its variation", 5, "03 00 1a 01 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum  @B}{\mden )@A}}$)x", "03 2800 00 @A @B 00"},
    {"MTEF 5 long division variation 0", 5, "03 00 1a 00 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum  @B}{\mden )@A}}$)x", "03 2801 00 @A @B 00"},
    {"MTEF 3 fraction", 3, "03 0e 01 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden @B}}$)x", "03 0e01 00 @A @B 00"},
    {"MTEF 3 slash fraction", 3, "03 29 01 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype lin}}{\mnum @A}{\mden @B}}$)x", "03 2901 00 @A @B 00"},
    {"MTEF 3 long division keeps its variation", 3, "03 28 01 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum  @B}{\mden )@A}}$)x", "03 2801 00 @A @B 00"},
    {"MTEF 5 square root", 5, "03 00 0a 00 00 @A @E 00",
     R"x(^{\mrad{\mradPr {\mdegHide on}}{\mdeg @E}{\me @A}}$)x", "03 0d 00 00 @A @E 00"},
    {"MTEF 5 cube root", 5, "03 00 0a 01 00 @A @C 00",
     R"x(^{\mrad{\mradPr }{\mdeg @C}{\me @A}}$)x", "03 0d 01 00 @A @C 00"},
    {"MTEF 3 n-th root writes variation 1", 3, "03 0d 05 00 @A @C 00",
     R"x(^{\mrad{\mradPr }{\mdeg @C}{\me @A}}$)x", "03 0d 01 00 @A @C 00"},
    {"nudged fraction", 5, "03 08 82 7e 0b 00 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden @B}}$)x", "83 827e 0e00 00 @A @B 00"},
    {"MTEF 3 tag with a nudge", 3, "83 82 7e 0e 00 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden @B}}$)x", "83 827e 0e00 00 @A @B 00"},
    {"option byte with more bits than the nudge reads no nudge", 5, "03 0a 0b 00 00 @A @B 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden @B}}$)x", "03 0e00 00 @A @B 00"},
    {"fraction in a numerator is complete before the denominator", 5,
     "03 00 0b 00 00 01 00 @R 00 @C 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum ^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden @B}}$}{\mden @C}}$)x",
     "03 0e00 00 01 @R 00 @C 00"},
};

TEST(TemplateFractions, BothTargets) {
  for (const Case& c : kFractionCases) tcase::checkCase(c);
}

// Script templates follow their base inside a line.
const Case kScriptCases[] = {
    {"sub and superscript", 5, "01 00 @X 03 00 1d 00 00 @B @C 00 00",
     R"x(^{\msSubSup{\msSubSupPr}{\me @X}{\msub @B}{\msup @C}}$)x",
     "01 @X 03 0f0200 @B @C 00 00"},
    {"only the last atom is the base", 5, "01 00 @Y @X 03 00 1c 00 00 @N @B 00 00",
     R"x(@Y^{\msSup{\msSupPr}{\me @X}{\msup @B}}$)x", "01 @Y @X 03 0f0000 @N @B 00 00"},
    {"script after a fraction takes the whole fraction", 5,
     "01 00 @X @R 03 00 1c 00 00 @N @C 00 00",
     R"x(@X^{\msSup{\msSupPr}{\me @R}{\msup @C}}$)x", "01 @X @R 03 0f0000 @N @C 00 00"},
    {"script first in a line has a blank base", 5, "01 00 03 00 1c 00 00 @N @B 00 00",
     R"x(^{\msSup{\msSupPr}{\me  }{\msup @B}}$)x", "01 03 0f0000 @N @B 00 00"},
    {"script first in a numerator has a blank base", 5,
     "03 00 0b 00 00 01 00 03 00 1c 00 00 @N @B 00 00 @C 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum ^{\msSup{\msSupPr}{\me  }{\msup @B}}$}{\mden @C}}$)x",
     "03 0e00 00 01 03 0f0000 @N @B 00 00 @C 00"},
    {"script first in a radicand leaves the atom before the radical alone", 5,
     "01 00 @X 03 00 0a 00 00 01 00 03 00 1c 00 00 @N @B 00 00 @E 00 00",
     R"x(@X^{\mrad{\mradPr {\mdegHide on}}{\mdeg @E}{\me ^{\msSup{\msSupPr}{\me  }{\msup @B}}$}}$)x",
     "01 @X 03 0d 00 00 01 03 0f0000 @N @B 00 00 @E 00 00"},
    {"leading superscript keeps the atom before it", 5, "01 00 @X 03 00 1c 01 00 @N @B 00 00",
     R"x(^@X{\msPre{\msPrePr}{\msub  }{\msup @B}{\me  }}$)x", "01 @X 03 2c0000 @N @B 00 00"},
    {"leading subscript first in a line", 5, "01 00 03 00 1b 01 00 @B @N 00 00",
     R"x(^{\msPre{\msPrePr}{\msub @B}{\msup  }{\me  }}$)x", "01 03 2c0100 @B @N 00 00"},
    {"MTEF 3 other variation is both", 3, "01 @X 03 0f 07 00 @B @C 00 00",
     R"x(^{\msSubSup{\msSubSupPr}{\me @X}{\msub @B}{\msup @C}}$)x",
     "01 @X 03 0f0200 @B @C 00 00"},
    {"MTEF 3 leading scripts", 3, "01 @X 03 2c 02 00 @B @C 00 00",
     R"x(^@X{\msPre{\msPrePr}{\msub @B}{\msup @C}{\me  }}$)x", "01 @X 03 2c0200 @B @C 00 00"},
};

TEST(TemplateScripts, BaseSearchAndBothTargets) {
  for (const Case& c : kScriptCases) tcase::checkCase(c);
}

const Case kLimitCases[] = {
    {"MTEF 5 limit with both limits nests lower in upper", 5, "03 00 17 30 00 @A @B @C 00",
     R"x(^{\mlimUpp{\mlimUppPr }{\me {\mlimLow{\mlimLowPr }{\me @A}{\mlim @B}}}{\mlim @C}}$)x",
     "03 27 02 00 @A @B @C 00"},
    {"MTEF 5 summation-style flag is ignored", 5, "03 00 17 60 00 @A @N @C 00",
     R"x(^{\mlimUpp{\mlimUppPr }{\me @A}{\mlim @C}}$)x", "03 27 00 00 @A @N @C 00"},
    {"MTEF 3 limit variation 0 is upper only", 3, "03 27 00 00 @A @N @C 00",
     R"x(^{\mlimUpp{\mlimUppPr }{\me @A}{\mlim @C}}$)x", "03 27 00 00 @A @N @C 00"},
    {"integral-style big operator, operand after it", 5, "03 00 15 30 00 @A @B @C @F 00",
     R"x(^{\msSubSup{\msSubSupPr }{\me @F}{\msub @B}{\msup @C}}$@A)x",
     "03 2a 02 00 @A @B @C @F 00"},
    {"summation-style big operator below", 5, "03 00 16 10 00 @A @B @N @F 00",
     R"x(^{\mlimLow{\mlimLowPr }{\me @F}{\mlim @B}}$@A)x", "03 2b 01 00 @A @B @N @F 00"},
    {"MTEF 3 summation-style big operator with both", 3, "03 2b 02 00 @A @B @C @F 00",
     R"x(^{\mlimUpp{\mlimUppPr }{\me {\mlimLow{\mlimLowPr }{\me @F}{\mlim @B}}}{\mlim @C}}$@A)x",
     "03 2b 02 00 @A @B @C @F 00"},
};

TEST(TemplateLimits, BothTargets) {
  for (const Case& c : kLimitCases) tcase::checkCase(c);
}

TEST(TemplateFractions, TruncatedRecordsStayWellNested) {
  for (const Case& c : kFractionCases) tcase::checkTruncations(c);
  for (const Case& c : kScriptCases) tcase::checkTruncations(c);
  for (const Case& c : kLimitCases) tcase::checkTruncations(c);
}

}  // namespace
