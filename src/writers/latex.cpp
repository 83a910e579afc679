// The LaTeX writer: prints the equation's layout as an amsmath formula. Templates become
// \frac, \sqrt, scripts, \sum\limits_{}^{} and its kin, \overset/\underset around
// labelled arrows, accents, \overbrace/\underbrace, \left...\right fences, and the
// aligned, cases, matrix and array environments; typefaces become \mathrm, \mathbf,
// \mathbb, \mathfrak and \mathcal.
//
// Characters: ASCII letters, digits and punctuation stand as themselves and the ten
// special characters are escaped; other characters are written as their command, as text
// when they are letters of a script, and as \char"XXXX otherwise, so that no character
// is lost and nothing stands in the formula that KaTeX would refuse.
#include "writers/latex.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "platform/unicode.h"
#include "writers/math_layout.h"

namespace writers {
namespace {

using layout::Box;
using layout::Shape;
using layout::Token;
using layout::Variant;

struct Command {
  char32_t code;
  const char* latex;
};

// Sorted by code.
constexpr Command kCommands[] = {
    {0x27, "{'}"},  // an apostrophe is a prime too
    {0x00A0, "~"}, {0x00A8, "\\ddot{}"}, {0x00AC, "\\neg"}, {0x00AF, "\\bar{}"}, {0x00B0, "{}^{\\circ}"},
    {0x00B1, "\\pm"}, {0x00B4, "\\acute{}"}, {0x00B7, "\\cdot"}, {0x00D7, "\\times"},
    {0x00F0, "\\eth"}, {0x00F7, "\\div"}, {0x0131, "\\imath"}, {0x0237, "\\jmath"},
    {0x02C6, "\\hat{}"}, {0x02C7, "\\check{}"}, {0x02D8, "\\breve{}"}, {0x02D9, "\\dot{}"},
    {0x02DA, "\\mathring{}"}, {0x02DC, "\\tilde{}"},
    {0x0391, "\\mathrm{A}"}, {0x0392, "\\mathrm{B}"}, {0x0393, "\\Gamma"}, {0x0394, "\\Delta"},
    {0x0395, "\\mathrm{E}"}, {0x0396, "\\mathrm{Z}"}, {0x0397, "\\mathrm{H}"}, {0x0398, "\\Theta"},
    {0x0399, "\\mathrm{I}"}, {0x039A, "\\mathrm{K}"}, {0x039B, "\\Lambda"}, {0x039C, "\\mathrm{M}"},
    {0x039D, "\\mathrm{N}"}, {0x039E, "\\Xi"}, {0x039F, "\\mathrm{O}"}, {0x03A0, "\\Pi"},
    {0x03A1, "\\mathrm{P}"}, {0x03A3, "\\Sigma"}, {0x03A4, "\\mathrm{T}"}, {0x03A5, "\\Upsilon"},
    {0x03A6, "\\Phi"}, {0x03A7, "\\mathrm{X}"}, {0x03A8, "\\Psi"}, {0x03A9, "\\Omega"},
    {0x03B1, "\\alpha"}, {0x03B2, "\\beta"}, {0x03B3, "\\gamma"}, {0x03B4, "\\delta"},
    {0x03B5, "\\varepsilon"}, {0x03B6, "\\zeta"}, {0x03B7, "\\eta"}, {0x03B8, "\\theta"},
    {0x03B9, "\\iota"}, {0x03BA, "\\kappa"}, {0x03BB, "\\lambda"}, {0x03BC, "\\mu"},
    {0x03BD, "\\nu"}, {0x03BE, "\\xi"}, {0x03BF, "o"}, {0x03C0, "\\pi"},
    {0x03C1, "\\rho"}, {0x03C2, "\\varsigma"}, {0x03C3, "\\sigma"}, {0x03C4, "\\tau"},
    {0x03C5, "\\upsilon"}, {0x03C6, "\\varphi"}, {0x03C7, "\\chi"}, {0x03C8, "\\psi"},
    {0x03C9, "\\omega"}, {0x03D1, "\\vartheta"}, {0x03D2, "\\Upsilon"}, {0x03D5, "\\phi"},
    {0x03D6, "\\varpi"}, {0x03DD, "\\digamma"}, {0x03F0, "\\varkappa"}, {0x03F1, "\\varrho"},
    {0x03F5, "\\epsilon"}, {0x03F6, "\\backepsilon"},
    {0x2016, "\\|"}, {0x2020, "\\dagger"}, {0x2021, "\\ddagger"}, {0x2022, "\\bullet"},
    {0x2026, "\\ldots"}, {0x2032, "{'}"}, {0x2033, "{''}"}, {0x2034, "{'''}"}, {0x2035, "\\backprime"},
    {0x2102, "\\mathbb{C}"}, {0x210D, "\\mathbb{H}"}, {0x210F, "\\hbar"}, {0x2111, "\\Im"},
    {0x2113, "\\ell"}, {0x2115, "\\mathbb{N}"}, {0x2118, "\\wp"}, {0x2119, "\\mathbb{P}"},
    {0x211A, "\\mathbb{Q}"}, {0x211C, "\\Re"}, {0x211D, "\\mathbb{R}"}, {0x2124, "\\mathbb{Z}"},
    {0x2127, "\\mho"}, {0x212B, "\\mathring{\\mathrm{A}}"}, {0x2135, "\\aleph"}, {0x2136, "\\beth"},
    {0x2137, "\\gimel"}, {0x2138, "\\daleth"}, {0x2141, "\\Game"},
    {0x2190, "\\leftarrow"}, {0x2191, "\\uparrow"}, {0x2192, "\\rightarrow"}, {0x2193, "\\downarrow"},
    {0x2194, "\\leftrightarrow"}, {0x2195, "\\updownarrow"}, {0x2196, "\\nwarrow"}, {0x2197, "\\nearrow"},
    {0x2198, "\\searrow"}, {0x2199, "\\swarrow"}, {0x219E, "\\twoheadleftarrow"},
    {0x21A0, "\\twoheadrightarrow"}, {0x21A6, "\\mapsto"}, {0x21A9, "\\hookleftarrow"},
    {0x21AA, "\\hookrightarrow"}, {0x21BA, "\\circlearrowleft"}, {0x21BB, "\\circlearrowright"},
    {0x21BC, "\\leftharpoonup"}, {0x21BD, "\\leftharpoondown"}, {0x21BE, "\\upharpoonright"},
    {0x21BF, "\\upharpoonleft"}, {0x21C0, "\\rightharpoonup"}, {0x21C1, "\\rightharpoondown"},
    {0x21C4, "\\rightleftarrows"}, {0x21C6, "\\leftrightarrows"}, {0x21CB, "\\leftrightharpoons"},
    {0x21CC, "\\rightleftharpoons"}, {0x21D0, "\\Leftarrow"}, {0x21D1, "\\Uparrow"},
    {0x21D2, "\\Rightarrow"}, {0x21D3, "\\Downarrow"}, {0x21D4, "\\Leftrightarrow"},
    {0x21D5, "\\Updownarrow"}, {0x21E0, "\\dashleftarrow"}, {0x21E2, "\\dashrightarrow"},
    {0x2200, "\\forall"}, {0x2201, "\\complement"}, {0x2202, "\\partial"}, {0x2203, "\\exists"},
    {0x2204, "\\nexists"}, {0x2205, "\\emptyset"}, {0x2206, "\\Delta"}, {0x2207, "\\nabla"},
    {0x2208, "\\in"}, {0x2209, "\\notin"}, {0x220B, "\\ni"}, {0x220F, "\\prod"}, {0x2210, "\\coprod"},
    {0x2211, "\\sum"}, {0x2212, "-"}, {0x2213, "\\mp"}, {0x2214, "\\dotplus"}, {0x2215, "/"},
    {0x2216, "\\setminus"}, {0x2217, "\\ast"}, {0x2218, "\\circ"}, {0x2219, "\\bullet"},
    {0x221A, "\\surd"}, {0x221D, "\\propto"}, {0x221E, "\\infty"}, {0x2220, "\\angle"},
    {0x2221, "\\measuredangle"}, {0x2222, "\\sphericalangle"}, {0x2223, "\\mid"}, {0x2224, "\\nmid"},
    {0x2225, "\\parallel"}, {0x2226, "\\nparallel"}, {0x2227, "\\wedge"}, {0x2228, "\\vee"},
    {0x2229, "\\cap"}, {0x222A, "\\cup"}, {0x222B, "\\int"}, {0x222C, "\\iint"}, {0x222D, "\\iiint"},
    {0x222E, "\\oint"}, {0x222F, "\\oiint"}, {0x2230, "\\oiiint"}, {0x2234, "\\therefore"},
    {0x2235, "\\because"}, {0x2236, ":"}, {0x223C, "\\sim"}, {0x223D, "\\backsim"}, {0x2240, "\\wr"},
    {0x2241, "\\nsim"}, {0x2243, "\\simeq"}, {0x2245, "\\cong"}, {0x2247, "\\ncong"},
    {0x2248, "\\approx"}, {0x224A, "\\approxeq"}, {0x224D, "\\asymp"}, {0x224E, "\\Bumpeq"},
    {0x224F, "\\bumpeq"}, {0x2250, "\\doteq"}, {0x2251, "\\doteqdot"}, {0x2252, "\\fallingdotseq"},
    {0x2253, "\\risingdotseq"}, {0x2256, "\\eqcirc"}, {0x2257, "\\circeq"},
    {0x2259, "\\overset{\\wedge}{=}"}, {0x225C, "\\triangleq"}, {0x2260, "\\neq"},
    {0x2261, "\\equiv"}, {0x2264, "\\leq"}, {0x2265, "\\geq"}, {0x2266, "\\leqq"}, {0x2267, "\\geqq"},
    {0x2268, "\\lneqq"}, {0x2269, "\\gneqq"}, {0x226A, "\\ll"}, {0x226B, "\\gg"}, {0x226C, "\\between"},
    {0x226E, "\\nless"}, {0x226F, "\\ngtr"}, {0x2270, "\\nleq"}, {0x2271, "\\ngeq"},
    {0x2272, "\\lesssim"}, {0x2273, "\\gtrsim"}, {0x2276, "\\lessgtr"}, {0x2277, "\\gtrless"},
    {0x227A, "\\prec"}, {0x227B, "\\succ"}, {0x227C, "\\preccurlyeq"}, {0x227D, "\\succcurlyeq"},
    {0x227E, "\\precsim"}, {0x227F, "\\succsim"}, {0x2280, "\\nprec"}, {0x2281, "\\nsucc"},
    {0x2282, "\\subset"}, {0x2283, "\\supset"}, {0x2284, "\\not\\subset"}, {0x2285, "\\not\\supset"},
    {0x2286, "\\subseteq"}, {0x2287, "\\supseteq"}, {0x2288, "\\nsubseteq"}, {0x2289, "\\nsupseteq"},
    {0x228A, "\\subsetneq"}, {0x228B, "\\supsetneq"}, {0x228E, "\\uplus"}, {0x228F, "\\sqsubset"},
    {0x2290, "\\sqsupset"}, {0x2291, "\\sqsubseteq"}, {0x2292, "\\sqsupseteq"}, {0x2293, "\\sqcap"},
    {0x2294, "\\sqcup"}, {0x2295, "\\oplus"}, {0x2296, "\\ominus"}, {0x2297, "\\otimes"},
    {0x2298, "\\oslash"}, {0x2299, "\\odot"}, {0x229A, "\\circledcirc"}, {0x229B, "\\circledast"},
    {0x229D, "\\circleddash"}, {0x229E, "\\boxplus"}, {0x229F, "\\boxminus"}, {0x22A0, "\\boxtimes"},
    {0x22A1, "\\boxdot"}, {0x22A2, "\\vdash"}, {0x22A3, "\\dashv"}, {0x22A4, "\\top"},
    {0x22A5, "\\perp"}, {0x22A7, "\\models"}, {0x22A8, "\\vDash"}, {0x22A9, "\\Vdash"},
    {0x22AA, "\\Vvdash"}, {0x22B2, "\\lhd"}, {0x22B3, "\\rhd"}, {0x22B4, "\\unlhd"},
    {0x22B5, "\\unrhd"}, {0x22B8, "\\multimap"}, {0x22BA, "\\intercal"}, {0x22BB, "\\veebar"},
    {0x22C0, "\\bigwedge"}, {0x22C1, "\\bigvee"}, {0x22C2, "\\bigcap"}, {0x22C3, "\\bigcup"},
    {0x22C4, "\\diamond"}, {0x22C5, "\\cdot"}, {0x22C6, "\\star"}, {0x22C8, "\\bowtie"},
    {0x22C9, "\\ltimes"}, {0x22CA, "\\rtimes"}, {0x22CB, "\\leftthreetimes"},
    {0x22CC, "\\rightthreetimes"}, {0x22CD, "\\backsimeq"}, {0x22CE, "\\curlyvee"},
    {0x22CF, "\\curlywedge"}, {0x22D0, "\\Subset"}, {0x22D1, "\\Supset"}, {0x22D2, "\\Cap"},
    {0x22D3, "\\Cup"}, {0x22D4, "\\pitchfork"}, {0x22D6, "\\lessdot"}, {0x22D7, "\\gtrdot"},
    {0x22D8, "\\lll"}, {0x22D9, "\\ggg"}, {0x22DA, "\\lesseqgtr"}, {0x22DB, "\\gtreqless"},
    {0x22DE, "\\curlyeqprec"}, {0x22DF, "\\curlyeqsucc"}, {0x22E0, "\\npreceq"}, {0x22E1, "\\nsucceq"},
    {0x22E6, "\\lnsim"}, {0x22E7, "\\gnsim"}, {0x22E8, "\\precnsim"}, {0x22E9, "\\succnsim"},
    {0x22EA, "\\ntriangleleft"}, {0x22EB, "\\ntriangleright"}, {0x22EC, "\\ntrianglelefteq"},
    {0x22ED, "\\ntrianglerighteq"}, {0x22EE, "\\vdots"}, {0x22EF, "\\cdots"}, {0x22F1, "\\ddots"},
    {0x2308, "\\lceil"}, {0x2309, "\\rceil"}, {0x230A, "\\lfloor"}, {0x230B, "\\rfloor"},
    {0x2322, "\\frown"}, {0x2323, "\\smile"}, {0x2329, "\\langle"}, {0x232A, "\\rangle"},
    {0x25A0, "\\blacksquare"}, {0x25A1, "\\square"}, {0x25B3, "\\triangle"}, {0x25BD, "\\triangledown"},
    {0x25CA, "\\lozenge"}, {0x25CB, "\\bigcirc"}, {0x25EF, "\\bigcirc"}, {0x25FB, "\\square"},
    {0x25FC, "\\blacksquare"}, {0x2660, "\\spadesuit"}, {0x2661, "\\heartsuit"}, {0x2662, "\\diamondsuit"},
    {0x2663, "\\clubsuit"}, {0x2665, "\\heartsuit"}, {0x2666, "\\diamondsuit"}, {0x266D, "\\flat"},
    {0x266E, "\\natural"}, {0x266F, "\\sharp"}, {0x2713, "\\checkmark"}, {0x27E6, "\\llbracket"},
    {0x27E7, "\\rrbracket"}, {0x27E8, "\\langle"}, {0x27E9, "\\rangle"}, {0x27F5, "\\longleftarrow"},
    {0x27F6, "\\longrightarrow"}, {0x27F7, "\\longleftrightarrow"}, {0x27F8, "\\Longleftarrow"},
    {0x27F9, "\\Longrightarrow"}, {0x27FA, "\\Longleftrightarrow"}, {0x27FC, "\\longmapsto"},
    {0x2A00, "\\bigodot"}, {0x2A01, "\\bigoplus"}, {0x2A02, "\\bigotimes"}, {0x2A04, "\\biguplus"},
    {0x2A06, "\\bigsqcup"}, {0x2A7D, "\\leqslant"}, {0x2A7E, "\\geqslant"}, {0x2A85, "\\lessapprox"},
    {0x2A86, "\\gtrapprox"}, {0x2A87, "\\lneq"}, {0x2A88, "\\gneq"}, {0x2A89, "\\lnapprox"},
    {0x2A8A, "\\gnapprox"}, {0x2A8B, "\\lesseqqgtr"}, {0x2A8C, "\\gtreqqless"}, {0x2A95, "\\eqslantless"},
    {0x2A96, "\\eqslantgtr"}, {0x2AAF, "\\preceq"}, {0x2AB0, "\\succeq"}, {0x2AB5, "\\precneqq"},
    {0x2AB6, "\\succneqq"}, {0x2AB7, "\\precapprox"}, {0x2AB8, "\\succapprox"}, {0x2AB9, "\\precnapprox"},
    {0x2ABA, "\\succnapprox"}, {0x2AC5, "\\subseteqq"}, {0x2AC6, "\\supseteqq"}, {0x2ACB, "\\subsetneqq"},
    {0x2ACC, "\\supsetneqq"},
};

const char* command(char32_t c) {
  const auto* end = std::end(kCommands);
  const auto* it = std::lower_bound(std::begin(kCommands), end, c,
                                    [](const Command& entry, char32_t code) { return entry.code < code; });
  return it != end && it->code == c ? it->latex : nullptr;
}

// Letters of the scripts KaTeX sets as text: Latin beyond ASCII and Cyrillic.
bool isScriptLetter(char32_t c) {
  return (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7) || (c >= 0x400 && c <= 0x4FF);
}

void appendHexChar(std::string& out, char32_t c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\char\"%X", static_cast<unsigned>(c));
  out += buffer;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// True when `out` ends with a control word (a backslash and letters): a letter written
// next would become part of its name.
bool endsWithControlWord(const std::string& out) {
  std::size_t i = out.size();
  while (i > 0 && isLetter(out[i - 1])) --i;
  if (i == out.size() || i == 0 || out[i - 1] != '\\') return false;
  std::size_t slashes = 0;
  for (std::size_t j = i; j > 0 && out[j - 1] == '\\'; --j) ++slashes;
  return slashes % 2 == 1;
}

// A character in math mode.
std::string mathChar(char32_t c) {
  switch (c) {
    case '#': return "\\#";
    case '$': return "\\$";
    case '%': return "\\%";
    case '&': return "\\&";
    case '_': return "\\_";
    case '{': return "\\{";
    case '}': return "\\}";
    case '\\': return "\\backslash";
    case '~': return "\\text{\\textasciitilde}";
    case '^': return "\\text{\\textasciicircum}";
    default: break;
  }
  if (c > 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  if (const char* latex = command(c)) return latex;
  std::string out;
  if (isScriptLetter(c)) {
    out = "\\text{";
    platform::appendUtf8(out, c);
    out += '}';
  } else {
    appendHexChar(out, c);
  }
  return out;
}

// The big operators with a command of their own.
const char* bigOperatorCommand(char32_t c) {
  switch (c) {
    case 0x2211: case 0x220F: case 0x2210: case 0x22C2: case 0x22C3: case 0x222B: case 0x222C:
    case 0x222D: case 0x222E: case 0x222F: case 0x2230: case 0x22C0: case 0x22C1: case 0x2A00:
    case 0x2A01: case 0x2A02: case 0x2A04: case 0x2A06:
      return command(c);
    default:
      return nullptr;
  }
}

// Function names with a command of their own (\sin ...); those that take limits below.
bool knownFunction(const std::string& name, bool& takesLimits) {
  static constexpr std::string_view kLimits[] = {"det", "gcd", "inf", "lim", "liminf", "limsup", "max", "min", "Pr", "sup"};
  static constexpr std::string_view kPlain[] = {"arccos", "arcsin", "arctan", "arg", "cos", "cosh", "cot", "coth",
                                                "csc", "deg", "dim", "exp", "hom", "ker", "lg", "ln", "log",
                                                "sec", "sin", "sinh", "tan", "tanh"};
  takesLimits = std::find(std::begin(kLimits), std::end(kLimits), name) != std::end(kLimits);
  return takesLimits || std::find(std::begin(kPlain), std::end(kPlain), name) != std::end(kPlain);
}

bool isEmpty(const Box& box) { return box.shape == Shape::Row && box.parts.empty(); }

// Whether a table draws any partition line.
bool ruled(const Box& table) {
  auto drawn = [](layout::Rule r) { return r != layout::Rule::None; };
  return std::any_of(table.rowRules.begin(), table.rowRules.end(), drawn) ||
         std::any_of(table.columnRules.begin(), table.columnRules.end(), drawn);
}

bool isAsciiAlnum(const std::u32string& text) {
  return std::all_of(text.begin(), text.end(), [](char32_t c) {
    return (c >= '0' && c <= '9') || (c < 0x80 && isLetter(static_cast<char>(c)));
  });
}

// The delimiter \left or \right takes for a fence character; null when it takes none.
const char* delimiter(char32_t c) {
  switch (c) {
    case '(': return "(";
    case ')': return ")";
    case '[': return "[";
    case ']': return "]";
    case '{': return "\\{";
    case '}': return "\\}";
    case '|': return "|";
    case 0x2016: return "\\|";
    case 0x27E8: return "\\langle";
    case 0x27E9: return "\\rangle";
    case 0x230A: return "\\lfloor";
    case 0x230B: return "\\rfloor";
    case 0x2308: return "\\lceil";
    case 0x2309: return "\\rceil";
    default: return nullptr;
  }
}

class Writer {
 public:
  std::string out;

  // Appends LaTeX text; a space keeps a control word from running into a letter (or an
  // @, which KaTeX reads as part of a name).
  void emit(std::string_view text) {
    if (text.empty()) return;
    if ((isLetter(text.front()) || text.front() == '@') && endsWithControlWord(out)) out += ' ';
    out += text;
  }

  void row(const Box& box) {
    if (box.shape != Shape::Row) return element(box);
    for (const Box& part : box.parts) row(part);
  }

 private:
  // {content}
  void group(const Box& box) {
    out += '{';
    row(box);
    out += '}';
  }
  void command(std::string_view name, const Box& box) {
    emit(name);
    group(box);
  }

  // The base of a script: a single symbol or a closed construct as it is, anything else
  // in braces (so that scripts never double and cover the whole base).
  void base(const Box& box) {
    const Box* b = &box;
    while (b->shape == Shape::Row && b->parts.size() == 1) b = &b->parts[0];
    const bool single = (b->shape == Shape::Token && b->text.size() == 1 && b->token != Token::Space) ||
                        b->shape == Shape::Fence || b->shape == Shape::Root || b->shape == Shape::Fraction ||
                        (b->shape == Shape::Accent && b->mark != layout::Mark::Prime) ||
                        b->shape == Shape::Enclose;
    if (single) {
      element(*b);
    } else {
      group(*b);
    }
  }

  void scripts(const Box& lower, const Box& upper, bool hasLower, bool hasUpper) {
    if (hasLower) {
      out += '_';
      group(lower);
    }
    if (hasUpper) {
      out += '^';
      group(upper);
    }
  }

  void token(const Box& box) {
    switch (box.token) {
      case Token::Space: {
        static const char* const kSpaces[] = {"{}", "\\,", "\\:", "\\;", "\\quad"};
        emit(kSpaces[static_cast<int>(box.space)]);
        return;
      }
      case Token::Text: return text(box);
      case Token::Function: {
        std::string name;
        for (char32_t c : box.text) platform::appendUtf8(name, c);
        bool limits = false;
        if (isAsciiAlnum(box.text) && knownFunction(name, limits)) {
          emit("\\" + name);
        } else {
          // Other names stand upright, as MathType sets them, without operator spacing.
          emit("\\mathrm{");
          for (char32_t c : box.text) emit(mathChar(c));
          out += '}';
        }
        return;
      }
      default: break;
    }
    std::string chars;
    for (char32_t c : box.text) {
      std::string piece = mathChar(c);
      if (!piece.empty() && (isLetter(piece.front()) || piece.front() == '@') && endsWithControlWord(chars)) chars += ' ';
      chars += piece;
    }
    const bool ascii = isAsciiAlnum(box.text);
    const char* wrapper = nullptr;
    switch (box.variant) {
      case Variant::Italic: break;
      case Variant::Normal:
        if (box.token == Token::Identifier && ascii) wrapper = "\\mathrm{";
        break;
      case Variant::Bold: wrapper = ascii ? "\\mathbf{" : "\\boldsymbol{"; break;
      case Variant::BoldItalic: wrapper = "\\boldsymbol{"; break;
      case Variant::DoubleStruck: wrapper = ascii ? "\\mathbb{" : nullptr; break;
      case Variant::Fraktur: wrapper = ascii ? "\\mathfrak{" : nullptr; break;
      case Variant::BoldFraktur: wrapper = ascii ? "\\boldsymbol{\\mathfrak{" : "\\boldsymbol{"; break;
      case Variant::Script: wrapper = ascii ? "\\mathcal{" : nullptr; break;
      case Variant::BoldScript: wrapper = ascii ? "\\boldsymbol{\\mathcal{" : "\\boldsymbol{"; break;
    }
    if (!wrapper) return emit(chars);
    emit(wrapper);
    out += chars;
    for (const char* p = wrapper; *p; ++p)
      if (*p == '{') out += '}';
  }

  // A text run: ASCII and script letters inside \text, everything else as math between.
  void text(const Box& box) {
    const char* wrapper = box.variant == Variant::Bold         ? "\\textbf{"
                          : box.variant == Variant::Italic     ? "\\textit{"
                          : box.variant == Variant::BoldItalic ? "\\textbf{\\textit{"
                                                               : "\\text{";
    const int closers = box.variant == Variant::BoldItalic ? 2 : 1;
    bool inText = false;
    char32_t previous = 0;
    for (char32_t c : box.text) {
      const bool textual = (c >= 0x20 && c < 0x7F) || isScriptLetter(c);
      if (textual != inText) {
        if (inText) {
          out.append(static_cast<std::size_t>(closers), '}');
        } else {
          emit(wrapper);
        }
        inText = textual;
      }
      if (!textual) {
        emit(mathChar(c));
        previous = c;
        continue;
      }
      switch (c) {
        case '#': case '$': case '%': case '&': case '_': case '{': case '}':
          out += '\\';
          out += static_cast<char>(c);
          break;
        case '\\': emit("\\textbackslash"); break;
        case '~': emit("\\textasciitilde"); break;
        case '^': emit("\\textasciicircum"); break;
        case ' ':
          // A space after a control word would be taken as its end; more than one collapse.
          out += previous == ' ' || endsWithControlWord(out) ? "\\ " : " ";
          break;
        default:
          if (c < 0x80) {
            emit(std::string(1, static_cast<char>(c)));
          } else {
            platform::appendUtf8(out, c);
          }
      }
      previous = c;
    }
    if (inText) out.append(static_cast<std::size_t>(closers), '}');
  }

  void element(const Box& box) {
    switch (box.shape) {
      case Shape::Token: return token(box);
      case Shape::Row: return group(box);
      case Shape::Fraction: return fraction(box);
      case Shape::Root:
        emit("\\sqrt");
        if (!isEmpty(box.parts[1])) {
          out += "[{";
          row(box.parts[1]);
          out += "}]";
        }
        return group(box.parts[0]);
      case Shape::Scripts:
        if (box.before) {
          out += "{}";
        } else {
          base(box.parts[0]);
        }
        return scripts(box.parts[1], box.parts[2], box.lower, box.upper);
      case Shape::BigOperator: return bigOperator(box);
      case Shape::Limit: return limit(box);
      case Shape::Arrow: return arrow(box);
      case Shape::Accent: return accent(box);
      case Shape::Brace:
        command(box.below ? "\\underbrace" : "\\overbrace", box.parts[0]);
        if (!isEmpty(box.parts[1])) {
          out += box.below ? "_" : "^";
          group(box.parts[1]);
        }
        return;
      case Shape::Fence: return fence(box);
      case Shape::Table: return table(box);
      case Shape::Enclose: return enclose(box);
      case Shape::LongDivision:
        if (isEmpty(box.parts[1])) {
          emit("\\left)\\overline");
          group(box.parts[0]);
          emit("\\right.");
          return;
        }
        emit("\\begin{array}{r}");
        row(box.parts[1]);
        emit("\\\\\\left)\\overline");
        group(box.parts[0]);
        emit("\\right.\\end{array}");
        return;
    }
  }

  void fraction(const Box& box) {
    switch (box.fraction) {
      case layout::Fraction::Bar: case layout::Fraction::Small:
        emit(box.fraction == layout::Fraction::Bar ? "\\frac" : "\\tfrac");
        group(box.parts[0]);
        group(box.parts[1]);
        return;
      case layout::Fraction::Skewed:
        out += "{}^";
        group(box.parts[0]);
        out += "/_";
        group(box.parts[1]);
        return;
      case layout::Fraction::Linear:
        group(box.parts[0]);
        out += '/';
        group(box.parts[1]);
        return;
    }
  }

  void bigOperator(const Box& box) {
    const Box& op = box.parts[0];
    const Box* single = op.parts.size() == 1 ? &op.parts[0] : nullptr;
    const char* known = single && single->shape == Shape::Token && single->token == Token::Operator &&
                                single->text.size() == 1
                            ? bigOperatorCommand(single->text[0])
                            : nullptr;
    if (known) {
      emit(known);
    } else {
      command("\\mathop", op);
    }
    if (box.lower || box.upper) emit(box.underOver ? "\\limits" : "\\nolimits");
    scripts(box.parts[1], box.parts[2], box.lower, box.upper);
  }

  void limit(const Box& box) {
    const Box& main = box.parts[0];
    const Box* single = main.parts.size() == 1 ? &main.parts[0] : nullptr;
    std::string name;
    bool limits = false;
    if (single && single->shape == Shape::Token && single->token == Token::Function && isAsciiAlnum(single->text)) {
      for (char32_t c : single->text) name += static_cast<char>(c);
      if (!knownFunction(name, limits)) limits = false;
    }
    if (limits) {
      emit("\\" + name);
    } else {
      command("\\mathop", main);
    }
    if (box.lower || box.upper) emit("\\limits");
    scripts(box.parts[1], box.parts[2], box.lower, box.upper);
  }

  void arrow(const Box& box) {
    const char* arrow;
    switch (box.code) {
      case 0x2192: arrow = "\\longrightarrow"; break;
      case 0x2190: arrow = "\\longleftarrow"; break;
      case 0x2194: arrow = "\\longleftrightarrow"; break;
      case 0x21CC: arrow = "\\rightleftharpoons"; break;
      case 0x2942: arrow = "\\mathrel{\\substack{\\longrightarrow\\\\\\leftarrow}}"; break;
      case 0x2944: arrow = "\\mathrel{\\substack{\\rightarrow\\\\\\longleftarrow}}"; break;
      default: arrow = "\\rightleftarrows"; break;
    }
    // \overset{upper}{\underset{lower}{arrow}}
    if (box.upper) {
      emit("\\overset");
      group(box.parts[0]);
      out += '{';
    }
    if (box.lower) {
      emit("\\underset");
      group(box.parts[1]);
      out += '{';
    }
    emit(arrow);
    if (box.lower) out += '}';
    if (box.upper) out += '}';
  }

  // Whether the base of an accent is one symbol: the narrow accents fit it.
  static bool narrow(const Box& box) {
    const Box* b = &box;
    while (b->shape == Shape::Row && b->parts.size() == 1) b = &b->parts[0];
    return b->shape == Shape::Token && b->text.size() == 1;
  }

  void accent(const Box& box) {
    using layout::Mark;
    const Box& content = box.parts[0];
    if (box.mark == Mark::Prime) {
      base(content);
      const bool plain = box.text.find(0x2035) == std::u32string::npos;
      // Primes stand in a group of their own: after a superscript they would be a second one.
      out += plain ? "{" : "^{";
      for (char32_t c : box.text) {
        if (plain) {
          out += c == 0x2033 ? "''" : c == 0x2034 ? "'''" : "'";
        } else {
          emit(c == 0x2035 ? "\\backprime" : c == 0x2033 ? "\\prime\\prime" : c == 0x2034 ? "\\prime\\prime\\prime" : "\\prime");
        }
      }
      out += '}';
      return;
    }
    const bool one = narrow(content);
    const char* above = nullptr;
    const char* stacked = nullptr;  // a symbol set over or under the content
    if (!box.below) {
      switch (box.mark) {
        case Mark::Dot: above = "\\dot"; break;
        case Mark::DoubleDot: above = "\\ddot"; break;
        case Mark::TripleDot: stacked = "\\cdot\\cdot\\cdot"; break;
        case Mark::QuadrupleDot: stacked = "\\cdot\\cdot\\cdot\\cdot"; break;
        case Mark::Tilde: above = one ? "\\tilde" : "\\widetilde"; break;
        case Mark::Hat: above = one ? "\\hat" : "\\widehat"; break;
        case Mark::Bar: above = one ? "\\bar" : "\\overline"; break;
        case Mark::DoubleBar: above = "\\overline"; break;
        case Mark::RightArrow: above = one ? "\\vec" : "\\overrightarrow"; break;
        case Mark::LeftArrow: above = "\\overleftarrow"; break;
        case Mark::BothArrow: above = "\\overleftrightarrow"; break;
        case Mark::RightHarpoon: above = "\\overrightharpoon"; break;
        case Mark::LeftHarpoon: above = "\\overleftharpoon"; break;
        case Mark::Frown: stacked = "\\frown"; break;
        case Mark::Smile: stacked = "\\smile"; break;
        default: above = "\\overgroup"; break;
      }
    } else {
      switch (box.mark) {
        case Mark::Dot: stacked = "\\cdot"; break;
        case Mark::DoubleDot: stacked = "\\cdot\\cdot"; break;
        case Mark::TripleDot: stacked = "\\cdot\\cdot\\cdot"; break;
        case Mark::QuadrupleDot: stacked = "\\cdot\\cdot\\cdot\\cdot"; break;
        case Mark::Tilde: above = "\\utilde"; break;
        case Mark::Bar: case Mark::DoubleBar: above = "\\underline"; break;
        case Mark::RightArrow: above = "\\underrightarrow"; break;
        case Mark::LeftArrow: above = "\\underleftarrow"; break;
        case Mark::BothArrow: above = "\\underleftrightarrow"; break;
        case Mark::RightHarpoon: stacked = "\\rightharpoonup"; break;
        case Mark::LeftHarpoon: stacked = "\\leftharpoondown"; break;
        case Mark::Frown: stacked = "\\frown"; break;
        case Mark::Smile: stacked = "\\smile"; break;
        default: stacked = "\\smile"; break;
      }
    }
    if (stacked) {
      emit(box.below ? "\\underset{" : "\\overset{");
      emit(stacked);
      out += '}';
      return group(content);
    }
    // A double bar is the bar twice: \overline{\overline{x}}.
    emit(above);
    out += '{';
    if (box.mark == Mark::DoubleBar) {
      emit(above);
      group(content);
    } else {
      row(content);
    }
    out += '}';
  }

  void cases(const Box& table) {
    emit("\\begin{cases}");
    cells(table);
    emit("\\end{cases}");
  }

  void fence(const Box& box) {
    const Box& content = box.parts[0];
    // A left brace over a table of one or two columns is a case distinction.
    if (box.code == '{' && box.close == 0 && !box.middle && content.parts.size() == 1 &&
        content.parts[0].shape == Shape::Table && content.parts[0].columns >= 1 && content.parts[0].columns <= 2 &&
        !ruled(content.parts[0]))
      return cases(content.parts[0]);
    const char* open = box.code ? delimiter(box.code) : ".";
    const char* close = box.close ? delimiter(box.close) : ".";
    if (!open || !close || (box.middle && !delimiter(box.middle))) {
      // Characters that do not stretch (white brackets) stand as they are.
      if (box.code) emit(mathChar(box.code));
      row(content);
      if (box.middle) emit(mathChar(box.middle));
      if (box.middle) row(box.parts[1]);
      if (box.close) emit(mathChar(box.close));
      return;
    }
    emit("\\left");
    emit(open);
    row(content);
    if (box.middle) {
      emit("\\middle");
      emit(delimiter(box.middle));
      row(box.parts[1]);
    }
    emit("\\right");
    emit(close);
  }

  static std::string ruleText(layout::Rule rule) {
    return rule == layout::Rule::Solid ? "|" : rule == layout::Rule::Dashed ? ":" : "";
  }

  // Cells joined by & and rows by \\, with horizontal lines where the table has them.
  void cells(const Box& table) {
    const std::size_t columns = static_cast<std::size_t>(table.columns);
    auto hline = [&](std::size_t row) {
      if (row >= table.rowRules.size()) return;
      if (table.rowRules[row] == layout::Rule::Solid) emit("\\hline");
      if (table.rowRules[row] == layout::Rule::Dashed) emit("\\hdashline");
    };
    hline(0);
    for (std::size_t cell = 0; cell < table.parts.size(); ++cell) {
      if (cell > 0 && cell % columns == 0) {
        out += "\\\\";
        hline(cell / columns);
      }
      if (cell % columns != 0) out += '&';
      const std::size_t before = out.size();
      row(table.parts[cell]);
      // A cell opening with [ after \\ would be read as the row's spacing.
      if (out.size() > before && out[before] == '[') out.insert(before, "{}");
    }
    if (table.rows > 0 && table.rowRules.size() > static_cast<std::size_t>(table.rows) &&
        table.rowRules[static_cast<std::size_t>(table.rows)] != layout::Rule::None) {
      out += "\\\\";
      hline(static_cast<std::size_t>(table.rows));
    }
  }

  void table(const Box& box) {
    if (box.rows <= 0 || box.columns <= 0) {
      out += "{}";
      return;
    }
    if (box.relational) {
      emit("\\begin{aligned}");
      cells(box);
      emit("\\end{aligned}");
      return;
    }
    const bool matrix = box.columns > 1 || !box.rowRules.empty();
    if (matrix && !ruled(box) && box.align == 'c') {
      emit("\\begin{matrix}");
      cells(box);
      emit("\\end{matrix}");
      return;
    }
    std::string columnsText;
    for (std::int32_t c = 0; c < box.columns; ++c) {
      if (static_cast<std::size_t>(c) < box.columnRules.size()) columnsText += ruleText(box.columnRules[static_cast<std::size_t>(c)]);
      columnsText += box.align;
    }
    if (static_cast<std::size_t>(box.columns) < box.columnRules.size())
      columnsText += ruleText(box.columnRules[static_cast<std::size_t>(box.columns)]);
    emit("\\begin{array}{" + columnsText + "}");
    cells(box);
    emit("\\end{array}");
  }

  void enclose(const Box& box) {
    const std::uint16_t n = box.notation;
    std::string before, after;
    auto wrap = [&](std::string_view open, std::string_view close) {
      before = std::string(open) + before;
      after += close;
    };
    if (n & layout::kHorizontalStrike) wrap("\\sout{", "}");
    if ((n & layout::kUpStrike) && (n & layout::kDownStrike)) {
      wrap("\\xcancel{", "}");
    } else if (n & layout::kUpStrike) {
      wrap("\\cancel{", "}");
    } else if (n & layout::kDownStrike) {
      wrap("\\bcancel{", "}");
    }
    if ((n & layout::kBox) == layout::kBox) {
      wrap("\\boxed{", "}");
    } else if (n & (layout::kTop | layout::kBottom)) {
      wrap(n & layout::kTop ? "\\overline{" : "\\underline{", "}");
      wrap(n & layout::kLeft ? "\\left|" : "\\left.", n & layout::kRight ? "\\right|" : "\\right.");
    }
    if (n & layout::kActuarial) wrap("\\angl{", "}");
    emit(before);
    row(box.parts[0]);
    emit(after);
  }
};

}  // namespace

std::string writeLatex(const equation::Equation& eq) {
  Writer writer;
  writer.row(layout::build(eq));
  return writer.out;
}

}  // namespace writers
