// The Office Math writer, RTF control-word form: walks the equation tree and writes each
// record as the Office Math group that means the same.
//
// Output is gathered per container (a line, a slot, a cell) as a list of atoms: the
// complete text of one character run, template, pile or matrix each. A script template
// takes its base as the last atom of its container, so finding the base costs nothing
// and no marker is ever written into the text.
#include "equation/variations.h"
#include "writers/office_math_rtf.h"

#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/codepage.h"
#include "writers/office_math_chars.h"

namespace writers {
namespace {

using equation::Item;
using equation::Kind;
using equation::Node;

std::string cat(std::initializer_list<std::string_view> parts) {
  std::size_t size = 0;
  for (std::string_view p : parts) size += p.size();
  std::string s;
  s.reserve(size);
  for (std::string_view p : parts) s.append(p);
  return s;
}

// One atom of the output: a character run, a template, a pile or a matrix. A script's
// atom holds its base atom between its own head and tail, so a run of scripts each
// taking the one before as its base costs time in proportion to its length.
struct Atom {
  std::string head;
  std::unique_ptr<Atom> inner;
  std::string tail;
  std::int8_t bracket = 0;  // a character that is an opening (1) or closing (-1) bracket
  std::int64_t match = -1;  // for a closing bracket: the place of its opening one

  Atom(std::string text) : head(std::move(text)) {}  // NOLINT: a plain atom is its text
  Atom(std::string before, std::unique_ptr<Atom> base, std::string after)
      : head(std::move(before)), inner(std::move(base)), tail(std::move(after)) {}

  void appendTo(std::string& out) const {
    if (!inner) {  // a plain atom: most are
      out += head;
      out += tail;
      return;
    }
    std::vector<const Atom*> chain;
    for (const Atom* a = this; a != nullptr; a = a->inner.get()) {
      out += a->head;
      chain.push_back(a);
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) out += (*it)->tail;
  }
  // The length appendTo writes.
  std::size_t size() const {
    std::size_t n = 0;
    for (const Atom* a = this; a != nullptr; a = a->inner.get()) n += a->head.size() + a->tail.size();
    return n;
  }
  ~Atom() {
    // Unlinks a long chain of bases one by one instead of recursively.
    std::unique_ptr<Atom> next = std::move(inner);
    while (next) next = std::move(next->inner);
  }
  Atom(Atom&&) = default;
  Atom& operator=(Atom&&) = default;
};

// The atoms written into one place of the equation: a line, a slot, a pile line or a
// matrix cell. A script finds its base there and nowhere else: at the start of the place
// it has none. Opening and closing brackets written as characters are paired as they
// come, so that a script on a closing bracket takes the whole bracketed group as its base.
struct Container {
  std::vector<Atom> atoms;
  std::vector<std::size_t> openBrackets;  // unmatched opening brackets, innermost last

  void push(Atom atom) {
    if (atom.bracket > 0) {
      openBrackets.push_back(atoms.size());
    } else if (atom.bracket < 0 && !openBrackets.empty()) {
      atom.match = static_cast<std::int64_t>(openBrackets.back());
      openBrackets.pop_back();
    }
    atoms.push_back(std::move(atom));
  }

  std::string text() const {
    std::size_t size = 0;
    for (const Atom& atom : atoms) size += atom.size();
    std::string result;
    result.reserve(size);
    for (const Atom& atom : atoms) atom.appendTo(result);
    return result;
  }
};

// The base of a script: the last atom before it (a closing bracket with everything back to
// its opening one), or null at the start of its place.
std::unique_ptr<Atom> takeBase(Container& container) {
  if (container.atoms.empty()) return nullptr;
  std::size_t from = container.atoms.size() - 1;
  const Atom& last = container.atoms.back();
  if (last.bracket < 0 && last.match >= 0) from = static_cast<std::size_t>(last.match);
  std::unique_ptr<Atom> base;
  if (from + 1 == container.atoms.size()) {
    base = std::make_unique<Atom>(std::move(container.atoms.back()));
  } else {
    std::string group;
    for (std::size_t i = from; i < container.atoms.size(); ++i) container.atoms[i].appendTo(group);
    base = std::make_unique<Atom>(std::move(group));
  }
  container.atoms.erase(container.atoms.begin() + static_cast<std::ptrdiff_t>(from), container.atoms.end());
  while (!container.openBrackets.empty() && container.openBrackets.back() >= from)
    container.openBrackets.pop_back();
  base->bracket = 0;
  return base;
}

constexpr std::string_view kMatrixHeader =
    R"({\mm {\mmPr{\mplcHide on}{\mmcs{\mmc{\mmcPr{\mmcJc )";

std::string_view horizontalAlignment(std::int32_t value) {
  if (value == 2) return "center";
  if (value == 3) return "right";
  return "left";
}

class Writer {
 public:
  Writer(const OfficeMathOptions& options, std::int32_t version)
      : chars_{options.euclid, options.uniPrime, options.greekFontRef},
        version_(version) {}

  void item(const Item& item, Container& into) {
    if (item.record) record(*item.record, into);
  }
  void items(const std::vector<Item>& list, Container& into) {
    for (const Item& i : list) item(i, into);
  }

 private:
  bool v5() const { return version_ == 5; }

  // A slot (or any item) written on its own.
  std::string slotText(const Node& node, std::size_t index) {
    if (index >= node.children.size()) return {};
    Container slot;
    item(node.children[index], slot);
    return slot.text();
  }
  std::vector<std::string> slotTexts(const Node& node) {
    std::vector<std::string> texts;
    texts.reserve(node.children.size() + 4);
    for (std::size_t i = 0; i < node.children.size(); ++i) texts.push_back(slotText(node, i));
    return texts;
  }

  void record(const Node& node, Container& into) {
    switch (node.kind) {
      case Kind::Line:
        if (!node.nullLine) items(node.children, into);
        return;
      case Kind::Char: {
        Atom atom(character(node));
        atom.bracket = bracketOf(node);
        into.push(std::move(atom));
        // A record other than an embellishment list where the character announced one
        // follows the character.
        if (node.attached && !isEmbellishmentList(*node.attached)) item(*node.attached, into);
        return;
      }
      case Kind::Pile:
        into.push(pile(node));
        return;
      case Kind::Matrix:
        into.push(matrix(node));
        return;
      case Kind::Template:
        templ(node, into);
        return;
      default:
        return;  // sizes, fonts, definitions and skipped records draw nothing
    }
  }

  std::string pile(const Node& node) {
    std::string text = cat({kMatrixHeader, horizontalAlignment(node.halign), R"(}{\mcount 1}}}}})"});
    for (const Item& line : node.children) {
      Container row;
      item(line, row);
      text += cat({R"({\mmr {\me )", row.text(), "}}"});
    }
    text += "}";
    return text;
  }

  std::string matrix(const Node& node) {
    std::string text = cat({kMatrixHeader, horizontalAlignment(node.halign), R"(}{\mcount )",
                            std::to_string(node.columns), "}}}}}"});
    std::size_t cell = 0;
    for (std::int32_t row = 0; row < node.rows; ++row) {
      text += R"({\mmr )";
      for (std::int32_t column = 0; column < node.columns; ++column, ++cell) {
        Container content;
        if (cell < node.children.size()) item(node.children[cell], content);
        text += cat({R"({\me )", content.text(), "}"});
      }
      text += "}";
    }
    text += "}";
    return text;
  }

  static bool isEmbellishmentList(const Item& item) {
    return item.record && item.record->kind == Kind::Embellishments;
  }

  // Opening (1) and closing (-1) brackets among plain characters.
  static std::int8_t bracketOf(const Node& node) {
    if (node.attached) return 0;
    switch (node.code) {
      case '(': case '[': case '{': return 1;
      case ')': case ']': case '}': return -1;
      default: return 0;
    }
  }

  std::string character(const Node& node) {
    std::string run;
    run.reserve(64);  // a character's run fits, so it is allocated once
    run += "{\\mr";
    run += chars_.styleWords(node);
    run += chars_.text(node);
    const Node* marks = node.attached && isEmbellishmentList(*node.attached)
                            ? node.attached->record.get()
                            : nullptr;
    if (marks) run += primes(*marks);
    run += '}';
    return marks ? embellish(run, *marks) : run;
  }

  std::string embellish(const std::string& run, const Node& list);
  std::string primes(const Node& list) const;
  void templ(const Node& node, Container& into);
  void fence(const Node& node, Container& into, int kind);
  void braKet(const Node& node, Container& into);
  void fraction(const Node& node, Container& into, std::string_view type, bool longDivision);
  void radical(const Node& node, Container& into);
  void script(const Node& node, Container& into, int kind, bool before);
  void bigOperator(const Node& node, Container& into, int kind);
  void nary(const Node& node, Container& into, std::string_view chr, std::string_view props,
            std::size_t lowerSlot, std::size_t upperSlot);
  void integral5(const Node& node, Container& into);
  void largeOperator5(const Node& node, Container& into, int kind);
  void integral3(const Node& node, Container& into);
  void largeOperator3(const Node& node, Container& into);
  void arrow(const Node& node, Container& into);
  void accent(const Node& node, Container& into, int kind);
  void box(const Node& node, Container& into, bool strike);
  void decoration(const Node& node, Container& into);
  void arc(const Node& node, Container& into);

  OfficeMathChars chars_;
  std::int32_t version_;
};

// ---------------------------------------------------------------- embellishments

const char* accentCharacter(std::int32_t type) {
  switch (type) {
    case 2: return "{\\uc1\\u775\\'3f}}}{\\me";
    case 3: return "{\\uc1\\u776\\'3f}}}{\\me";
    case 4: return "{\\uc1\\u8411\\'3f}}}{\\me";
    case 24: return "{\\uc1\\u8412\\'3f}}}{\\me";
    case 8: return "{\\uc1\\u771\\'3f}}}{\\me";
    case 9: return "{\\uc1\\u770\\'3f}}}{\\me";
    case 19: return "{\\uc1\\u8994\\'3f}}}{\\me";  // frown
    case 11: return "{\\uc1\\u8407\\'3f}}}{\\me";
    case 12: return "{\\uc1\\u8406\\'3f}}}{\\me";
    case 13: return "{\\uc1\\u8417\\'3f}}}{\\me";
    case 14: return "{\\uc1\\u8401\\'3f}}}{\\me";
    case 15: return "{\\uc1\\u8400\\'3f}}}{\\me";
    case 17: return "{\\uc1\\u773\\'3f}}}{\\me";
    case 20: return "{\\uc1\\u8995\\'3f}}}{\\me";  // smile
    default: return nullptr;
  }
}

// The marks drawn under a character: dots, tilde, frown, smile, arrows and harpoons.
std::string_view underMark(std::int32_t type) {
  switch (type) {
    case 25: return "{\\uc1\\u729\\'3f}";
    case 26: return "{\\uc1\\u729\\'3f}{\\uc1\\u729\\'3f}";
    case 27: return "{\\uc1\\u729\\'3f}{\\uc1\\u729\\'3f}{\\uc1\\u729\\'3f}";
    case 28: return "{\\uc1\\u729\\'3f}{\\uc1\\u729\\'3f}{\\uc1\\u729\\'3f}{\\uc1\\u729\\'3f}";
    case 30: return "{\\uc1\\u732\\'3f}";
    case 31: return "{\\uc1\\u8994\\'3f}";
    case 32: return "{\\uc1\\u8995\\'3f}";
    case 33: return "{\\uc1\\u8594\\'3f}";
    case 34: return "{\\uc1\\u8592\\'3f}";
    case 35: return "{\\uc1\\u8596\\'3f}";
    case 36: return "{\\uc1\\u8640\\'3f}";
    case 37: return "{\\uc1\\u8637\\'3f}";
    default: return {};
  }
}

const char* slashStrikes(std::int32_t type) {
  switch (type) {
    case 10: case 22: return "{\\mstrikeBLTR on}";
    case 21: return "{\\mstrikeBLTR on}{\\mstrikeTLBR on}";
    case 23: return "{\\mstrikeTLBR on}";
    default: return nullptr;
  }
}

std::string borderBox(std::string_view strikes) {
  return cat({"{\\mborderBox{\\mborderBoxPr{\\mhideTop on}{\\mhideBot on}{\\mhideLeft on}"
              "{\\mhideRight on}",
              strikes, "}{\\me"});
}

// The primes among a character's embellishments, written after the character in its own
// run: prime, double and triple prime, reversed prime; plain apostrophes and a grave
// accent when the Unicode forms are not wanted.
std::string Writer::primes(const Node& list) const {
  std::string text;
  for (const equation::Embellishment& mark : list.marks) {
    switch (mark.type) {
      case 5: text += chars_.uniPrime ? unicodeEscape(8242) : "'"; break;
      case 6: text += chars_.uniPrime ? unicodeEscape(8243) : "''"; break;
      case 18: text += chars_.uniPrime ? unicodeEscape(8244) : "'''"; break;
      case 7: text += chars_.uniPrime ? unicodeEscape(8245) : "`"; break;
      default: break;
    }
  }
  return text;
}

// Wraps the character's run in the groups of its other embellishments, the last one
// outermost: accents above, bars, strike-through boxes, and the marks below as a lower
// limit.
std::string Writer::embellish(const std::string& run, const Node& list) {
  std::vector<std::string> front;
  std::string back;
  auto wrap = [&](std::string opener, std::string_view closer) {
    front.push_back(std::move(opener));
    back += closer;
  };
  bool middleBar = false;
  bool slash = false;
  for (const equation::Embellishment& mark : list.marks) {
    const std::int32_t type = mark.type;
    if (const char* accentChar = accentCharacter(type)) {
      wrap(cat({"{\\macc{\\maccPr{\\mchr ", accentChar}), "}}");
      continue;
    }
    if (type == 16) {
      if (!middleBar) wrap(borderBox("{\\mstrikeH on}"), "}}");
      middleBar = true;
      continue;
    }
    if (const char* strikes = slashStrikes(type)) {
      if (!slash) wrap(borderBox(strikes), "}}");
      slash = true;
      continue;
    }
    if (type == 29) {
      wrap("{\\mbar{\\mbarPr{\\mpos bot}}{\\me", "}}");
    } else if (const std::string_view under = underMark(type); !under.empty()) {
      wrap("{\\mlimLow{\\mlimLowPr }{\\me ", cat({"}{\\mlim {\\mr\\mscr0\\msty0 ", under, "}}}"}));
    }
  }
  std::string result;
  for (auto it = front.rbegin(); it != front.rend(); ++it) result += *it;
  result += run;
  result += back;
  return result;
}

// ---------------------------------------------------------------- templates

enum FenceKindValue { kSingleFence, kWhiteFence, kIntervalFence };
enum ScriptKind { kSuperscript, kSubscript, kSubSuperscript };
enum BigOperatorKind { kIntegralStyle, kSummationStyle, kLimit };

void Writer::templ(const Node& node, Container& into) {
  const int s = node.selector;
  if (v5()) {
    switch (s) {
      case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
        return fence(node, into, kSingleFence);
      case 8: return fence(node, into, kWhiteFence);
      case 9: return fence(node, into, kIntervalFence);
      case 10: return radical(node, into);
      case 11: {
        static constexpr std::string_view kTypes[] = {"", "", "skw", "skw", "lin", "lin", "lin", "lin"};
        return fraction(node, into, node.variation < 8 ? kTypes[node.variation] : "", false);
      }
      case 12: case 13: return decoration(node, into);
      case 14: return arrow(node, into);
      case 15: return integral5(node, into);
      case 16: case 17: case 18: case 19: case 20: return largeOperator5(node, into, s - 16);
      case 21: return bigOperator(node, into, kIntegralStyle);
      case 22: return bigOperator(node, into, kSummationStyle);
      case 23: return bigOperator(node, into, kLimit);
      case 24: return accent(node, into, 5);
      case 25: return accent(node, into, 6);
      case 26: return fraction(node, into, "", true);
      case 27: return script(node, into, kSubscript, node.variation != 0);
      case 28: return script(node, into, kSuperscript, node.variation != 0);
      case 29: return script(node, into, kSubSuperscript, node.variation != 0);
      case 30: return braKet(node, into);
      case 31: case 32: case 33: case 34: case 35: return accent(node, into, s - 31);
      case 36: return box(node, into, true);
      case 37: return box(node, into, false);
      default: return;
    }
  }
  if (s <= 12) return fence(node, into, kSingleFence);
  switch (s) {
    case 13: return radical(node, into);
    case 14: return fraction(node, into, "", false);
    case 15: case 44: {
      const int v = node.variation;
      const int kind = v == 0 ? kSuperscript : v == 1 ? kSubscript : kSubSuperscript;
      return script(node, into, kind, s == 44);
    }
    case 16: case 17: case 18: case 19: case 20: case 27: case 28: case 46: case 47:
      return decoration(node, into);
    case 21: case 22: case 23: case 24: case 25: case 26: return integral3(node, into);
    case 39: return bigOperator(node, into, kLimit);
    case 40: return fraction(node, into, "", true);
    case 41: return fraction(node, into, node.variation == 0 || node.variation == 2 ? "skw"
                                         : node.variation == 1 || node.variation == 3 ? "lin"
                                                                                      : "",
                             false);
    case 42: return bigOperator(node, into, kIntegralStyle);
    case 43: return bigOperator(node, into, kSummationStyle);
    case 45: return braKet(node, into);
    case 48: return arc(node, into);
    default: return largeOperator3(node, into);  // 29 to 38
  }
}

constexpr std::string_view kAngleOpen = R"({\uc1\u10216\'3f})";
constexpr std::string_view kAngleClose = R"({\uc1\u10217\'3f})";

std::string fenceChars(std::string_view open, std::string_view close) {
  return cat({R"({\mbegChr )", open, R"(}{\mendChr )", close, "}"});
}

void Writer::fence(const Node& node, Container& into, int kind) {
  const int v = node.variation;
  std::string fences;
  if (kind == kSingleFence) {
    struct Pair {
      std::string_view open, close;
      bool bothOnly;
    };
    static constexpr Pair kPairs[] = {
        {kAngleOpen, kAngleClose, false},
        {"(", ")", false},
        {R"(\'7b)", R"(\'7d)", false},
        {"[", "]", false},
        {"|", "|", false},
        {R"({\uc1\u8214\'3f})", R"({\uc1\u8214\'3f})", false},
        {R"({\uc1\u8970\'3f})", R"({\uc1\u8971\'3f})", false},
        {R"({\uc1\u8968\'3f})", R"({\uc1\u8969\'3f})", false},
        {"[", "[", false},
        {"]", "]", false},
        {"]", "[", false},
        {"[", ")", true},
        {"(", "]", true},
    };
    const Pair& pair = node.selector <= 12 ? kPairs[node.selector] : kPairs[0];
    if (pair.bothOnly) {
      fences = fenceChars(pair.open, pair.close);
    } else if (v == 1) {
      fences = fenceChars(pair.open, "");
    } else if (v == 2) {
      fences = fenceChars("", pair.close);
    } else {
      fences = fenceChars(pair.open, pair.close);
    }
  } else if (kind == kWhiteFence) {
    constexpr std::string_view kWhiteOpen = R"({\uc1\u10214\'3f})";
    constexpr std::string_view kWhiteClose = R"({\uc1\u10215\'3f})";
    fences = v == 1   ? fenceChars(kWhiteOpen, "")
             : v == 2 ? fenceChars("", kWhiteClose)
                      : fenceChars(kWhiteOpen, kWhiteClose);
  } else {
    // Interval: low digit the left fence, high digit the right one; both always shown.
    switch (v) {
      case 0x12: fences = fenceChars("[", ")"); break;
      case 0x22: fences = fenceChars("[", "["); break;
      case 0x23: fences = fenceChars("]", "["); break;
      case 0x30: fences = fenceChars("(", "]"); break;
      case 0x33: fences = fenceChars("]", "]"); break;
      default: fences = fenceChars(kAngleOpen, kAngleClose); break;
    }
  }
  const auto slots = slotTexts(node);
  const std::string_view main = slots.empty() ? std::string_view{} : std::string_view{slots[0]};
  into.push(cat({R"({\md{\mdPr)", fences, R"(}{\me )", main, "}}"}));
}

void Writer::braKet(const Node& node, Container& into) {
  const auto slots = slotTexts(node);
  auto slot = [&](std::size_t i) -> std::string_view {
    return i < slots.size() ? std::string_view{slots[i]} : std::string_view{};
  };
  const int v = node.variation;
  std::string om = R"({\md{\mdPr)";
  if (v == 1) {
    om += cat({R"({\mbegChr )", kAngleOpen, R"(}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr |}})",
               R"({\me )", slot(0), "}", "}}}"});
  } else if (v == 2) {
    om += cat({R"({\mbegChr |}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr )", kAngleClose,
               "}}", R"({\me )", slot(1), "}", "}}}"});
  } else {
    om += cat({R"({\mbegChr )", kAngleOpen, R"(}{\mendChr )", kAngleClose, "}}", R"({\me )",
               slot(0), R"(}{\me )", slot(1), "}", "}"});
  }
  into.push(std::move(om));
}

void Writer::fraction(const Node& node, Container& into, std::string_view type,
                      bool longDivision) {
  const auto slots = slotTexts(node);
  const std::string_view first = slots.size() > 0 ? std::string_view{slots[0]} : std::string_view{};
  const std::string_view second = slots.size() > 1 ? std::string_view{slots[1]} : std::string_view{};
  const std::string head = cat({R"({\mf{\mfPr{\mtype )", type, "}}"});
  // A long division is a bar fraction whose numerator holds a blank and the quotient and
  // whose denominator holds a closing parenthesis and the dividend, each in a run.
  if (longDivision) {
    into.push(cat({head, R"({\mnum {\mr\mscr0\msty0  })", second, R"(}{\mden {\mr\mscr0\msty0 )})",
                   first, "}}"}));
  } else {
    into.push(cat({head, R"({\mnum )", first, R"(}{\mden )", second, "}}"}));
  }
}

void Writer::radical(const Node& node, Container& into) {
  const auto slots = slotTexts(node);
  const std::string_view radicand = slots.size() > 0 ? std::string_view{slots[0]} : std::string_view{};
  const std::string_view index = slots.size() > 1 ? std::string_view{slots[1]} : std::string_view{};
  // The degree group is written for a square root too, empty and hidden.
  into.push(cat({R"({\mrad{\mradPr )", node.variation != 0 ? "}" : R"({\mdegHide on}})",
                            R"({\mdeg )", index, R"(}{\me )", radicand, "}}"}));
}

void Writer::script(const Node& node, Container& into, int kind, bool before) {
  const auto slots = slotTexts(node);
  const std::string_view sub = slots.size() > 0 ? std::string_view{slots[0]} : std::string_view{};
  const std::string_view sup = slots.size() > 1 ? std::string_view{slots[1]} : std::string_view{};
  // MTEF writes a script after the item it scripts: that item is the base.
  std::unique_ptr<Atom> base = takeBase(into);
  if (!before) {
    const char* head = kind == kSuperscript ? R"({\msSup{\msSupPr}{\me )"
                       : kind == kSubscript ? R"({\msSub{\msSubPr}{\me )"
                                            : R"({\msSubSup{\msSubSupPr}{\me )";
    std::string tail = kind == kSuperscript ? cat({R"(}{\msup )", sup, "}}"})
                       : kind == kSubscript ? cat({R"(}{\msub )", sub, "}}"})
                                            : cat({R"(}{\msub )", sub, R"(}{\msup )", sup, "}}"});
    if (!base) base = std::make_unique<Atom>(std::string{});
    into.push(Atom(head, std::move(base), std::move(tail)));
    return;
  }
  // Leading scripts: the item before them is written back unchanged; the pre-script
  // group itself has an empty base.
  std::string pre;
  if (kind == kSuperscript) {
    pre = cat({R"({\msPre{\msPrePr}{\msub }{\msup )", sup, R"(}{\me }})"});
  } else if (kind == kSubscript) {
    pre = cat({R"({\msPre{\msPrePr}{\msub )", sub, R"(}{\msup }{\me }})"});
  } else {
    pre = cat({R"({\msPre{\msPrePr}{\msub )", sub, R"(}{\msup )", sup, R"(}{\me }})"});
  }
  if (base) {
    into.push(Atom(std::string{}, std::move(base), std::move(pre)));
  } else {
    into.push(Atom(std::move(pre)));
  }
}

void Writer::bigOperator(const Node& node, Container& into, int kind) {
  const auto [lower, upper] = equation::bigOperatorLimits(version_, node.variation);
  const bool both = lower && upper;
  const bool lowerOnly = lower && !upper;
  std::string_view opening;
  if (kind == kIntegralStyle) {
    opening = both        ? R"({\msSubSup{\msSubSupPr }{\me )"
              : lowerOnly ? R"({\msSub{\msSubPr}{\me )"
                          : R"({\msSup{\msSupPr}{\me )";
  } else {
    opening = both ? R"({\mlimUpp{\mlimUppPr }{\me {\mlimLow{\mlimLowPr }{\me )"
              : lowerOnly ? R"({\mlimLow{\mlimLowPr }{\me )"
                          : R"({\mlimUpp{\mlimUppPr }{\me )";
  }
  // The operand keeps its atoms: a script after the operator scripts the operand's end.
  Container main;
  if (!node.children.empty()) item(node.children[0], main);
  std::vector<std::string> rest;
  for (std::size_t i = 1; i < node.children.size(); ++i) rest.push_back(slotText(node, i));
  auto slot = [&](std::size_t i) -> std::string_view {
    return i >= 1 && i - 1 < rest.size() ? std::string_view{rest[i - 1]} : std::string_view{};
  };
  const std::string_view lim = slot(1), upp = slot(2);
  std::string tail;
  if (kind == kIntegralStyle) {
    tail = both ? cat({R"(}{\msub )", lim, R"(}{\msup )", upp, "}}"})
           : lowerOnly ? cat({R"(}{\msub )", lim, "}}"})
                       : cat({R"(}{\msup )", upp, "}}"});
  } else {
    tail = both ? cat({R"(}{\mlim )", lim, R"(}}}{\mlim )", upp, "}}"})
           : lowerOnly ? cat({R"(}{\mlim )", lim, "}}"})
                       : cat({R"(}{\mlim )", upp, "}}"});
  }
  if (kind == kLimit) {
    into.push(cat({opening, main.text(), tail}));
    return;
  }
  // The operator character is the base of the group; the operand follows the group so
  // that its content is not lost.
  into.push(cat({opening, slot(3), tail}));
  for (Atom& atom : main.atoms) {
    atom.match = -1;
    into.push(std::move(atom));
  }
}

constexpr std::string_view kBothHidden = R"({\msubHide on}{\msupHide on})";
constexpr std::string_view kUpperHidden = R"({\msupHide on})";
constexpr std::string_view kUnderOver = R"({\mlimLoc undOvr})";
constexpr std::string_view kSubSup = R"({\mlimLoc subSup})";

std::string_view integralChar(int count, bool contour) {
  if (count == 2) return contour ? R"({\uc1\u8751\'3f}})" : R"({\uc1\u8748\'3f}})";
  if (count == 3) return contour ? R"({\uc1\u8752\'3f}})" : R"({\uc1\u8749\'3f}})";
  return contour ? R"({\uc1\u8750\'3f}})" : R"({\uc1\u8747\'3f}})";
}

// Large operators by kind: 0 summation, 1 product, 2 coproduct, 3 union, 4 intersection.
std::string_view largeOperatorChar(int kind) {
  switch (kind) {
    case 1: return R"({\uc1\u8719\'3f}})";
    case 2: return R"({\uc1\u8720\'3f}})";
    case 3: return R"({\uc1\u8899\'3f}})";
    case 4: return R"({\uc1\u8898\'3f}})";
    default: return R"({\uc1\u8721\'3f}})";
  }
}

// The n-ary group: limits first, then the operand.
void Writer::nary(const Node& node, Container& into, std::string_view chr,
                  std::string_view props, std::size_t lowerSlot, std::size_t upperSlot) {
  const auto slots = slotTexts(node);
  auto slot = [&](std::size_t i) -> std::string_view {
    return i < slots.size() ? std::string_view{slots[i]} : std::string_view{};
  };
  const std::string_view main = slot(0);
  const std::string_view operand = main;
  into.push(cat({R"({\mnary{\mnaryPr{\mctrlPr }{\mchr )", chr, props, R"(}{\msub )",
                            slot(lowerSlot), R"(}{\msup )", slot(upperSlot), R"(}{\me )", operand,
                            "}}"}));
}

void Writer::integral5(const Node& node, Container& into) {
  const equation::IntegralForm form = equation::integralForm(node.variation);
  const auto [anticlockwise, clockwise, contour, sumStyle] =
      std::tuple{form.anticlockwise, form.clockwise, form.contour, form.sumStyle};
  const int count = form.count;
  const auto [lower, upper] = form.limits;
  std::string_view hide;
  if (!lower && !upper) {
    hide = kBothHidden;
  } else if (count == 1 && !contour) {
    hide = !upper ? kUpperHidden : std::string_view{};
  } else {
    hide = kUpperHidden;
  }
  // A single contour integral keeps its direction: clockwise U+2232, anticlockwise U+2233.
  const std::string_view chr = count == 1 && anticlockwise ? R"({\uc1\u8755\'3f}})"
                               : count == 1 && clockwise   ? R"({\uc1\u8754\'3f}})"
                                                           : integralChar(count, contour);
  nary(node, into, chr, cat({hide, sumStyle ? kUnderOver : kSubSup}), 1, 2);
}

void Writer::largeOperator5(const Node& node, Container& into, int kind) {
  const auto [sumStyle, limits] = equation::largeOperatorForm(node.variation);
  const std::string_view hide = !limits.lower ? kBothHidden : limits.upper ? std::string_view{} : kUpperHidden;
  nary(node, into, largeOperatorChar(kind), cat({sumStyle ? kUnderOver : kSubSup, hide}), 1, 2);
}

void Writer::integral3(const Node& node, Container& into) {
  const equation::IntegralForm f = equation::integralForm3(node.selector, node.variation);
  const bool lower = f.limits.lower, upper = f.limits.upper;
  const std::string_view hide = !lower && !upper ? kBothHidden
                                : lower && !upper ? kUpperHidden
                                                  : std::string_view{};
  nary(node, into, integralChar(f.count, f.contour), cat({hide, f.sumStyle ? kUnderOver : kSubSup}), 1, 2);
}

void Writer::largeOperator3(const Node& node, Container& into) {
  const int s = node.selector;
  const int v = node.variation & 0x0f;
  const bool lower = v == 0 || v == 1;
  const bool upper = v == 1;
  int kind = 0;
  if (s == 0x1f || s == 0x20) kind = 1;
  if (s == 0x21 || s == 0x22) kind = 2;
  if (s == 0x23 || s == 0x24) kind = 3;
  if (s == 0x25 || s == 0x26) kind = 4;
  const std::string_view hide = !lower ? kBothHidden : upper ? std::string_view{} : kUpperHidden;
  nary(node, into, largeOperatorChar(kind), hide, 1, 2);
}

constexpr std::string_view kGroupChrOpen =
    R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr )";
constexpr std::string_view kPosTop = R"({\mpos top}}{\me )";
constexpr std::string_view kVertBot = R"({\mvertJc bot}}{\me )";

void Writer::arrow(const Node& node, Container& into) {
  const equation::ArrowForm form = equation::arrowForm(node.variation);
  const bool bottom = form.below;
  const bool top = form.above;
  const auto slots = slotTexts(node);
  auto slot = [&](std::size_t i) -> std::string_view {
    return i < slots.size() ? std::string_view{slots[i]} : std::string_view{};
  };
  // The arrow's character, with the fallback byte an RTF reader without Unicode shows.
  std::string_view chr;
  switch (form.code) {
    case 0x2192: chr = R"({\uc1\u8594 >}})"; break;
    case 0x2190: chr = R"({\uc1\u8592 <}})"; break;
    case 0x2194: chr = R"({\uc1\u8596 -}})"; break;
    case 0x21CC: chr = R"({\uc1\u8652\'3f}})"; break;   // rightwards harpoon over leftwards harpoon
    case 0x2942: chr = R"({\uc1\u10562\'3f}})"; break;  // rightwards arrow above short leftwards arrow
    case 0x2944: chr = R"({\uc1\u10564\'3f}})"; break;  // short rightwards arrow above leftwards arrow
    default: chr = R"({\uc1\u8644\'3f}})"; break;       // rightwards arrow over leftwards arrow
  }
  // The text above sits on the arrow, the text below under it; with both, the arrow and
  // its upper text are the base of a lower limit holding the lower text.
  if (bottom && !top) {
    into.push(cat({kGroupChrOpen, chr, kPosTop, slot(1), "}}}}"}));
    return;
  }
  std::string arrow = cat({kGroupChrOpen, chr, kVertBot, slot(0), "}}}}"});
  if (top && bottom) {
    arrow = cat({R"({\mlimLow{\mlimLowPr }{\me )", arrow, R"(}{\mlim )", slot(1), "}}"});
  }
  into.push(std::move(arrow));
}

void Writer::accent(const Node& node, Container& into, int kind) {
  const int d = node.variation & 0x0f;
  const auto slots = slotTexts(node);
  auto slot = [&](std::size_t i) -> std::string_view {
    return i < slots.size() ? std::string_view{slots[i]} : std::string_view{};
  };
  const std::string_view main = slot(0);
  if (kind == 0) {
    // Vector arrow. Below the slot it is written as a plain bar.
    const bool below = (d & 4) != 0;
    const bool harpoon = (d & 8) != 0;
    const int bits = d & 3;
    std::string_view chr;
    if (bits == 2) {
      chr = harpoon ? R"({\uc1\u8401\'3f}}}{\me )" : R"({\uc1\u8407\'3f}}}{\me )";
    } else if (bits == 1) {
      chr = harpoon ? R"({\uc1\u8400\'3f}}}{\me )" : R"({\uc1\u8406\'3f}}}{\me )";
    } else {
      chr = R"({\uc1\u8417\'3f}}}{\me )";
    }
    into.push(below ? cat({R"({\mbar{\mbarPr{\mpos bot}}{\me )", main, "}}"})
                               : cat({R"({\macc{\maccPr{\mchr )", chr, main, "}}"}));
    return;
  }
  if (kind >= 1 && kind <= 4) {
    const std::string_view opening = kind == 1 ? R"({\macc{\maccPr{\mchr {\uc1\u771\'3f}}}{\me )"
                                               : R"({\macc{\maccPr }{\me )";
    into.push(cat({opening, main, "}}"}));
    return;
  }
  // Horizontal brace and bracket, with a label.
  const std::string_view label = slot(1);
  into.push(
      d == 1 ? cat({R"({\mlimUpp{\mlimUppPr }{\me {\mgroupChr{\mgroupChrPr{\mchr {\uc1\u9182\'3f}}{\mpos top}{\mvertJc bot}}{\me )",
                    main, R"(}}}{\mlim )", label, "}}"})
             : cat({R"({\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me )", main,
                    R"(}}}{\mlim )", label, "}}"}));
}

void Writer::box(const Node& node, Container& into, bool strike) {
  const int v = node.variation;
  const std::string main = slotText(node, 0);
  if (strike) {
    std::string_view strikes;
    const bool tlbr = (v & 4) != 0;
    const bool bltr = (v & 2) != 0;
    if (v & 1) {
      strikes = R"({\mstrikeH on})";
    } else if (tlbr && !bltr) {
      strikes = R"({\mstrikeTLBR on})";
    } else if (bltr && !tlbr) {
      strikes = R"({\mstrikeBLTR on})";
    } else if (tlbr && bltr) {
      strikes = R"({\mstrikeBLTR on}{\mstrikeTLBR on})";
    }
    into.push(
        cat({R"({\mborderBox{\mborderBoxPr {\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on})",
             strikes, R"(}{\me )", main, "}}"}));
    return;
  }
  std::string_view props;
  switch (equation::boxBorders(v)) {
    case equation::BoxBorders::TopLeft: props = R"({\mhideBot on}{\mhideRight on})"; break;
    case equation::BoxBorders::TopRight: props = R"({\mhideBot on}{\mhideLeft on})"; break;
    case equation::BoxBorders::BottomRight: props = R"({\mhideTop on}{\mhideLeft on})"; break;
    case equation::BoxBorders::BottomLeft: props = R"({\mhideTop on}{\mhideRight on})"; break;
    case equation::BoxBorders::All: break;
  }
  into.push(cat({R"({\mborderBox{\mborderBoxPr )", props, R"(}{\me )", main, "}}"}));
}

void Writer::decoration(const Node& node, Container& into) {
  // MTEF 5 under- and overbars use the selectors of MTEF 3.
  const int s = v5() ? (node.selector == 12 ? 0x10 : 0x11) : node.selector;
  const bool underbar = s == 0x10;
  const bool overbar = s == 0x11;
  const bool arrowSel = s == 0x12 || s == 0x13 || s == 0x14;
  const bool brace = s == 0x1b || s == 0x1c;
  const bool arrowAccent = s == 0x2e || s == 0x2f;
  std::string_view opening;
  if (underbar) {
    opening = R"({\mbar{\mbarPr{\mpos bot}}{\me )";
  } else if (overbar) {
    opening = R"({\mbar{\mbarPr{\mpos top}}{\me )";
  } else if (s == 0x12) {
    opening = R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr {\uc1\u8592 <}})";
  } else if (s == 0x13) {
    opening = R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr {\uc1\u8594 >}})";
  } else if (s == 0x14) {
    opening = R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr {\uc1\u8596 -}})";
  } else if (s == 0x1b) {
    opening = R"({\mlimUpp{\mlimUppPr }{\me {\mgroupChr{\mgroupChrPr{\mchr {\uc1\u9182\'3f}}{\mpos top}{\mvertJc bot}}{\me )";
  } else if (s == 0x1c) {
    opening = R"({\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me )";
  } else {
    opening = R"({\macc{\maccPr{\mchr )";
  }
  const int v = node.variation;
  std::string_view afterVariation;
  if (v == 0) {
    if (arrowSel) afterVariation = kVertBot;
    if (arrowAccent) afterVariation = R"({\uc1\u8406\'3f}}}{\me )";
  } else {
    if (underbar) afterVariation = R"({\mbar{\mbarPr{\mpos bot}}{\me )";  // double underbar
    if (overbar) afterVariation = R"({\mbar{\mbarPr{\mpos top}}{\me )";  // double overbar
    if (arrowSel) afterVariation = kPosTop;
    if (arrowAccent) afterVariation = v == 1 ? R"({\uc1\u8407\'3f}}}{\me )" : R"({\uc1\u8417\'3f}}}{\me )";
  }
  const auto slots = slotTexts(node);
  auto slot = [&](std::size_t i) -> std::string_view {
    return i < slots.size() ? std::string_view{slots[i]} : std::string_view{};
  };
  std::string om = cat({opening, afterVariation, slot(0)});
  if (brace) om += cat({R"(}}}{\mlim )", slot(1)});
  om += "}}";
  if (v != 0 && (underbar || overbar)) om += "}}";
  if (arrowSel) om += "}}";
  into.push(std::move(om));
}

void Writer::arc(const Node& node, Container& into) {
  const auto slots = slotTexts(node);
  const std::string_view main = slots.empty() ? std::string_view{} : std::string_view{slots[0]};
  into.push(cat({R"({\macc{\maccPr }{\me )", main, "}}"}));
}

}  // namespace

std::string writeOfficeMathRtf(const equation::Equation& equation,
                               const OfficeMathOptions& options) {
  Writer writer(options, equation.version);
  Container body;
  writer.items(equation.body, body);
  const std::string text = body.text();
  if (text.empty()) return {};
  return "{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath " + text + "}}\r\n{\\mmathPict}}\r\n";
}

}  // namespace writers
