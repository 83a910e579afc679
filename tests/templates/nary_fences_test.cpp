// N-ary operators, fences and bra-kets, both numberings, both targets.
#include "template_cases.h"

namespace {

using tcase::Case;

#define NARY R"x(^{\mnary{\mnaryPr{\mctrlPr }{\mchr )x"
#define BOTH_HIDDEN R"x({\msubHide on}{\msupHide on})x"
#define UPPER_HIDDEN R"x({\msupHide on})x"
#define SUBSUP R"x({\mlimLoc subSup})x"
#define UNDOVR R"x({\mlimLoc undOvr})x"
#define LIMITS_BYC R"x(}{\msub @B}{\msup @C}{\me @A}}$)x"
#define LIMITS_NN R"x(}{\msub @N}{\msup @N}{\me @A}}$)x"

const Case kNaryCases[] = {
    {"single integral with both limits", 5, "03 00 0f 31 00 @A @B @C @F 00",
     NARY R"x({\uc1\u8747\'3f}})x" SUBSUP LIMITS_BYC, "03 15 02 00 @A @B @C @F 00"},
    {"single integral, limits below and above", 5, "03 00 0f 71 00 @A @B @C @F 00",
     NARY R"x({\uc1\u8747\'3f}})x" UNDOVR LIMITS_BYC, "03 18 00 00 @A @B @C @F 00"},
    {"contour integral without limits drops one operator record", 5,
     "03 00 0f 04 00 @A @N @N @G @F 00",
     NARY R"x({\uc1\u8750\'3f}})x" BOTH_HIDDEN SUBSUP LIMITS_NN, "03 15 03 00 @A @N @N @F 00"},
    {"contour integral keeps a leading size record alone", 5,
     "03 00 0f 14 00 @A @B @N 0d @G @F 00",
     NARY R"x({\uc1\u8750\'3f}})x" UPPER_HIDDEN SUBSUP R"x(}{\msub @B}{\msup @N}{\me @A}}$)x",
     "03 15 04 00 @A @B @N 0d @F 00"},
    {"double integral with both limits hides the upper", 5, "03 00 0f 32 00 @A @B @C @F @F 00",
     NARY R"x({\uc1\u8748\'3f}})x" UPPER_HIDDEN SUBSUP LIMITS_BYC,
     "03 16 01 00 @A @B @C @F @F 00"},
    {"triple contour integral, summation-style", 5, "03 00 0f 77 00 @A @B @C @G @F @F @F 00",
     NARY R"x({\uc1\u8752\'3f}})x" UPPER_HIDDEN UNDOVR LIMITS_BYC,
     "03 1a 00 00 @A @B @C @F @F @F 00"},
    {"extended variation byte is skipped", 5, "03 00 0f 81 05 00 @A @N @N @F 00",
     NARY R"x({\uc1\u8747\'3f}})x" BOTH_HIDDEN SUBSUP LIMITS_NN, "03 15 00 00 @A @N @N @F 00"},
    {"empty operand", 5, "03 00 0f 00 00 @E @N @N @F 00",
     NARY R"x({\uc1\u8747\'3f}})x" BOTH_HIDDEN SUBSUP R"x(}{\msub @N}{\msup @N}{\me \zwnbo}}$)x",
     "03 15 00 00 @E @N @N @F 00"},
    {"summation with an upper limit only hides both", 5, "03 00 10 20 00 @A @N @C @F 00",
     NARY R"x({\uc1\u8721\'3f}})x" SUBSUP BOTH_HIDDEN R"x(}{\msub @N}{\msup @C}{\me @A}}$)x",
     "03 1d 02 00 @A @N @C @F 00"},
    {"product with limits beside", 5, "03 00 11 30 00 @A @B @C @F 00",
     NARY R"x({\uc1\u8719\'3f}})x" SUBSUP LIMITS_BYC, "03 20 01 00 @A @B @C @F 00"},
    {"union with a lower limit below", 5, "03 00 13 50 00 @A @B @N @F 00",
     NARY R"x({\uc1\u8899\'3f}})x" UNDOVR UPPER_HIDDEN R"x(}{\msub @B}{\msup @N}{\me @A}}$)x",
     "03 23 00 00 @A @B @N @F 00"},
    {"MTEF 3 double integral below", 3, "03 19 01 00 @A @B @N @F @F 00",
     NARY R"x({\uc1\u8748\'3f}})x" UPPER_HIDDEN UNDOVR R"x(}{\msub @B}{\msup @N}{\me @A}}$)x",
     "03 19 01 00 @A @B @N @F @F 00"},
    {"MTEF 3 integral below and above, other variation", 3, "03 18 00 00 @A @B @C @F 00",
     NARY R"x({\uc1\u8747\'3f}})x" UNDOVR LIMITS_BYC, "03 18 00 00 @A @B @C @F 00"},
    {"MTEF 3 product with both limits", 3, "03 1f 01 00 @A @B @C @F 00",
     NARY R"x({\uc1\u8719\'3f}})x" LIMITS_BYC, "03 1f 01 00 @A @B @C @F 00"},
    {"MTEF 3 union without limits", 3, "03 23 02 00 @A @N @N @F 00",
     NARY R"x({\uc1\u8899\'3f}})x" BOTH_HIDDEN LIMITS_NN, "03 23 02 00 @A @N @N @F 00"},
    {"MTEF 3 summation, lower only, empty operand", 3, "03 1e 00 00 @E @B @N @F 00",
     NARY R"x({\uc1\u8721\'3f}})x" UPPER_HIDDEN R"x(}{\msub @B}{\msup @N}{\me \zwnbo}}$)x",
     "03 1e 00 00 @E @B @N @F 00"},
};

TEST(TemplateNary, BothTargets) {
  for (const Case& c : kNaryCases) tcase::checkCase(c);
}

#define FENCE R"x(^{\md{\mdPr)x"
#define CONTENT R"x(}{\me @A}}$)x"
#define ANGLE_OPEN R"x({\uc1\u10216\'3f})x"
#define ANGLE_CLOSE R"x({\uc1\u10217\'3f})x"

const Case kFenceCases[] = {
    {"parentheses", 5, "03 00 01 03 00 @A @F @G 00",
     FENCE R"x({\mbegChr (}{\mendChr )})x" CONTENT, "03 01 00 00 @A @F @G 00"},
    {"left angle bracket only", 5, "03 00 00 01 00 @A @F 00",
     FENCE R"x({\mbegChr )x" ANGLE_OPEN R"x(}{\mendChr })x" CONTENT, "03 00 01 00 @A @F 00"},
    {"right brace only uses the hex escape", 5, "03 00 02 02 00 @A @G 00",
     FENCE R"x({\mbegChr }{\mendChr \'7d})x" CONTENT, "03 02 02 00 @A @G 00"},
    {"square brackets keep the options byte", 5, "03 00 03 00 05 @A @F @G 00",
     FENCE R"x({\mbegChr [}{\mendChr ]})x" CONTENT, "03 03 00 05 @A @F @G 00"},
    {"interval [ )", 5, "03 00 09 12 00 @A @F @G 00",
     FENCE R"x({\mbegChr [}{\mendChr )})x" CONTENT, "03 0b 00 00 @A @F @G 00"},
    {"unlisted interval becomes angle brackets", 5, "03 00 09 44 00 @A @F @G 00",
     FENCE R"x({\mbegChr )x" ANGLE_OPEN R"x(}{\mendChr )x" ANGLE_CLOSE "}" CONTENT,
     "03 00 00 00 @A @F @G 00"},
    {"white brackets", 5, "03 00 08 00 00 @A @F @G 00",
     FENCE R"x({\mbegChr {\uc1\u10214\'3f}}{\mendChr {\uc1\u10215\'3f}})x" CONTENT,
     "03 0300 00 0103 0300 00 @A 02965b0002965d00000002965b0002965d0000"},
    {"white bracket on the left, nudged", 5, "03 08 82 7e 08 01 00 @A @F 00",
     FENCE R"x({\mbegChr {\uc1\u10214\'3f}}{\mendChr })x" CONTENT,
     "83 827e 0301 00 81 827e 83 827e 0301 00 @A 82 827e 965b00 00 00 82 827e 965b00 00"},
    {"white bracket variation beyond the table shows both", 5, "03 00 08 07 00 @A @F @G 00",
     FENCE R"x({\mbegChr {\uc1\u10214\'3f}}{\mendChr {\uc1\u10215\'3f}})x" CONTENT,
     "03 0300 00 0103 0300 00 @A 02965b0002965d00000002965b0002965d0000"},
    {"MTEF 3 closing then opening, right only", 3, "03 0a 02 00 @A @F 00",
     FENCE R"x({\mbegChr }{\mendChr [})x" CONTENT, "03 0a 02 00 @A @F 00"},
    {"MTEF 3 bracket with parenthesis always shows both", 3, "03 0b 01 00 @A @F @G 00",
     FENCE R"x({\mbegChr [}{\mendChr )})x" CONTENT, "03 0b 00 00 @A @F @G 00"},
    {"bra-ket", 5, "03 00 1e 00 00 @A @B @F @H @G 00",
     FENCE R"x({\mbegChr )x" ANGLE_OPEN R"x(}{\mendChr )x" ANGLE_CLOSE
           R"x(}}{\me @A}{\me @B}}$)x",
     "03 2d 00 00 @A @B @F @H @G 00"},
    {"bra", 5, "03 00 1e 01 00 @A @B @F @H 00",
     FENCE R"x({\mbegChr )x" ANGLE_OPEN
           R"x(}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr |}}{\me @A}}}}$)x",
     "03 2d 01 00 @A @B @F @H 00"},
    {"ket", 5, "03 00 1e 02 00 @A @B @H @G 00",
     FENCE R"x({\mbegChr |}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr )x" ANGLE_CLOSE
           R"x(}}{\me @B}}}}$)x",
     "03 2d 02 00 @A @B @H @G 00"},
    {"MTEF 3 bra-ket variation 3", 3, "03 2d 03 00 @A @B @F @H @G 00",
     FENCE R"x({\mbegChr )x" ANGLE_OPEN R"x(}{\mendChr )x" ANGLE_CLOSE
           R"x(}}{\me @A}{\me @B}}$)x",
     "03 2d 00 00 @A @B @F @H @G 00"},
    {"fence content holding a script starts with a blank base", 5,
     "03 00 01 00 00 01 00 03 00 1c 00 00 @N @B 00 00 @F @G 00",
     FENCE R"x({\mbegChr (}{\mendChr )}}{\me ^{\msSup{\msSupPr}{\me  }{\msup @B}}$}}$)x",
     "03 01 00 00 01 03 0f0000 @N @B 00 00 @F @G 00"},
};

TEST(TemplateFences, BothTargets) {
  for (const Case& c : kFenceCases) tcase::checkCase(c);
}

TEST(TemplateNary, TruncatedRecordsStayWellNested) {
  for (const Case& c : kNaryCases) tcase::checkTruncations(c);
  for (const Case& c : kFenceCases) tcase::checkTruncations(c);
}

}  // namespace
