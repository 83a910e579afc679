// OMML XML from the Office Math writer's control words: what each form of that text
// becomes in a .docx part.
#include <gtest/gtest.h>

#include <string>

#include "writers/office_math_xml.h"

namespace {

std::string xml(const std::string& body, bool display = false) {
  return writers::officeMathXmlFromRtf("{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath " + body +
                                           "}}\r\n{\\mmathPict}}\r\n",
                                       display);
}

constexpr const char* kFont = "<w:rPr><w:rFonts w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/></w:rPr>";

TEST(OfficeMathXml, ControlWordFormsBecomeOmml) {
  const std::string f = kFont;
  struct Case {
    const char* what;
    std::string rtf;
    std::string expected;  // inside <m:oMath>
  };
  const Case cases[] = {
      {"italic run", "{\\mr\\mscr0\\msty2\\i x}", "<m:r>" + f + "<m:t>x</m:t></m:r>"},
      {"plain and script styles", "{\\mr\\mscr1\\msty0 2}",
       "<m:r><m:rPr><m:scr m:val=\"script\"/><m:sty m:val=\"p\"/></m:rPr>" + f + "<m:t>2</m:t></m:r>"},
      {"unicode escape, its fallback skipped", "{\\mr\\mscr0\\msty2\\i {\\uc1\\u8901\\'3f}}",
       "<m:r>" + f + "<m:t>\xE2\x8B\x85</m:t></m:r>"},
      {"negative unicode and a surrogate pair", "{\\mr\\mscr0\\msty2\\i {\\uc1\\u-10187\\'3f\\u-8695\\'3f}}",
       "<m:r>" + f + "<m:t>\xF0\x9D\x98\x89</m:t></m:r>"},
      {"Greek letter through the font reference", "{\\mr\\mscr0\\msty2\\i \\f382\\'e8}",
       "<m:r>" + f + "<m:t>\xCE\xB8</m:t></m:r>"},
      {"escaped braces and XML characters", "{\\mr\\mscr0\\msty0 \\{<&}",
       "<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr>" + f + "<m:t>{&lt;&amp;</m:t></m:r>"},
      {"spaces kept", "{\\mr\\mscr0\\msty2\\i   }",
       "<m:r>" + f + "<m:t xml:space=\"preserve\">  </m:t></m:r>"},
      {"properties in schema order, ctrlPr last, empty type left out",
       "{\\mnary{\\mnaryPr{\\mctrlPr }{\\mlimLoc undOvr}{\\mchr {\\uc1\\u8721\\'3f}}}{\\msub }{\\msup }{\\me }}",
       "<m:nary><m:naryPr><m:chr m:val=\"\xE2\x88\x91\"/><m:limLoc m:val=\"undOvr\"/><m:ctrlPr><w:rPr><w:rFonts "
       "w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/><w:i/></w:rPr></m:ctrlPr></m:naryPr><m:sub/><m:sup/><m:e/></m:nary>"},
      {"empty delimiter characters stay", "{\\md{\\mdPr{\\mbegChr \\'7b}{\\mendChr }}{\\me }}",
       "<m:d><m:dPr><m:begChr m:val=\"{\"/><m:endChr m:val=\"\"/></m:dPr><m:e/></m:d>"},
      {"text outside runs becomes a run", "{\\mf{\\mfPr{\\mtype }}{\\mnum  x}{\\mden )}}",
       "<m:f><m:fPr></m:fPr><m:num><m:r>" + f + "<m:t xml:space=\"preserve\"> x</m:t></m:r></m:num><m:den><m:r>" + f +
           "<m:t>)</m:t></m:r></m:den></m:f>"},
      {"symbol field", "{\\mr\\mscr0\\msty2\\i {\\field{\\*\\fldinst SYMBOL 97 \\\\f \"Euclid Math One\"}{\\fldrslt }}}",
       "<m:r>" + f + "<w:sym w:font=\"Euclid Math One\" w:char=\"F061\"/></m:r>"},
      {"a style word after the text still styles the run", "{\\mr x\\msty0 }",
       "<m:r><m:rPr><m:sty m:val=\"p\"/></m:rPr>" + f + "<m:t>x</m:t></m:r>"},
      {"property children in schema order at every depth",
       "{\\mm{\\mmPr{\\mmcs{\\mmc{\\mmcPr{\\mmcJc center}{\\mcount 2}}}}{\\mbaseJc top}}{\\mmr{\\me x}}}",
       "<m:m><m:mPr><m:baseJc m:val=\"top\"/><m:mcs><m:mc><m:mcPr><m:count m:val=\"2\"/><m:mcJc m:val=\"center\"/>"
       "</m:mcPr></m:mc></m:mcs></m:mPr><m:mr><m:e><m:r>" + f + "<m:t>x</m:t></m:r></m:e></m:mr></m:m>"},
      {"loose text before and after an element makes two runs", "{\\mnum a{\\msSub{\\me b}{\\msub c}}d}",
       "<m:num><m:r>" + f + "<m:t>a</m:t></m:r><m:sSub><m:e><m:r>" + f + "<m:t>b</m:t></m:r></m:e><m:sub><m:r>" + f +
           "<m:t>c</m:t></m:r></m:sub></m:sSub><m:r>" + f + "<m:t>d</m:t></m:r></m:num>"},
      {"a symbol without a font name writes nothing but splits the text",
       "{\\mr a{\\field{\\*\\fldinst SYMBOL 97 \\\\f \"\"}{\\fldrslt }}b}{\\field{\\*\\fldinst SYMBOL 97 \\\\f \"\"}{\\fldrslt }}",
       "<m:r>" + f + "<m:t>a</m:t><m:t>b</m:t></m:r><m:r>" + f + "</m:r>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(xml(c.rtf), "<m:oMath>" + c.expected + "</m:oMath>");
  }
}

TEST(OfficeMathXml, DisplayAndUnreadableText) {
  EXPECT_EQ(xml("{\\mr\\mscr0\\msty2\\i x}", true),
            std::string("<m:oMathPara><m:oMath><m:r>") + kFont + "<m:t>x</m:t></m:r></m:oMath></m:oMathPara>");
  EXPECT_EQ(writers::officeMathXmlFromRtf("{\\dn0\\mmath{\\*\\moMath {\\mr x}", false), "");
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "{\\me ";
  EXPECT_EQ(writers::officeMathXmlFromRtf("{\\mmath{\\moMath " + deep + std::string(10002, '}'), false), "");
}

}  // namespace
