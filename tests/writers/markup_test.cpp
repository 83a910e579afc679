// The MathML and LaTeX writers, template by template: small MathType 5 equations and the
// key part of each output.
#include <gtest/gtest.h>

#include <string>

#include "support/mtef_builder.h"
#include "writers/latex.h"
#include "writers/mathml.h"

namespace {

using namespace mtef5;

std::string fn(const char* letters) {
  std::string s;
  for (const char* p = letters; *p; ++p) s += ch(kFunction, static_cast<unsigned char>(*p));
  return s;
}
// A character with its embellishment list (types), as MathType writes it.
std::string embellished(char c, std::initializer_list<int> types) {
  std::string s = byte(2) + byte(1) + byte(kVariable) + byte(c) + byte(0);
  for (int type : types) s += byte(6) + byte(0) + byte(type);
  return s + byte(0);
}
// A pile whose lines align at their first relation.
std::string relationalPile(std::initializer_list<std::string> lines) {
  return byte(4) + byte(0) + byte(4) + byte(1) + join(lines) + byte(0);
}
const std::string kEmpty = line({});

struct Case {
  const char* name;
  std::string records;
  const char* mathml;  // a part of the MathML
  const char* latex;   // the whole LaTeX
};

equation::Equation read(const std::string& records) {
  equation::ReadResult result = equation::readEquationNative(equationNative(records));
  EXPECT_FALSE(result.failed) << result.failure.reason;
  return std::move(result.equation);
}

TEST(MarkupWriters, TemplatesBecomeTheirMarkup) {
  const Case cases[] = {
      {"fraction", line({fraction(line({var('a')}), line({num('2')}))}), "<mfrac><mi>a</mi><mn>2</mn></mfrac>",
       R"(\frac{a}{2})"},
      {"root with index", line({tmpl(10, 1, {line({var('x')}), line({num('3')})})}),
       "<mroot><mi>x</mi><mn>3</mn></mroot>", R"(\sqrt[{3}]{x})"},
      {"scripts on a bracketed group",
       line({sym('('), var('a'), sym('+'), var('b'), sym(')'), tmpl(29, 0, {line({var('i')}), line({num('2')})})}),
       R"(<msubsup><mrow><mo stretchy="false">(</mo><mi>a</mi><mo>+</mo><mi>b</mi><mo stretchy="false">)</mo></mrow><mi>i</mi><mn>2</mn></msubsup>)",
       R"({(a+b)}_{i}^{2})"},
      {"script at the start of a line", line({tmpl(27, 0, {line({var('i')}), kEmpty})}), "<msub><mrow/><mi>i</mi></msub>",
       R"({}_{i})"},
      {"sum with limits under and over", line({tmpl(16, 0x70, {line({var('x')}), line({var('i')}), line({var('n')}), sym(0x2211)})}),
       R"(<munderover><mo largeop="true" movablelimits="false">∑</mo><mi>i</mi><mi>n</mi></munderover><mi>x</mi>)",
       R"(\sum\limits_{i}^{n}x)"},
      {"integral with limits beside", line({tmpl(15, 0x30, {line({var('x')}), line({num('0')}), line({num('1')}), sym(0x222B)})}),
       R"(<msubsup><mo largeop="true">∫</mo><mn>0</mn><mn>1</mn></msubsup><mi>x</mi>)", R"(\int\nolimits_{0}^{1}x)"},
      {"parentheses", line({tmpl(1, 3, {line({var('x')}), sym('('), sym(')')})}),
       R"(<mrow><mo fence="true" form="prefix" stretchy="true">(</mo><mi>x</mi><mo fence="true" form="postfix" stretchy="true">)</mo></mrow>)",
       R"(\left(x\right))"},
      {"left fence only", line({tmpl(7, 1, {line({var('x')}), sym(0x2308)})}), "⌈</mo><mi>x</mi></mrow>",
       R"(\left\lceil x\right.)"},
      {"cases", line({tmpl(2, 1, {line({pile({line({num('1')}), line({num('0')})})}), sym('{')})}),
       R"(<mo fence="true" form="prefix" stretchy="true">{</mo><mtable columnalign="left">)",
       R"(\begin{cases}1\\0\end{cases})"},
      {"matrix", line({matrix(2, 2, {line({var('a')}), line({var('b')}), line({var('c')}), line({var('d')})})}),
       R"(<mtable columnalign="center"><mtr><mtd><mi>a</mi></mtd><mtd><mi>b</mi></mtd></mtr>)",
       R"(\begin{matrix}a&b\\c&d\end{matrix})"},
      {"relational pile", relationalPile({line({var('x'), sym('='), num('1')}), line({var('y'), sym(0x2264), num('2')})}),
       R"(<mtable columnalign="right left" columnspacing="0em"><mtr><mtd><mi>x</mi></mtd><mtd><mo>=</mo>)",
       R"(\begin{aligned}x&=1\\y&\leq2\end{aligned})"},
      {"arrow labelled above and below", line({var('a'), tmpl(14, 0x2c, {line({var('k')}), line({var('h')})}), var('b')}),
       R"(<munderover><mo stretchy="true">→</mo><mi>h</mi><mi>k</mi></munderover>)",
       R"(a\overset{k}{\underset{h}{\longrightarrow}}b)"},
      {"labelled equilibrium", line({tmpl(14, 0x06, {line({var('k')}), kEmpty})}), R"(<mover><mo stretchy="true">⇌</mo><mi>k</mi></mover>)",
       R"(\overset{k}{\rightleftharpoons})"},
      {"long division", line({num('4'), tmpl(26, 0, {line({num('8')}), line({num('2')})})}),
       R"(<mover accent="true"><menclose notation="longdiv"><mn>8</mn></menclose><mn>2</mn></mover>)",
       R"(4\begin{array}{r}2\\\left)\overline{8}\right.\end{array})"},
      {"box", line({tmpl(37, 0, {line({var('x')})})}), R"(<menclose notation="box"><mi>x</mi></menclose>)", R"(\boxed{x})"},
      {"brace with a label", line({tmpl(24, 0, {line({var('x')}), line({var('n')})})}), "⏟</mo></munder><mi>n</mi></munder>",
       R"(\underbrace{x}_{n})"},
      {"double overbar", line({tmpl(13, 1, {line({var('x')})})}),
       R"(<mover accent="true"><mover accent="true"><mi>x</mi><mo stretchy="true">¯</mo></mover><mo stretchy="true">¯</mo></mover>)",
       R"(\overline{\overline{x}})"},
      {"marks: primes innermost", line({embellished('x', {2, 5})}),
       R"(<mover accent="true"><msup><mi>x</mi><mo>′</mo></msup><mo>˙</mo></mover>)", R"(\dot{x{'}})"},
      {"marks below and struck through", line({embellished('y', {29, 23})}),
       R"(<menclose notation="downdiagonalstrike"><munder accentunder="true"><mi>y</mi><mo stretchy="true">_</mo></munder></menclose>)",
       R"(\bcancel{\underline{y}})"},
      {"function name and number", line({fn("sin"), num('1'), num('0')}), "<mi>sin</mi><mn>10</mn>", R"(\sin10)"},
      {"other function names stand upright", line({fn("D"), sym('='), fn("if")}),
       R"(<mi mathvariant="normal">D</mi><mo>=</mo><mi>if</mi>)", R"(\mathrm{D}=\mathrm{if})"},
      {"typefaces", line({greek(0x3B1, 'a'), ch(133, 0x393), ch(135, 'v'), sym(0x211D)}),
       R"(<mi>α</mi><mi mathvariant="normal">Γ</mi><mi mathvariant="bold">v</mi><mi>ℝ</mi>)",
       R"(\alpha\Gamma\mathbf{v}\mathbb{R})"},
      {"special characters", line({sym('#'), sym('$'), sym('%'), sym('&'), sym('~'), sym('_'), sym('^'), sym('\\'), sym('{'), sym('}'), sym('<')}),
       "<mo>&amp;</mo><mo>~</mo><mo>_</mo><mo>^</mo><mo>\\</mo>",
       R"(\#\$\%\&\text{\textasciitilde}\_\text{\textasciicircum}\backslash\{\}<)"},
      {"special characters in text", line({ch(kText, '#'), ch(kText, '%'), ch(kText, ' '), ch(kText, '~'), ch(kText, '\\'), ch(kText, 'a')}),
       "<mtext>#%\xC2\xA0~\\a</mtext>", R"(\text{\#\% \textasciitilde\textbackslash a})"},
      {"characters without a command", line({sym(0x2233), ch(kText, 0x3B2)}), "<mo>∳</mo><mtext>β</mtext>",
       R"(\char"2233\beta)"},
  };
  for (const Case& c : cases) {
    const equation::Equation eq = read(c.records);
    EXPECT_NE(writers::writeMathML(eq, true).find(c.mathml), std::string::npos)
        << c.name << "\n" << writers::writeMathML(eq, true);
    EXPECT_EQ(writers::writeLatex(eq), c.latex) << c.name;
  }
}

TEST(MarkupWriters, DisplayOrInlineAndNothingForAnEmptyEquation) {
  const equation::Equation eq = read(line({var('x')}));
  EXPECT_EQ(writers::writeMathML(eq, false), R"(<math xmlns="http://www.w3.org/1998/Math/MathML" display="inline"><mi>x</mi></math>)");
  EXPECT_NE(writers::writeMathML(eq, true).find(R"(display="block")"), std::string::npos);
  EXPECT_EQ(writers::writeLatex(read(kEmpty)), "");
}

// A chain of 100,000 scripts, each on the one before: the writers stay within the stack
// (the deepest scripts lose their base) and every script's content arrives.
TEST(MarkupWriters, LongScriptChainsStayWithinTheStack) {
  std::string chain = var('x');
  for (int i = 0; i < 100000; ++i) chain += tmpl(27, 0, {line({num('1')}), kEmpty});
  const equation::Equation eq = read(line({chain}));
  const std::string mathml = writers::writeMathML(eq, true);
  const std::string latex = writers::writeLatex(eq);
  std::size_t ones = 0;
  for (std::size_t at = latex.find('1'); at != std::string::npos; at = latex.find('1', at + 1)) ++ones;
  EXPECT_EQ(ones, 100000u);
  EXPECT_NE(mathml.find("<msub><mi>x</mi><mn>1</mn></msub>"), std::string::npos);
}

}  // namespace
