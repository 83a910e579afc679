// Arrows, accents, braces, bars, boxes and the arc, both numberings, both targets.
#include "template_cases.h"

namespace {

using tcase::Case;

#define GROUP_CHR R"x(^{\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr )x"
#define RIGHT R"x({\uc1\u8594 >}})x"
#define LEFT R"x({\uc1\u8592 <}})x"
#define LEFT_RIGHT R"x({\uc1\u8596 -}})x"
#define ABOVE(slot) R"x({\mvertJc bot}}{\me )x" slot R"x(}}}}$)x"
#define BELOW(slot) R"x({\mpos top}}{\me )x" slot R"x(}}}}$)x"
#define BORDER_BOX R"x(^{\mborderBox{\mborderBoxPr )x"
#define STRIKE R"x(^{\mborderBox{\mborderBoxPr {\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on})x"

const Case kArrowCases[] = {
    {"right arrow with text above", 5, "03 00 0e 24 00 @A @N @F 00",
     GROUP_CHR RIGHT ABOVE("@A"), "03 13 0000 @A @F 00"},
    {"left arrow with text below", 5, "03 00 0e 18 00 @N @B @F 00",
     GROUP_CHR LEFT BELOW("@B"), "03 12 0100 @B @F 00"},
    {"two-headed arrow with both texts keeps the upper one", 5, "03 00 0e 0c 00 @A @B @F 00",
     GROUP_CHR LEFT_RIGHT ABOVE("@A"), "03 2701000103 14 0000 @A @F 0000 0b 01 @B 0a 00 00"},
    {"arrow with both texts after a size record", 5, "03 00 0e 2c 00 0c @A @B @F 00",
     GROUP_CHR RIGHT ABOVE("@A"), "03 2701000103 13 0000 0c @A @F 0000 0c 01 @B 0c 00 00"},
    {"double arrow right with both texts", 5, "03 00 0e 2d 00 @A @B @F @G 00",
     GROUP_CHR LEFT_RIGHT ABOVE("@A"), "03 2b020011 0b @B @A 0e 01028b02eb 0a 00 00"},
    {"harpoons left with text below", 5, "03 00 0e 1a 00 @N @B @F @G 00",
     GROUP_CHR LEFT_RIGHT BELOW("@B"), "03 2b010011 0b @B @N 0e 01028b03eb 0a 00 00"},
    {"double arrow whose characters follow a SYM record", 5, "03 00 0e 25 00 @A @N 0d @F @G 00",
     GROUP_CHR LEFT_RIGHT ABOVE("@A"), "03 2b000011 0b @N @A 0d 01028b02eb 0d 00 00"},
    {"two-headed harpoons", 5, "03 00 0e 06 00 @A @N @F @G 00",
     GROUP_CHR LEFT_RIGHT ABOVE("@A"), "03 2b000011 0b @N @A 0e 01028bcc21 0a 00 00"},
    {"MTEF 3 left-right arrow, text below", 3, "03 14 01 00 @A @F 00",
     GROUP_CHR LEFT_RIGHT BELOW("@A"), "03 14 01 00 @A @F 00"},
};

TEST(TemplateArrows, BothTargets) {
  for (const Case& c : kArrowCases) tcase::checkCase(c);
}

const Case kAccentCases[] = {
    {"vector arrow right above", 5, "03 00 1f 02 00 @A @F 00",
     R"x(^{\macc{\maccPr{\mchr {\uc1\u8407\'3f}}}{\me @A}}$)x", "03 2f 0100 @A 00"},
    {"harpoon left above", 5, "03 00 1f 09 00 @A @F 00",
     R"x(^{\macc{\maccPr{\mchr {\uc1\u8400\'3f}}}{\me @A}}$)x", "03 2f 0000 @A 00"},
    {"vector below is a bar", 5, "03 00 1f 0d 00 @A @F 00",
     R"x(^{\mbar{\mbarPr }{\me @A}}$)x", "03 2e 0000 @A 00"},
    {"tilde", 5, "03 00 20 00 00 @A @F 00",
     R"x(^{\macc{\maccPr{\mchr {\uc1\u771\'3f}}}{\me @A}}$)x",
     "03 270000 @A 11018280e88b04ee00 00"},
    {"hat", 5, "03 00 21 00 00 @A @F 00", R"x(^{\macc{\maccPr }{\me @A}}$)x",
     "03 270000 @A 11018280e88b07ee00 00"},
    {"horizontal brace above", 5, "03 00 18 01 00 @A @B @Q 00",
     R"x(^{\mlimUpp{\mlimUppPr }{\me {\mgroupChr{\mgroupChrPr{\mchr {\uc1\u9182\'3f}}{\mpos top}{\mvertJc bot}}{\me @A}}}{\mlim @B}}$)x",
     "03 1b0000 @A @B 029637fe 00"},
    {"horizontal bracket below keeps the size record of its character", 5,
     "03 00 19 00 00 @A @B 0a @Q 00",
     R"x(^{\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me @A}}}{\mlim @B}}$)x",
     "03 1c0000 @A @B 0a 029638fe 00"},
    {"double underbar closes both bars", 5, "03 00 0c 01 00 @A 00",
     R"x(^{\mbar{\mbarPr }{\me {\mbar{\mbarPr }{\me @A}}}}$)x", "03 10 01 00 @A 00"},
    {"double overbar", 5, "03 00 0d 01 00 @A 00",
     R"x(^{\mbar{\mbarPr{\mpos top}}{\me {\mbar{\mbarPr{\mpos top}}{\me @A}}}}$)x",
     "03 11 01 00 @A 00"},
    {"MTEF 3 horizontal brace below", 3, "03 1c 00 00 @A @B @Q 00",
     R"x(^{\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me @A}}}{\mlim @B}}$)x",
     "03 1c 00 00 @A @B @Q 00"},
    {"MTEF 3 arrow accent, variation 2", 3, "03 2f 02 00 @A 00",
     R"x(^{\macc{\maccPr{\mchr {\uc1\u8417\'3f}}}{\me @A}}$)x", "03 2f 02 00 @A 00"},
    {"MTEF 3 over arc", 3, "03 30 05 00 @A 00", R"x(^{\macc{\maccPr }{\me @A}}$)x",
     "03 270000 @A 11018280e88b0aee0000"},
};

TEST(TemplateAccents, BothTargets) {
  for (const Case& c : kAccentCases) tcase::checkCase(c);
}

const Case kBoxCases[] = {
    {"box left and top", 5, "03 00 25 0a 00 @A 00",
     BORDER_BOX R"x({\mhideBot on}{\mhideRight on}}{\me @A}}$)x",
     "05 0101010101010101 @A 0000"},
    {"round corners count as left", 5, "03 00 25 11 00 @A 00",
     BORDER_BOX R"x({\mhideTop on}{\mhideRight on}}{\me @A}}$)x",
     "05 0101010101040101 @A 0000"},
    {"nudged box becomes a nudged matrix", 5, "03 08 82 7e 25 1e 00 @A 00",
     BORDER_BOX R"x(}{\me @A}}$)x", "85 827e 0101010101050501 @A 0000"},
    {"horizontal strike", 5, "03 00 24 01 00 @A 00",
     STRIKE R"x({\mstrikeH on}}{\me @A}}$)x", "@A"},
    {"both diagonals, nudged: the tag and nudge are taken back", 5,
     "03 08 82 7e 24 06 00 @A 00",
     STRIKE R"x({\mstrikeBLTR on}{\mstrikeTLBR on}}{\me @A}}$)x", "@A"},
};

TEST(TemplateBoxes, BothTargets) {
  for (const Case& c : kBoxCases) tcase::checkCase(c);
}

TEST(TemplateArrows, TruncatedRecordsStayWellNested) {
  for (const Case& c : kArrowCases) tcase::checkTruncations(c);
  for (const Case& c : kAccentCases) tcase::checkTruncations(c);
  for (const Case& c : kBoxCases) tcase::checkTruncations(c);
}

}  // namespace
