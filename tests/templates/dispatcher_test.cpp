// The dispatcher's contract and behaviour on damaged or hostile template records.
#include <random>

#include "template_cases.h"
#include "templates/templates.h"

namespace {

using tcase::Case;
using tcase::kMtef3Target;
using tcase::kOfficeMath;

struct SelectorCase {
  const char* name;
  int version;
  const char* hex;
  const char* mtef3Written;  // what the MTEF 3 target holds after the refusal
  const char* lastRead;      // the selector: nothing after it is read
};

TEST(TemplateDispatcher, SelectorBeyondTheTableIsRefused) {
  const SelectorCase cases[] = {
      {"MTEF 5 selector 38", 5, "03 00 26 00 00 00", "03", "26"},
      {"MTEF 5 selector 255", 5, "03 00 ff 00 00 00", "03", "ff"},
      {"MTEF 5 nudged selector 38", 5, "03 08 82 7e 26 00 00 00", "83827e", "26"},
      {"MTEF 3 selector 49", 3, "03 31 00 00 00", "03", "31"},
  };
  for (const SelectorCase& c : cases) {
    SCOPED_TRACE(c.name);
    for (int target : {kOfficeMath, kMtef3Target}) {
      EquationContext ctx = makeEquationContext(target, 0, 1);
      ctx.mtefVersion = c.version;
      ctx.mtefHex = tcase::expandHex(c.version, c.hex);
      ctx.readPos = -1;
      std::string out;
      ASSERT_EQ(readRecord(ctx, nullptr, kModeAdvance), 0);
      EXPECT_EQ(translateTemplate(ctx, &out), 1);
      EXPECT_EQ(out, target == kMtef3Target ? c.mtef3Written : "");
      // Nothing after the selector was read.
      EXPECT_EQ(ctx.mtefHex.substr(ctx.readPos - 1, 2), c.lastRead);
    }
  }
}

// A template with fewer or more records than its variation promises must not take the
// records around it along.
const Case kDamagedLists[] = {
    {"fraction with one slot", 5, "01 00 03 00 0b 00 00 @A 00 @X 00",
     R"x(^{\mf{\mfPr{\mtype }}{\mnum @A}{\mden }}$@X)x", "01 03 0e00 00 @A 00 @X 00"},
    {"underbar with a character record before its END", 5, "01 00 03 00 0c 00 00 @A @F 00 @X 00",
     R"x(^{\mbar{\mbarPr }{\me @A}}$@X)x", "01 03 10 00 00 @A 00 @X 00"},
    {"fence missing its closing character", 5, "01 00 03 00 01 00 00 @A @F 00 @X 00",
     R"x(^{\md{\mdPr{\mbegChr (}{\mendChr )}}{\me @A}}$@X)x", "01 03 01 00 00 @A @F 00 @X 00"},
    {"double integral with one sign", 5, "01 00 03 00 0f 02 00 @A @N @N @F 00 @X 00",
     R"x(^{\mnary{\mnaryPr{\mctrlPr }{\mchr {\uc1\u8748\'3f}}{\msubHide on}{\msupHide on}{\mlimLoc subSup}}{\msub }{\msup }{\me @A}}$@X)x",
     "01 03 16 00 00 @A @N @N @F 00 @X 00"},
    {"superscript with a SIZE record right before its END", 5,
     "01 00 @X 03 00 1c 00 00 @N @B 09 0c 00 00 @Y 00",
     R"x(^{\msSup{\msSupPr}{\me @X}{\msup @B}}$@Y)x", "01 @X 03 0f0000 @N @B 00 @Y 00"},
};

TEST(TemplateDispatcher, DamagedSlotListsStayInStep) {
  for (const Case& c : kDamagedLists) {
    SCOPED_TRACE(c.name);
    const std::string hex = tcase::expandHex(c.version, c.input);
    for (int target : {kOfficeMath, kMtef3Target}) {
      const auto t = tcase::translate(target, c.version, hex);
      EXPECT_TRUE(t.consumedAll);
      EXPECT_EQ(tcase::show(t.text),
                tcase::show(tcase::expandText(target, c.version,
                                              target == kOfficeMath ? c.officeMath : c.mtef3)));
    }
  }
}

TEST(TemplateDispatcher, DeepNestingFailsCleanly) {
  // Radicals nested far deeper than the reader allows, in both numberings.
  for (int version : {5, 3}) {
    std::string hex = tcase::expandHex(version, "@A");
    for (int i = 0; i < 1000; ++i) {
      hex = (version == 5 ? "03000a0000" : "030d0000") + hex + tcase::expandHex(version, "@E") + "00";
      hex = (version == 5 ? "0100" : "01") + hex + "00";
    }
    for (int target : {kOfficeMath, kMtef3Target}) {
      const auto t = tcase::translate(target, version, hex);
      EXPECT_TRUE(t.failed);
      if (target == kOfficeMath) {
        EXPECT_TRUE(tcase::wellNested(t.text));
      }
    }
  }
}

TEST(TemplateDispatcher, RandomRecordsNeverBreakNesting) {
  // Random bodies behind a TMPL tag: every run must end, and Office Math must stay
  // well nested whenever the equation did not fail. (A failed equation may stop inside a
  // matrix or pile, which the record reader leaves open; it is not checked here.)
  std::mt19937 rng(20240531);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> small(0, 15);
  static const char* const kDigits = "0123456789abcdef";
  for (int run = 0; run < 3000; ++run) {
    const int version = run % 3 == 0 ? 3 : 5;
    std::string hex = "03";
    if (version == 5) hex += "00";
    const int len = 1 + small(rng) * 4;
    for (int i = 0; i < len; ++i) {
      // Mostly small values, so that selectors, tags and flags are often meaningful.
      const int b = i % 3 == 0 ? byte(rng) : small(rng);
      hex += kDigits[b >> 4];
      hex += kDigits[b & 15];
    }
    for (int target : {kOfficeMath, kMtef3Target}) {
      const auto t = tcase::translate(target, version, hex);
      if (target == kOfficeMath && !t.failed) {
        EXPECT_TRUE(tcase::wellNested(t.text)) << hex;
      }
    }
  }
}

}  // namespace
