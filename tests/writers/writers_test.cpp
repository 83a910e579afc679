// Both writers through their public faces: an equation read from hand-built MTEF, written
// as Office Math (RTF control words) and as an MTEF 3 "Equation Native" stream.
#include <gtest/gtest.h>

#include <string>

#include "equation/tree.h"
#include "writers/mtef3.h"
#include "writers/office_math_rtf.h"
#include "support/mtef_builder.h"

namespace {

using namespace mtef5;

equation::Equation read(const std::string& records) {
  equation::ReadResult r = equation::readEquationNative(equationNative(records));
  EXPECT_FALSE(r.failed) << r.failure.reason;
  return std::move(r.equation);
}

// The Office Math text inside the \moMath group.
std::string officeMath(const std::string& records, writers::OfficeMathOptions options = {}) {
  const std::string text = writers::writeOfficeMathRtf(read(records), options);
  const std::string head = "{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath ";
  const std::string tail = "}}\r\n{\\mmathPict}}\r\n";
  if (text.size() < head.size() + tail.size() || text.rfind(head, 0) != 0) return "not wrapped: " + text;
  return text.substr(head.size(), text.size() - head.size() - tail.size());
}

const std::string kX = "{\\mr\\mscr0\\msty2\\i x}";
const std::string kY = "{\\mr\\mscr0\\msty2\\i y}";
const std::string kTwo = "{\\mr\\mscr0\\msty0 2}";

std::string superscript(const std::string& base) { return tmpl(28, 0, {line({}), line({base})}); }
std::string embellished(char c, int type) {
  return byte(2) + byte(1) + byte(kVariable) + byte(c) + byte(0) + byte(6) + byte(0) + byte(type) + byte(0);
}

TEST(OfficeMathWriter, ScriptsFindTheirBase) {
  struct Case {
    const char* what;
    std::string records;
    std::string expected;
  } cases[] = {
      {"the item before the script", line({var('y'), var('x'), superscript(num('2'))}),
       kY + "{\\msSup{\\msSupPr}{\\me " + kX + "}{\\msup " + kTwo + "}}"},
      {"nothing at the start of a slot", line({fraction(line({superscript(num('2'))}), line({var('y')}))}),
       "{\\mf{\\mfPr{\\mtype }}{\\mnum {\\msSup{\\msSupPr}{\\me }{\\msup " + kTwo + "}}}{\\mden " + kY + "}}"},
      {"a whole template", line({fraction(line({var('x')}), line({var('y')})), superscript(num('2'))}),
       "{\\msSup{\\msSupPr}{\\me {\\mf{\\mfPr{\\mtype }}{\\mnum " + kX + "}{\\mden " + kY + "}}}{\\msup " + kTwo + "}}"},
      {"a bracketed group back to its opening bracket", line({var('y'), sym('('), var('x'), sym(')'), superscript(num('2'))}),
       kY + "{\\msSup{\\msSupPr}{\\me {\\mr\\mscr0\\msty2\\i (}" + kX + "{\\mr\\mscr0\\msty2\\i )}}{\\msup " + kTwo + "}}"},
      {"nothing at the start of a pile line", pile({line({var('x')}), line({superscript(num('2'))})}),
       "{\\mm {\\mmPr{\\mplcHide on}{\\mmcs{\\mmc{\\mmcPr{\\mmcJc left}{\\mcount 1}}}}}{\\mmr {\\me " + kX +
           "}}{\\mmr {\\me {\\msSup{\\msSupPr}{\\me }{\\msup " + kTwo + "}}}}}"},
      {"leading scripts keep the item before them", line({var('x'), tmpl(28, 1, {line({}), line({num('2')})})}),
       kX + "{\\msPre{\\msPrePr}{\\msub }{\\msup " + kTwo + "}{\\me }}"},
  };
  for (const Case& c : cases) EXPECT_EQ(officeMath(c.records), c.expected) << c.what;
}

TEST(OfficeMathWriter, CharactersAndOptions) {
  writers::OfficeMathOptions plain;
  plain.uniPrime = false;
  writers::OfficeMathOptions greekFont;
  greekFont.greekFontRef = "\\f9";
  writers::OfficeMathOptions noGreekFont;
  noGreekFont.greekFontRef.clear();
  struct Case {
    const char* what;
    std::string records;
    writers::OfficeMathOptions options;
    std::string expected;
  } cases[] = {
      {"RTF specials escaped", line({var('{'), var('\\')}), {}, "{\\mr\\mscr0\\msty2\\i \\{}{\\mr\\mscr0\\msty2\\i \\\\}"},
      {"Greek through the document's Greek font", line({greek(0x03B1, 'a')}), greekFont, "{\\mr\\mscr0\\msty2\\i \\f9\\'e1}"},
      {"Greek without a Greek font", line({greek(0x03B1, 'a')}), noGreekFont, "{\\mr\\mscr0\\msty2\\i {\\uc1\\u945\\'3f}}"},
      {"beyond code page 1252 as a Unicode escape", line({sym(0x2211)}), {}, "{\\mr\\mscr0\\msty2\\i {\\uc1\\u8721\\'3f}}"},
      {"a prime in its Unicode form", line({embellished('x', 5)}), {},
       "{\\mr\\mscr0\\msty2\\i x{\\uc1\\u8242\\'3f}}"},
      {"a plain prime", line({embellished('x', 5)}), plain, "{\\mr\\mscr0\\msty2\\i x'}"},
      {"a dot accent", line({embellished('x', 2)}), {}, "{\\macc{\\maccPr{\\mchr {\\uc1\\u775\\'3f}}}{\\me" + kX + "}}"},
  };
  for (const Case& c : cases) EXPECT_EQ(officeMath(c.records, c.options), c.expected) << c.what;
}

// Each arrow keeps its own character and both labels.
TEST(OfficeMathWriter, ArrowsKeepTheirKindAndLabels) {
  const std::string box = "{\\mbox{\\mboxPr{\\mopEmu on}}{\\me{\\mgroupChr{\\mgroupChrPr{\\mchr ";
  auto arrow = [](int variation) {
    return tmpl(14, variation, {line({var('x')}), line({var('y')}), line({}), line({})});
  };
  struct Case {
    int variation;
    std::string expected;
  } cases[] = {
      {0x24, box + "{\\uc1\\u8594 >}}{\\mvertJc bot}}{\\me " + kX + "}}}}"},
      {0x18, box + "{\\uc1\\u8592 <}}{\\mpos top}}{\\me " + kY + "}}}}"},
      {0x0e, "{\\mlimLow{\\mlimLowPr }{\\me " + box + "{\\uc1\\u8652\\'3f}}{\\mvertJc bot}}{\\me " + kX +
                 "}}}}}{\\mlim " + kY + "}}"},
      {0x15, box + "{\\uc1\\u10562\\'3f}}{\\mvertJc bot}}{\\me " + kX + "}}}}"},
  };
  for (const Case& c : cases) EXPECT_EQ(officeMath(line({arrow(c.variation)})), c.expected) << c.variation;
}

TEST(OfficeMathWriter, AnEquationThatDrawsNothingGivesNoText) {
  EXPECT_EQ(writers::writeOfficeMathRtf(read(line({})), {}), "");
}

// The MTEF 3 stream: its header states the MTEF length, the version is 3, font records
// come first and END closes the equation.
TEST(Mtef3Writer, StreamLayout) {
  const std::string records = byte(17) + byte(1) + "Courier New" + byte(0) + byte(8) + byte(1) + byte(0) +
                              line({ch(1, 'a'), var('x')});
  for (bool euclid : {false, true}) {
    const std::string native = writers::writeEquationNative(read(records), writers::Mtef3Options{euclid});
    ASSERT_GT(native.size(), 40u);
    EXPECT_EQ(native.substr(0, 6), std::string("\x1c\x00\x00\x00\x02\x00", 6));
    const std::size_t length = static_cast<unsigned char>(native[8]) + 256u * static_cast<unsigned char>(native[9]);
    EXPECT_EQ(length, native.size() - 28);
    EXPECT_EQ(native[28], 3);
    EXPECT_EQ(native.back(), 0);
    const std::string euclidFont = std::string("\x08\x7f\x00", 3) + "Euclid Extra" + '\0';
    EXPECT_EQ(native.find(euclidFont) != std::string::npos, euclid);
    // The explicit font the character uses is named for Equation 3.0.
    EXPECT_NE(native.find(std::string("\x08\x7f\x00", 3) + "Courier New" + '\0'), std::string::npos);
    // What the writer wrote, the reader reads as the same characters.
    const equation::ReadResult again = equation::readEquationNative(native);
    ASSERT_FALSE(again.failed) << again.failure.reason;
    EXPECT_EQ(writers::writeOfficeMathRtf(again.equation, {}), writers::writeOfficeMathRtf(read(records), {}));
  }
}

}  // namespace

namespace {

// 100,000 subscripts in a row, each taking the one before as its base: the text grows in
// proportion to the count, and so does the work (a quadratic writer takes minutes here).
TEST(OfficeMathWriter, LongRunsOfScriptsStayLinear) {
  std::string scripts;
  for (int i = 0; i < 100000; ++i) scripts += tmpl(27, 0, {line({var('i')}), line({})});
  const std::string text = writers::writeOfficeMathRtf(read(line({scripts})), {});
  EXPECT_GT(text.size(), 100000u * 40);
  EXPECT_LT(text.size(), 100000u * 80);
  EXPECT_NE(text.find("{\\msSub{\\msSubPr}{\\me }"), std::string::npos);  // the first has no base
}

}  // namespace
