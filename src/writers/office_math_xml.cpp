// OMML XML from the Office Math writer's control words, in one pass. The text spells OMML
// one element per group: {\mfoo ...} is the element foo, a group of one of the property
// names holds that property's value as text, {\mr ...} is a run with its style words and
// characters; character groups {\uc1\uN\'3f}, Greek letters as \fN\'xx (code page 1253),
// symbol fields and the picture group {\mmathPict}, which carries nothing here, are the
// other forms. Elements are written as their groups end; only a run (whose style words may
// follow its text) and the children of a property element (which go in the schema's order)
// are held until then.
#include "writers/office_math_xml.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/unicode.h"

namespace writers {
namespace {

// Whether `word` is the literal: a comparison of known length, which the compiler writes
// out in place (the translator compares every control word it reads with a few).
template <std::size_t N>
bool is(std::string_view word, const char (&literal)[N]) {
  return word.size() == N - 1 && std::memcmp(word.data(), literal, N - 1) == 0;
}

template <std::size_t N>
bool endsWith(std::string_view word, const char (&literal)[N]) {
  return word.size() >= N - 1 && std::memcmp(word.data() + word.size() - (N - 1), literal, N - 1) == 0;
}

// ASCII letters, the characters of a control word.
constexpr std::array<bool, 256> kLetters = [] {
  std::array<bool, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[static_cast<std::size_t>(c)] = table[static_cast<std::size_t>(c - 'a' + 'A')] = true;
  return table;
}();

bool isLetter(char c) { return kLetters[static_cast<unsigned char>(c)]; }

// The elements that carry a single m:val (chr, begChr, pos, count ...).
constexpr std::string_view kPropertyNames[] = {
    "aln",      "argSz",    "baseJc",   "begChr",   "brk",        "cGp",       "cGpRule",
    "chr",      "count",    "cSp",      "degHide",  "diff",       "endChr",    "grow",
    "hideBot",  "hideLeft", "hideRight", "hideTop", "jc",         "limLoc",    "lit",
    "maxDist",  "mcJc",     "noBreak",  "nor",      "objDist",    "opEmu",     "plcHide",
    "pos",      "rSp",      "rSpRule",  "scr",      "sepChr",     "show",      "shp",
    "strikeBLTR", "strikeH", "strikeTLBR", "strikeV", "sty",      "subHide",   "supHide",
    "transp",   "type",     "vertJc",   "zeroAsc",  "zeroDesc",   "zeroWid",
};

bool isPropertyName(std::string_view name) {
  // The names by first letter: most names asked about are elements, which one or two
  // comparisons of length turn away.
  static const auto byLetter = [] {
    std::array<std::vector<std::string_view>, 128> table;
    for (std::string_view n : kPropertyNames) table[static_cast<unsigned char>(n[0]) & 127].push_back(n);
    return table;
  }();
  if (name.empty() || static_cast<unsigned char>(name[0]) >= 128) return false;
  for (std::string_view n : byLetter[static_cast<unsigned char>(name[0])])
    if (n == name) return true;
  return false;
}

// The order ISO 29500 gives the children of each property element; ctrlPr is last
// everywhere.
struct PropertyOrder {
  std::string_view element;
  std::initializer_list<std::string_view> children;
};

const PropertyOrder kOrders[] = {
    {"accPr", {"chr"}},
    {"barPr", {"pos"}},
    {"borderBoxPr", {"hideTop", "hideBot", "hideLeft", "hideRight", "strikeH", "strikeV",
                     "strikeBLTR", "strikeTLBR"}},
    {"boxPr", {"opEmu", "noBreak", "diff", "brk", "aln"}},
    {"dPr", {"begChr", "sepChr", "endChr", "grow", "shp"}},
    {"eqArrPr", {"baseJc", "maxDist", "objDist", "rSpRule", "rSp"}},
    {"fPr", {"type"}},
    {"groupChrPr", {"chr", "pos", "vertJc"}},
    {"mPr", {"baseJc", "plcHide", "rSpRule", "cGpRule", "rSp", "cSp", "cGp", "mcs"}},
    {"mcPr", {"count", "mcJc"}},
    {"naryPr", {"chr", "limLoc", "grow", "subHide", "supHide"}},
    {"phantPr", {"show", "zeroWid", "zeroAsc", "zeroDesc", "transp"}},
    {"radPr", {"degHide"}},
};

const PropertyOrder* orderOf(std::string_view element) {
  for (const PropertyOrder& o : kOrders)
    if (o.element == element) return &o;
  return nullptr;
}

std::size_t rank(const PropertyOrder* order, std::string_view child) {
  if (is(child, "ctrlPr")) return 1000;
  if (!order) return 500;
  std::size_t i = 0;
  for (std::string_view name : order->children) {
    if (name == child) return i;
    ++i;
  }
  return 500;
}

constexpr std::string_view kRunFont =
    "<w:rPr><w:rFonts w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/></w:rPr>";
constexpr std::string_view kCtrlPr =
    "<m:ctrlPr><w:rPr><w:rFonts w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/><w:i/></w:rPr></m:ctrlPr>";

const char* const kScripts[] = {"roman", "script", "fraktur", "double-struck", "sans-serif",
                                "monospace"};
const char* const kStyles[] = {"p", "b", "i", "bi"};

void append(std::string& out, std::string_view a, std::string_view b, std::string_view c) {
  out.append(a).append(b).append(c);
}

// Code page 1252 at 0x80..0x9F (0 where the code page has no character).
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint32_t fromWindows1252(unsigned char b) {
  if (b >= 0x80 && b < 0xA0) return kWindows1252High[b - 0x80] ? kWindows1252High[b - 0x80] : 0xFFFD;
  return b;
}

// Greek letters of code page 1253 sit 0x2D0 below their Unicode values; the rest of the
// page is read as 1252, which the writer never mixes with a Greek font reference.
std::uint32_t fromWindows1253(unsigned char b) {
  if ((b >= 0xC1 && b <= 0xFE && b != 0xD2) || b == 0xB8 || b == 0xB9 || b == 0xBA ||
      b == 0xBC || b == 0xBE || b == 0xBF)
    return b + 0x2D0u;
  if (b == 0xA2) return 0x0386;
  return fromWindows1252(b);
}

// UTF-8 of one character; a lone surrogate cannot stand in XML and becomes U+FFFD.
void appendUtf8(std::string& out, std::uint32_t c) {
  platform::appendUtf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);
}

// A text piece of a run: <m:t>, keeping its spaces when it starts or ends with one.
void appendTextPiece(std::string& out, const std::string& text) {
  if (text.empty()) return;
  const bool keepSpaces = text.front() == ' ' || text.back() == ' ';
  out += keepSpaces ? "<m:t xml:space=\"preserve\">" : "<m:t>";
  appendXmlEscaped(out, text);
  out += "</m:t>";
}

void appendSymbol(std::string& out, std::uint32_t symbolCode, std::string_view font) {
  char code[8];
  std::snprintf(code, sizeof code, "%04X", symbolCode < 0x100 ? 0xF000 + symbolCode : symbolCode & 0xFFFF);
  out += "<w:sym w:font=\"";
  appendXmlEscaped(out, font);
  out += "\" w:char=\"";
  out += code;
  out += "\"/>";
}

// A run: its style, then the math font, then its pieces.
void appendRun(std::string& out, int script, int style, std::string_view pieces) {
  out += "<m:r>";
  if (script != 0 || style != 2) {
    out += "<m:rPr>";
    if (script > 0 && script < 6) append(out, "<m:scr m:val=\"", kScripts[script], "\"/>");
    if (style >= 0 && style < 4 && style != 2) append(out, "<m:sty m:val=\"", kStyles[style], "\"/>");
    out += "</m:rPr>";
  }
  out += kRunFont;
  out += pieces;
  out += "</m:r>";
}

// Bytes written as they are: not markup, not a control character, not the lead byte of
// U+FFFE or U+FFFF.
bool isPlainXmlByte(unsigned char c) {
  return c >= 0x20 && c != '&' && c != '<' && c != '>' && c != '"' && c != 0xEF;
}

struct ControlWord {
  std::string_view word;
  bool hasParam = false;
  long param = 0;
};

// The character state of one group: characters to skip after \u, the \uc count, and
// whether a font reference made \'xx bytes Greek.
struct GroupState {
  long ucCount = 1;
  long skip = 0;
  bool greek = false;
};

// An element whose group is being read.
struct Element {
  enum class Kind { Math, Run, Property, ControlProperties, Properties, Other };
  std::string_view name;
  Kind kind = Kind::Other;
  // Nothing of it is written: it stands in a property, a ctrlPr or a run, or it is a run
  // among the children of a property element.
  bool dropped = false;
  bool hasChildren = false;
  std::string* out = nullptr;  // where it is written
  int script = 0, style = 2;   // a run's style
  std::string pieces;          // a run's pieces written so far
  std::string text;            // a run's text piece being gathered, or a property's value
  // Text outside runs makes a run of its own, continued until another child comes.
  bool looseRunOpen = false;
  std::string looseText;
  // A property element's children, written apart and put in order at its end: the first
  // `orderedUsed` entries are this element's (the rest keep their memory for later ones).
  std::vector<std::pair<std::size_t, std::string>> ordered;
  std::size_t orderedUsed = 0;

  // Makes the element a fresh one named `elementName`, keeping the memory of its texts.
  void reset(std::string_view elementName, Kind elementKind) {
    name = elementName;
    kind = elementKind;
    dropped = false;
    hasChildren = false;
    out = nullptr;
    script = 0;
    style = 2;
    pieces.clear();
    text.clear();
    looseRunOpen = false;
    looseText.clear();
    orderedUsed = 0;
  }
};

}  // namespace

// The elements of the nesting levels (an element of level d is read while those of the
// levels below it are open), the equation's body and a loose run's text piece.
struct OfficeMathXmlScratch::State {
  std::vector<std::unique_ptr<Element>> levels;
  std::string body;
  std::string piece;

  Element& level(std::size_t depth, std::string_view name, Element::Kind kind) {
    while (levels.size() <= depth) levels.push_back(std::make_unique<Element>());
    Element& el = *levels[depth];
    el.reset(name, kind);
    return el;
  }
};

OfficeMathXmlScratch::OfficeMathXmlScratch() = default;
OfficeMathXmlScratch::~OfficeMathXmlScratch() = default;
OfficeMathXmlScratch::OfficeMathXmlScratch(OfficeMathXmlScratch&&) noexcept = default;
OfficeMathXmlScratch& OfficeMathXmlScratch::operator=(OfficeMathXmlScratch&&) noexcept = default;
OfficeMathXmlScratch::State& OfficeMathXmlScratch::state() {
  if (!state_) state_ = std::make_unique<State>();
  return *state_;
}

namespace {

class Translator {
 public:
  Translator(std::string_view text, std::size_t maxDepth, OfficeMathXmlScratch::State& scratch)
      : s_(text), maxDepth_(maxDepth), scratch_(scratch) {}

  bool run(bool display, std::string& xml, std::string& error) {
    const std::size_t open = s_.find('{');
    if (open == std::string_view::npos) {
      error = "no group found";
      return false;
    }
    pos_ = open + 1;
    std::string& body = scratch_.body;
    body.clear();
    Element& top = scratch_.level(0, "oMath", Element::Kind::Math);
    top.out = &body;
    GroupState gs;
    if (!groupBody(top, gs, 1)) {
      error = error_;
      return false;
    }
    endLooseRun(top);
    // The text's own display mark ({\moMathPara}) is the caller's to act on: only
    // `display` wraps the equation.
    xml.clear();
    if (display) xml += "<m:oMathPara>";
    xml += "<m:oMath>";
    xml += body;
    xml += "</m:oMath>";
    if (display) xml += "</m:oMathPara>";
    return true;
  }

 private:
  bool atEnd() const { return pos_ >= s_.size(); }
  // Whether the text at pos_ begins with the literal.
  template <std::size_t N>
  bool startsHere(const char (&literal)[N]) const {
    return pos_ <= s_.size() && s_.size() - pos_ >= N - 1 && std::memcmp(s_.data() + pos_, literal, N - 1) == 0;
  }

  // A parameter's digits (after an optional minus), held at the limits of long as strtol
  // holds them.
  static long decimal(std::string_view digits) {
    const bool negative = digits.front() == '-';
    if (negative) digits.remove_prefix(1);
    constexpr long kMax = std::numeric_limits<long>::max();
    long value = 0;
    for (char d : digits) {
      const int v = d - '0';
      if (value > (kMax - v) / 10) return negative ? std::numeric_limits<long>::min() : kMax;
      value = value * 10 + v;
    }
    return negative ? -value : value;
  }

  static int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  // The byte of a \'xx symbol from its two characters.
  static unsigned char hexByte(std::string_view two) {
    const int high = hexValue(two[0]), low = hexValue(two[1]);
    if (high >= 0 && low >= 0) return static_cast<unsigned char>(high * 16 + low);
    if (high >= 0) return static_cast<unsigned char>(high);
    return static_cast<unsigned char>(std::strtoul(std::string(two).c_str(), nullptr, 16));
  }

  // Reads the control word at pos_ (just after its backslash).
  ControlWord readWord() {
    // Read with a local position and text: stores through the members would be made at
    // every character, as the compiler cannot tell them apart from the text.
    ControlWord cw;
    const std::string_view s = s_;
    const std::size_t start = pos_;
    std::size_t at = start;
    while (at < s.size() && isLetter(s[at])) ++at;
    cw.word = s.substr(start, at - start);
    const std::size_t digits = at;
    if (at < s.size() && s[at] == '-') ++at;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
    if (at > digits && !(at == digits + 1 && s[digits] == '-')) {
      cw.hasParam = true;
      cw.param = decimal(s.substr(digits, at - digits));
    } else {
      at = digits;
    }
    if (at < s.size() && s[at] == ' ') ++at;
    pos_ = at;
    return cw;
  }

  // Skips a group whose '{' has been read.
  bool skipGroup() {
    std::size_t depth = 1;
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '\\') {
        ++pos_;
      } else if (c == '{') {
        ++depth;
      } else if (c == '}') {
        if (--depth == 0) return true;
      }
    }
    error_ = "unterminated group";
    return false;
  }

  // A child begins in `el`: the run of loose text before it ends, and an element written
  // as it goes opens its tag.
  void childBegins(Element& el) {
    endLooseRun(el);
    if (!el.hasChildren && !el.dropped && el.kind == Element::Kind::Other) append(*el.out, "<m:", el.name, ">");
    el.hasChildren = true;
  }

  // Where a new child of `el` is written, and whether it is written at all.
  void place(Element& el, Element& child, bool isRun) {
    childBegins(el);
    child.dropped = el.dropped || el.kind == Element::Kind::Property ||
                    el.kind == Element::Kind::ControlProperties || el.kind == Element::Kind::Run ||
                    (isRun && el.kind == Element::Kind::Properties);
    if (child.dropped) return;
    if (el.kind == Element::Kind::Properties) {
      // Only the last child is being written: an earlier one's place may move here.
      if (el.orderedUsed == el.ordered.size()) el.ordered.emplace_back();
      std::pair<std::size_t, std::string>& slot = el.ordered[el.orderedUsed++];
      slot.first = rank(orderOf(el.name), child.name);
      slot.second.clear();
      child.out = &slot.second;
    } else {
      child.out = el.out;
    }
  }

  void endLooseRun(Element& el) {
    if (!el.looseRunOpen) return;
    el.looseRunOpen = false;
    // Runs are written only among the children of containers (not of property elements).
    if (el.dropped || (el.kind != Element::Kind::Other && el.kind != Element::Kind::Math)) return;
    std::string& piece = scratch_.piece;
    piece.clear();
    appendTextPiece(piece, el.looseText);
    appendRun(*el.out, 0, 2, piece);
  }

  // The element's group has ended: what is held is written.
  void end(Element& el) {
    endLooseRun(el);
    if (el.dropped) return;
    std::string& out = *el.out;
    switch (el.kind) {
      case Element::Kind::Run:
        appendTextPiece(el.pieces, el.text);
        appendRun(out, el.script, el.style, el.pieces);
        return;
      case Element::Kind::Property: {
        const bool isCharacter = endsWith(el.name, "chr") || endsWith(el.name, "Chr");
        if (el.text.empty() && !isCharacter) return;  // the default, as Word leaves it out
        append(out, "<m:", el.name, " m:val=\"");
        appendXmlEscaped(out, el.text);
        out += "\"/>";
        return;
      }
      case Element::Kind::ControlProperties:
        out += kCtrlPr;
        return;
      case Element::Kind::Properties:
        if (!el.hasChildren) {
          append(out, "<m:", el.name, "/>");
          return;
        }
        append(out, "<m:", el.name, ">");
        // In the schema's order, children of the same rank as they came (a handful: an
        // insertion sort, which also needs no memory of its own).
        for (std::size_t i = 1; i < el.orderedUsed; ++i)
          for (std::size_t j = i; j > 0 && el.ordered[j - 1].first > el.ordered[j].first; --j)
            std::swap(el.ordered[j - 1], el.ordered[j]);
        for (std::size_t i = 0; i < el.orderedUsed; ++i) out += el.ordered[i].second;
        append(out, "</m:", el.name, ">");
        return;
      default:
        if (!el.hasChildren)
          append(out, "<m:", el.name, "/>");
        else
          append(out, "</m:", el.name, ">");
    }
  }

  // Text goes to the element: a property's value, a run's text piece, or a run of its own
  // when it stands directly in a container.
  void addChar(Element& el, std::uint32_t c) {
    std::string* target = nullptr;
    if (el.kind == Element::Kind::Property) {
      target = &el.text;
    } else if (el.kind == Element::Kind::Run) {
      target = &el.text;
    } else {
      if (!el.looseRunOpen) {
        childBegins(el);
        el.looseRunOpen = true;
        el.looseText.clear();
      }
      target = &el.looseText;
    }
    if (pendingHigh_ && (c < 0xDC00 || c >= 0xE000)) {
      appendUtf8(*target, 0xFFFD);
      pendingHigh_ = 0;
    }
    if (c >= 0xD800 && c < 0xDC00) {
      pendingHigh_ = c;
      return;
    }
    if (c >= 0xDC00 && c < 0xE000 && pendingHigh_) {
      c = 0x10000 + ((pendingHigh_ - 0xD800) << 10) + (c - 0xDC00);
      pendingHigh_ = 0;
    }
    appendUtf8(*target, c);
  }

  // {\field{\*\fldinst SYMBOL n \\f "Font"}{\fldrslt ...}}: '{' and \field have been read.
  bool symbolField(Element& el, std::size_t level) {
    std::string instruction;
    std::size_t depth = 1;
    bool inInstruction = false;
    std::size_t instructionDepth = 0;
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '{') {
        ++depth;
      } else if (c == '}') {
        if (inInstruction && depth == instructionDepth) inInstruction = false;
        if (--depth == 0) break;
      } else if (c == '\\') {
        if (pos_ < s_.size() && (s_[pos_] == '\\' || s_[pos_] == '{' || s_[pos_] == '}')) {
          if (inInstruction) instruction += s_[pos_];
          ++pos_;
        } else {
          ControlWord cw = readWord();
          if (is(cw.word, "fldinst")) {
            inInstruction = true;
            instructionDepth = depth;
          }
        }
      } else if (inInstruction) {
        instruction += c;
      }
    }
    if (depth != 0) {
      error_ = "unterminated field";
      return false;
    }
    // SYMBOL <code> \f "<font>"
    const std::size_t sym = instruction.find("SYMBOL");
    if (sym == std::string::npos) return true;
    const auto code = static_cast<std::uint32_t>(std::strtoul(instruction.c_str() + sym + 6, nullptr, 10));
    const std::size_t q1 = instruction.find('"', sym);
    const std::size_t q2 = q1 == std::string::npos ? q1 : instruction.find('"', q1 + 1);
    const std::string font = q2 == std::string::npos ? "Symbol" : instruction.substr(q1 + 1, q2 - q1 - 1);
    // A symbol without a font name is written as nothing, but it still ends the run's text
    // piece before it; elsewhere it is an empty run.
    if (el.kind == Element::Kind::Run) {
      appendTextPiece(el.pieces, el.text);
      el.text.clear();
      if (!font.empty()) appendSymbol(el.pieces, code, font);
      return true;
    }
    // Elsewhere the symbol is a run of its own, at the level of the group that held it.
    Element& run = scratch_.level(level, "r", Element::Kind::Run);
    place(el, run, true);
    if (!font.empty()) appendSymbol(run.pieces, code, font);
    end(run);
    return true;
  }

  // A group whose '{' has been read, inside `el`.
  bool group(Element& el, const GroupState& outer, std::size_t depth) {
    if (depth > maxDepth_) {
      error_ = "the equation is nested too deeply";
      return false;
    }
    const std::size_t start = pos_;
    // Leading \* and \dnN do not decide what the group is.
    for (;;) {
      if (startsHere("\\*")) {
        pos_ += 2;
        while (pos_ < s_.size() && s_[pos_] == ' ') ++pos_;
        continue;
      }
      if (startsHere("\\dn")) {
        ++pos_;
        readWord();
        continue;
      }
      break;
    }
    if (pos_ + 2 < s_.size() && s_[pos_] == '\\' && s_[pos_ + 1] == 'm') {
      ++pos_;
      const std::size_t wordStart = pos_;
      ControlWord cw = readWord();
      const std::string_view name =
          is(cw.word, "msty") || is(cw.word, "mscr") ? std::string_view() : cw.word.substr(1);
      if (is(name, "mathPict")) return skipGroup();
      GroupState gs;
      if (is(name, "math") || is(name, "oMath") || is(name, "oMathPara")) return groupBody(el, gs, depth + 1);
      if (name.empty()) {
        pos_ = wordStart - 1;
      } else {
        const Element::Kind kind = is(name, "r")              ? Element::Kind::Run
                                   : isPropertyName(name)     ? Element::Kind::Property
                                   : is(name, "ctrlPr")       ? Element::Kind::ControlProperties
                                   : name.size() > 2 && endsWith(name, "Pr")
                                       ? Element::Kind::Properties
                                       : Element::Kind::Other;
        Element& child = scratch_.level(depth, name, kind);
        place(el, child, child.kind == Element::Kind::Run);
        if (!groupBody(child, gs, depth + 1)) return false;
        end(child);
        return true;
      }
    }
    if (startsHere("\\field")) {
      pos_ += 6;
      return symbolField(el, depth);
    }
    pos_ = start;
    // A character group: its text belongs to the element around it.
    GroupState gs = outer;
    gs.skip = 0;
    return groupBody(el, gs, depth + 1);
  }

  // The content of a group up to its closing brace.
  bool groupBody(Element& el, GroupState gs, std::size_t depth) {
    while (pos_ < s_.size()) {
      const char c = s_[pos_++];
      if (c == '}') {
        pendingHigh_ = 0;
        return true;
      }
      if (c == '{') {
        if (!group(el, gs, depth)) return false;
        continue;
      }
      if (c == '\r' || c == '\n') continue;
      if (c == '\\') {
        if (atEnd()) break;
        const char next = s_[pos_];
        if (next == '\'') {
          ++pos_;
          if (pos_ + 2 > s_.size()) break;
          const unsigned char b = hexByte(s_.substr(pos_, 2));
          pos_ += 2;
          if (gs.skip > 0) {
            --gs.skip;
            continue;
          }
          addChar(el, gs.greek ? fromWindows1253(b) : fromWindows1252(b));
          continue;
        }
        if (next == '\\' || next == '{' || next == '}') {
          ++pos_;
          if (gs.skip > 0) {
            --gs.skip;
            continue;
          }
          addChar(el, static_cast<unsigned char>(next));
          continue;
        }
        if (!isLetter(next)) {
          ++pos_;  // a control symbol this text does not use
          continue;
        }
        ControlWord cw = readWord();
        if (is(cw.word, "u") && cw.hasParam) {
          long v = cw.param < 0 ? cw.param + 65536 : cw.param;
          addChar(el, static_cast<std::uint32_t>(v) & 0xFFFF);
          gs.skip = gs.ucCount;
        } else if (is(cw.word, "uc") && cw.hasParam) {
          gs.ucCount = cw.param < 0 ? 0 : cw.param;
        } else if (is(cw.word, "f")) {
          gs.greek = true;
        } else if (is(cw.word, "msty") && el.kind == Element::Kind::Run) {
          el.style = static_cast<int>(std::clamp(cw.param, 0L, 3L));
        } else if (is(cw.word, "mscr") && el.kind == Element::Kind::Run) {
          el.script = static_cast<int>(std::clamp(cw.param, 0L, 5L));
        }
        continue;
      }
      if (gs.skip > 0) {
        --gs.skip;
        continue;
      }
      addChar(el, fromWindows1252(static_cast<unsigned char>(c)));
    }
    error_ = "unterminated group";
    return false;
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::size_t maxDepth_;
  OfficeMathXmlScratch::State& scratch_;
  std::string error_;
  std::uint32_t pendingHigh_ = 0;
};

}  // namespace

void appendXmlEscaped(std::string& out, std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    // Characters that stand for themselves go in stretches.
    std::size_t plain = i;
    while (plain < s.size() && isPlainXmlByte(static_cast<unsigned char>(s[plain]))) ++plain;
    if (plain != i) {
      out.append(s.data() + i, plain - i);
      i = plain;
      if (i == s.size()) break;
    }
    const unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        // U+FFFE and U+FFFF (EF BF BE / EF BF BF) are not XML characters.
        if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(s[i + 2]) == 0xBE || static_cast<unsigned char>(s[i + 2]) == 0xBF)) {
          i += 2;
          break;
        }
        out += static_cast<char>(c);
    }
  }
}

bool officeMathXmlFromRtf(std::string_view officeMathRtf, bool display, std::string& xml, std::string& error,
                          std::size_t maxDepth) {
  OfficeMathXmlScratch scratch;
  return officeMathXmlFromRtf(officeMathRtf, display, xml, error, scratch, maxDepth);
}

bool officeMathXmlFromRtf(std::string_view officeMathRtf, bool display, std::string& xml, std::string& error,
                          OfficeMathXmlScratch& scratch, std::size_t maxDepth) {
  return Translator(officeMathRtf, maxDepth, scratch.state()).run(display, xml, error);
}

std::string officeMathXmlFromRtf(std::string_view officeMathRtf, bool display) {
  std::string xml, error;
  if (!officeMathXmlFromRtf(officeMathRtf, display, xml, error)) return {};
  return xml;
}

}  // namespace writers
