// The Office Math writer, RTF control-word form: walks the equation tree and writes each
// record as the Office Math group that means the same.
//
// All text is appended to one buffer in the order it is made, and what stands where in
// the output is a chain of pieces of that buffer: a template links its own text around
// the chains of its slots, so no text is copied until the finished equation is written
// out in one pass. Output is gathered per container (a line, a slot, a cell) as a list of
// atoms: the chain of one character run, template, pile or matrix each. A script template
// takes its base as the last atom of its container and links its own text around it, so
// finding and wrapping the base cost nothing and no marker is ever written into the text.
//
// The buffer, the pieces and the containers belong to the scratch of the run and keep
// their memory from one equation to the next.
#include "equation/variations.h"
#include "writers/office_math_rtf.h"

#include <charconv>
#include <cstring>
#include <initializer_list>
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

// A stretch of the text buffer, and the index of the piece after it in its chain (-1
// for none).
struct Piece {
  std::size_t begin;
  std::size_t end;
  std::int32_t next;
};

// A sequence of pieces, empty when it has none. A chain is linked into at most one other
// chain; after that it is not used on its own again.
struct Chain {
  std::int32_t first = -1;
  std::int32_t last = -1;
  bool empty() const { return first < 0; }
};

class Rope {
 public:
  void clear() {
    text_.clear();
    pieces_.clear();
  }
  std::string& text() { return text_; }
  std::size_t capacity() const { return text_.capacity() + pieces_.capacity() * sizeof(Piece); }

  // Puts the text appended since `from` at the end of `chain`.
  void extend(Chain& chain, std::size_t from) {
    const std::size_t end = text_.size();
    if (from == end) return;
    if (chain.last >= 0 && pieces_[static_cast<std::size_t>(chain.last)].end == from) {
      pieces_[static_cast<std::size_t>(chain.last)].end = end;  // it follows on directly
      return;
    }
    const auto index = static_cast<std::int32_t>(pieces_.size());
    pieces_.push_back({from, end, -1});
    if (chain.first < 0) {
      chain.first = index;
    } else {
      pieces_[static_cast<std::size_t>(chain.last)].next = index;
    }
    chain.last = index;
  }
  void add(Chain& chain, std::string_view text) {
    const std::size_t from = text_.size();
    text_.append(text);
    extend(chain, from);
  }
  void addNumber(Chain& chain, std::int32_t value) {
    char digits[12];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    add(chain, std::string_view(digits, static_cast<std::size_t>(end - digits)));
  }
  // Links `tail` after `chain`.
  void join(Chain& chain, Chain tail) const {
    if (tail.empty()) return;
    if (chain.empty()) {
      chain = tail;
      return;
    }
    pieces_[static_cast<std::size_t>(chain.last)].next = tail.first;
    chain.last = tail.last;
  }
  // Appends the chain's text, `size` bytes in all, to `out`.
  void write(Chain chain, std::size_t size, std::string& out) const {
    std::size_t at = out.size();
    out.resize(at + size);
    for (std::int32_t i = chain.first; i >= 0; i = pieces_[static_cast<std::size_t>(i)].next) {
      const Piece& p = pieces_[static_cast<std::size_t>(i)];
      std::memcpy(out.data() + at, text_.data() + p.begin, p.end - p.begin);
      at += p.end - p.begin;
    }
  }
  std::size_t size(Chain chain) const {
    std::size_t n = 0;
    for (std::int32_t i = chain.first; i >= 0; i = pieces_[static_cast<std::size_t>(i)].next)
      n += pieces_[static_cast<std::size_t>(i)].end - pieces_[static_cast<std::size_t>(i)].begin;
    return n;
  }

 private:
  std::string text_;
  mutable std::vector<Piece> pieces_;
};

// One part of a text being put together: literal text or a finished chain.
struct Part {
  Part(const char* literal) : text(literal) {}       // NOLINT: parts are written as a list
  Part(std::string_view literal) : text(literal) {}  // NOLINT
  Part(Chain written) : chain(written), isChain(true) {}  // NOLINT
  std::string_view text;
  Chain chain;
  bool isChain = false;
};

// One atom of the output: a character run, a template, a pile or a matrix.
struct Atom {
  Atom(Chain written) : text(written) {}  // NOLINT: an atom is its text and two marks
  Chain text;
  std::int8_t bracket = 0;  // a character that is an opening (1) or closing (-1) bracket
  std::int64_t match = -1;  // for a closing bracket: the place of its opening one
};

// The atoms written into one place of the equation: a line, a slot, a pile line or a
// matrix cell. A script finds its base there and nowhere else: at the start of the place
// it has none. Opening and closing brackets written as characters are paired as they
// come, so that a script on a closing bracket takes the whole bracketed group as its base.
struct Container {
  std::vector<Atom> atoms;
  std::vector<std::size_t> openBrackets;  // unmatched opening brackets, innermost last

  void clear() {
    atoms.clear();
    openBrackets.clear();
  }
  void push(Atom atom) {
    if (atom.bracket > 0) {
      openBrackets.push_back(atoms.size());
    } else if (atom.bracket < 0 && !openBrackets.empty()) {
      atom.match = static_cast<std::int64_t>(openBrackets.back());
      openBrackets.pop_back();
    }
    atoms.push_back(atom);
  }
};

}  // namespace

// What a run's equations share: the text buffer with its pieces, and the containers,
// lent out one nesting level at a time.
struct OfficeMathScratch::State {
  Rope rope;
  std::vector<std::unique_ptr<Container>> containers;
  std::size_t containersInUse = 0;
};

OfficeMathScratch::OfficeMathScratch() = default;
OfficeMathScratch::State& OfficeMathScratch::state() {
  if (!state_) state_ = std::make_unique<State>();
  return *state_;
}
OfficeMathScratch::~OfficeMathScratch() = default;
OfficeMathScratch::OfficeMathScratch(OfficeMathScratch&&) noexcept = default;
OfficeMathScratch& OfficeMathScratch::operator=(OfficeMathScratch&&) noexcept = default;

namespace {

using State = OfficeMathScratch::State;

// A container of the scratch, empty, for as long as its place is being written.
class Place {
 public:
  explicit Place(State& state) : state_(state) {
    if (state.containersInUse == state.containers.size())
      state.containers.push_back(std::make_unique<Container>());
    container_ = state.containers[state.containersInUse].get();
    ++state.containersInUse;
    container_->clear();
  }
  ~Place() { --state_.containersInUse; }
  Place(const Place&) = delete;
  Place& operator=(const Place&) = delete;
  Container& operator*() const { return *container_; }
  Container* operator->() const { return container_; }

 private:
  State& state_;
  Container* container_ = nullptr;
};

constexpr std::string_view kMatrixHeader =
    R"({\mm {\mmPr{\mplcHide on}{\mmcs{\mmc{\mmcPr{\mmcJc )";

std::string_view horizontalAlignment(std::int32_t value) {
  if (value == 2) return "center";
  if (value == 3) return "right";
  return "left";
}

class Writer {
 public:
  Writer(const OfficeMathOptions& options, std::int32_t version, State& state)
      : chars_{options.euclid, options.uniPrime, options.greekFontRef},
        version_(version),
        state_(state),
        rope_(state.rope) {}

  void item(const Item& item, Container& into) {
    if (item.record) record(*item.record, into);
  }
  void items(equation::Span<Item> list, Container& into) {
    for (const Item& i : list) item(i, into);
  }
  // The atoms of a place, linked into one chain.
  Chain text(Container& place) {
    Chain chain;
    for (const Atom& atom : place.atoms) rope_.join(chain, atom.text);
    return chain;
  }
  Chain join(std::initializer_list<Part> parts) {
    Chain chain;
    for (const Part& part : parts) {
      if (part.isChain) {
        rope_.join(chain, part.chain);
      } else {
        rope_.add(chain, part.text);
      }
    }
    return chain;
  }

 private:
  bool v5() const { return version_ == 5; }

  // A slot (or any item) written on its own; empty past the last child.
  Chain slot(const Node& node, std::size_t index) {
    if (index >= node.children.size()) return {};
    Place place(state_);
    item(node.children[index], *place);
    return text(*place);
  }

  // The base of a script: the last atom before it (a closing bracket with everything back
  // to its opening one), or an empty chain at the start of its place.
  Chain takeBase(Container& container) {
    if (container.atoms.empty()) return {};
    std::size_t from = container.atoms.size() - 1;
    const Atom& last = container.atoms.back();
    if (last.bracket < 0 && last.match >= 0) from = static_cast<std::size_t>(last.match);
    Chain base;
    for (std::size_t i = from; i < container.atoms.size(); ++i) rope_.join(base, container.atoms[i].text);
    container.atoms.erase(container.atoms.begin() + static_cast<std::ptrdiff_t>(from), container.atoms.end());
    while (!container.openBrackets.empty() && container.openBrackets.back() >= from)
      container.openBrackets.pop_back();
    return base;
  }

  void record(const Node& node, Container& into) {
    switch (node.kind) {
      case Kind::Line:
        if (!node.nullLine) items(node.children, into);
        return;
      case Kind::Char: {
        Atom atom{character(node)};
        atom.bracket = bracketOf(node);
        into.push(atom);
        // A record other than an embellishment list where the character announced one
        // follows the character.
        if (node.attached && !isEmbellishmentList(*node.attached)) item(*node.attached, into);
        return;
      }
      case Kind::Pile:
        into.push(Atom{pile(node)});
        return;
      case Kind::Matrix:
        into.push(Atom{matrix(node)});
        return;
      case Kind::Template:
        templ(node, into);
        return;
      default:
        return;  // sizes, fonts, definitions and skipped records draw nothing
    }
  }

  Chain pile(const Node& node) {
    Chain text = join({kMatrixHeader, horizontalAlignment(node.halign), R"(}{\mcount 1}}}}})"});
    for (const Item& line : node.children) {
      Place row(state_);
      item(line, *row);
      rope_.join(text, join({R"({\mmr {\me )", this->text(*row), "}}"}));
    }
    rope_.add(text, "}");
    return text;
  }

  Chain matrix(const Node& node) {
    Chain text = join({kMatrixHeader, horizontalAlignment(node.halign), R"(}{\mcount )"});
    rope_.addNumber(text, node.columns);
    rope_.add(text, "}}}}}");
    std::size_t cell = 0;
    for (std::int32_t row = 0; row < node.rows; ++row) {
      rope_.add(text, R"({\mmr )");
      for (std::int32_t column = 0; column < node.columns; ++column, ++cell) {
        Place content(state_);
        if (cell < node.children.size()) item(node.children[cell], *content);
        rope_.join(text, join({R"({\me )", this->text(*content), "}"}));
      }
      rope_.add(text, "}");
    }
    rope_.add(text, "}");
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

  Chain character(const Node& node) {
    std::string& out = rope_.text();
    const std::size_t from = out.size();
    out += "{\\mr";
    out += chars_.styleWords(node);
    chars_.appendText(node, out);
    const Node* marks = node.attached && isEmbellishmentList(*node.attached)
                            ? node.attached->record.get()
                            : nullptr;
    if (marks) primes(*marks, out);
    out += '}';
    Chain run;
    rope_.extend(run, from);
    return marks ? embellish(run, *marks) : run;
  }

  Chain embellish(Chain run, const Node& list);
  void primes(const Node& list, std::string& out) const;
  void templ(const Node& node, Container& into);
  void fence(const Node& node, Container& into, int kind);
  void braKet(const Node& node, Container& into);
  void fraction(const Node& node, Container& into, std::string_view type, bool longDivision);
  void radical(const Node& node, Container& into);
  void script(const Node& node, Container& into, int kind, bool before);
  void bigOperator(const Node& node, Container& into, int kind);
  void nary(const Node& node, Container& into, std::string_view chr, std::string_view props,
            std::string_view moreProps, std::size_t lowerSlot, std::size_t upperSlot);
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
  State& state_;
  Rope& rope_;
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

constexpr std::string_view kBorderBoxOpen =
    "{\\mborderBox{\\mborderBoxPr{\\mhideTop on}{\\mhideBot on}{\\mhideLeft on}{\\mhideRight on}";

// The primes among a character's embellishments, written after the character in its own
// run: prime, double and triple prime, reversed prime; plain apostrophes and a grave
// accent when the Unicode forms are not wanted.
void Writer::primes(const Node& list, std::string& out) const {
  for (const equation::Embellishment& mark : list.marks) {
    std::uint32_t prime = 0;
    std::string_view plain;
    switch (mark.type) {
      case 5: prime = 8242, plain = "'"; break;
      case 6: prime = 8243, plain = "''"; break;
      case 18: prime = 8244, plain = "'''"; break;
      case 7: prime = 8245, plain = "`"; break;
      default: continue;
    }
    if (chars_.uniPrime) {
      appendUnicodeEscape(out, prime);
    } else {
      out += plain;
    }
  }
}

// Wraps the character's run in the groups of its other embellishments, the last one
// outermost: accents above, bars, strike-through boxes, and the marks below as a lower
// limit.
Chain Writer::embellish(Chain run, const Node& list) {
  Chain result = run;
  auto wrap = [&](std::initializer_list<std::string_view> opener,
                  std::initializer_list<std::string_view> closer) {
    Chain wrapped;
    for (std::string_view part : opener) rope_.add(wrapped, part);
    rope_.join(wrapped, result);
    for (std::string_view part : closer) rope_.add(wrapped, part);
    result = wrapped;
  };
  bool middleBar = false;
  bool slash = false;
  for (const equation::Embellishment& mark : list.marks) {
    const std::int32_t type = mark.type;
    if (const char* accentChar = accentCharacter(type)) {
      wrap({"{\\macc{\\maccPr{\\mchr ", accentChar}, {"}}"});
      continue;
    }
    if (type == 16) {
      if (!middleBar) wrap({kBorderBoxOpen, "{\\mstrikeH on}", "}{\\me"}, {"}}"});
      middleBar = true;
      continue;
    }
    if (const char* strikes = slashStrikes(type)) {
      if (!slash) wrap({kBorderBoxOpen, strikes, "}{\\me"}, {"}}"});
      slash = true;
      continue;
    }
    if (type == 29) {
      wrap({"{\\mbar{\\mbarPr{\\mpos bot}}{\\me"}, {"}}"});
    } else if (const std::string_view under = underMark(type); !under.empty()) {
      wrap({"{\\mlimLow{\\mlimLowPr }{\\me "}, {"}{\\mlim {\\mr\\mscr0\\msty0 ", under, "}}}"});
    }
  }
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


void Writer::fence(const Node& node, Container& into, int kind) {
  const int v = node.variation;
  std::string_view open, close;  // the fence characters, empty for none
  auto fences = [&](std::string_view left, std::string_view right) {
    open = left;
    close = right;
  };
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
      fences(pair.open, pair.close);
    } else if (v == 1) {
      fences(pair.open, "");
    } else if (v == 2) {
      fences("", pair.close);
    } else {
      fences(pair.open, pair.close);
    }
  } else if (kind == kWhiteFence) {
    constexpr std::string_view kWhiteOpen = R"({\uc1\u10214\'3f})";
    constexpr std::string_view kWhiteClose = R"({\uc1\u10215\'3f})";
    if (v == 1) {
      fences(kWhiteOpen, "");
    } else if (v == 2) {
      fences("", kWhiteClose);
    } else {
      fences(kWhiteOpen, kWhiteClose);
    }
  } else {
    // Interval: low digit the left fence, high digit the right one; both always shown.
    switch (v) {
      case 0x12: fences("[", ")"); break;
      case 0x22: fences("[", "["); break;
      case 0x23: fences("]", "["); break;
      case 0x30: fences("(", "]"); break;
      case 0x33: fences("]", "]"); break;
      default: fences(kAngleOpen, kAngleClose); break;
    }
  }
  const Chain main = slot(node, 0);
  into.push(join({R"({\md{\mdPr{\mbegChr )", open, R"(}{\mendChr )", close, R"(}}{\me )", main, "}}"}));
}

void Writer::braKet(const Node& node, Container& into) {
  auto slot = [&](std::size_t i) { return this->slot(node, i); };
  const int v = node.variation;
  if (v == 1) {
    into.push(join({R"({\md{\mdPr)", R"({\mbegChr )", kAngleOpen, R"(}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr |}})",
               R"({\me )", slot(0), "}", "}}}"}));
  } else if (v == 2) {
    into.push(join({R"({\md{\mdPr)", R"({\mbegChr |}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr )", kAngleClose,
               "}}", R"({\me )", slot(1), "}", "}}}"}));
  } else {
    into.push(join({R"({\md{\mdPr)", R"({\mbegChr )", kAngleOpen, R"(}{\mendChr )", kAngleClose, "}}", R"({\me )",
               slot(0), R"(}{\me )", slot(1), "}", "}"}));
  }
}

void Writer::fraction(const Node& node, Container& into, std::string_view type,
                      bool longDivision) {
  const Chain first = slot(node, 0);
  const Chain second = slot(node, 1);
  const std::string_view head = R"({\mf{\mfPr{\mtype )";
  // A long division is a bar fraction whose numerator holds a blank and the quotient and
  // whose denominator holds a closing parenthesis and the dividend, each in a run.
  if (longDivision) {
    into.push(join({head, type, "}}", R"({\mnum {\mr\mscr0\msty0  })", second, R"(}{\mden {\mr\mscr0\msty0 )})",
                   first, "}}"}));
  } else {
    into.push(join({head, type, "}}", R"({\mnum )", first, R"(}{\mden )", second, "}}"}));
  }
}

void Writer::radical(const Node& node, Container& into) {
  const Chain radicand = slot(node, 0);
  const Chain index = slot(node, 1);
  // The degree group is written for a square root too, empty and hidden.
  into.push(join({R"({\mrad{\mradPr )", node.variation != 0 ? "}" : R"({\mdegHide on}})",
                            R"({\mdeg )", index, R"(}{\me )", radicand, "}}"}));
}

void Writer::script(const Node& node, Container& into, int kind, bool before) {
  const Chain sub = slot(node, 0);
  const Chain sup = slot(node, 1);
  // MTEF writes a script after the item it scripts: that item is the base.
  const Chain base = takeBase(into);
  if (!before) {
    const char* head = kind == kSuperscript ? R"({\msSup{\msSupPr}{\me )"
                       : kind == kSubscript ? R"({\msSub{\msSubPr}{\me )"
                                            : R"({\msSubSup{\msSubSupPr}{\me )";
    const Chain tail = kind == kSuperscript ? join({R"(}{\msup )", sup, "}}"})
                       : kind == kSubscript ? join({R"(}{\msub )", sub, "}}"})
                                            : join({R"(}{\msub )", sub, R"(}{\msup )", sup, "}}"});
    into.push(join({head, base, tail}));
    return;
  }
  // Leading scripts: the item before them is written back unchanged; the pre-script
  // group itself has an empty base.
  Chain pre;
  if (kind == kSuperscript) {
    pre = join({R"({\msPre{\msPrePr}{\msub }{\msup )", sup, R"(}{\me }})"});
  } else if (kind == kSubscript) {
    pre = join({R"({\msPre{\msPrePr}{\msub )", sub, R"(}{\msup }{\me }})"});
  } else {
    pre = join({R"({\msPre{\msPrePr}{\msub )", sub, R"(}{\msup )", sup, R"(}{\me }})"});
  }
  into.push(join({base, pre}));
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
  Place main(state_);
  if (!node.children.empty()) item(node.children[0], *main);
  const Chain lim = slot(node, 1), upp = slot(node, 2);
  Chain tail;
  if (kind == kIntegralStyle) {
    tail = both ? join({R"(}{\msub )", lim, R"(}{\msup )", upp, "}}"})
           : lowerOnly ? join({R"(}{\msub )", lim, "}}"})
                       : join({R"(}{\msup )", upp, "}}"});
  } else {
    tail = both ? join({R"(}{\mlim )", lim, R"(}}}{\mlim )", upp, "}}"})
           : lowerOnly ? join({R"(}{\mlim )", lim, "}}"})
                       : join({R"(}{\mlim )", upp, "}}"});
  }
  if (kind == kLimit) {
    into.push(join({opening, text(*main), tail}));
    return;
  }
  // The operator character is the base of the group; the operand follows the group so
  // that its content is not lost.
  into.push(join({opening, slot(node, 3), tail}));
  for (Atom atom : main->atoms) {
    atom.match = -1;
    into.push(atom);
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
                  std::string_view props, std::string_view moreProps, std::size_t lowerSlot,
                  std::size_t upperSlot) {
  into.push(join({R"({\mnary{\mnaryPr{\mctrlPr }{\mchr )", chr, props, moreProps, R"(}{\msub )",
                  slot(node, lowerSlot), R"(}{\msup )", slot(node, upperSlot), R"(}{\me )", slot(node, 0),
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
  nary(node, into, chr, hide, sumStyle ? kUnderOver : kSubSup, 1, 2);
}

void Writer::largeOperator5(const Node& node, Container& into, int kind) {
  const auto [sumStyle, limits] = equation::largeOperatorForm(node.variation);
  const std::string_view hide = !limits.lower ? kBothHidden : limits.upper ? std::string_view{} : kUpperHidden;
  nary(node, into, largeOperatorChar(kind), sumStyle ? kUnderOver : kSubSup, hide, 1, 2);
}

void Writer::integral3(const Node& node, Container& into) {
  const equation::IntegralForm f = equation::integralForm3(node.selector, node.variation);
  const bool lower = f.limits.lower, upper = f.limits.upper;
  const std::string_view hide = !lower && !upper ? kBothHidden
                                : lower && !upper ? kUpperHidden
                                                  : std::string_view{};
  nary(node, into, integralChar(f.count, f.contour), hide, f.sumStyle ? kUnderOver : kSubSup, 1, 2);
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
  nary(node, into, largeOperatorChar(kind), hide, {}, 1, 2);
}

constexpr std::string_view kGroupChrOpen =
    R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr )";
constexpr std::string_view kPosTop = R"({\mpos top}}{\me )";
constexpr std::string_view kVertBot = R"({\mvertJc bot}}{\me )";

void Writer::arrow(const Node& node, Container& into) {
  const equation::ArrowForm form = equation::arrowForm(node.variation);
  const bool bottom = form.below;
  const bool top = form.above;
  auto slot = [&](std::size_t i) { return this->slot(node, i); };
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
    into.push(join({kGroupChrOpen, chr, kPosTop, slot(1), "}}}}"}));
    return;
  }
  const Chain arrow = join({kGroupChrOpen, chr, kVertBot, slot(0), "}}}}"});
  if (top && bottom) {
    into.push(join({R"({\mlimLow{\mlimLowPr }{\me )", arrow, R"(}{\mlim )", slot(1), "}}"}));
  } else {
    into.push(arrow);
  }
}

void Writer::accent(const Node& node, Container& into, int kind) {
  const int d = node.variation & 0x0f;
  auto slot = [&](std::size_t i) { return this->slot(node, i); };
  const Chain main = slot(0);
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
    into.push(below ? join({R"({\mbar{\mbarPr{\mpos bot}}{\me )", main, "}}"})
                               : join({R"({\macc{\maccPr{\mchr )", chr, main, "}}"}));
    return;
  }
  if (kind >= 1 && kind <= 4) {
    const std::string_view opening = kind == 1 ? R"({\macc{\maccPr{\mchr {\uc1\u771\'3f}}}{\me )"
                                               : R"({\macc{\maccPr }{\me )";
    into.push(join({opening, main, "}}"}));
    return;
  }
  // Horizontal brace and bracket, with a label.
  const Chain label = slot(1);
  into.push(
      d == 1 ? join({R"({\mlimUpp{\mlimUppPr }{\me {\mgroupChr{\mgroupChrPr{\mchr {\uc1\u9182\'3f}}{\mpos top}{\mvertJc bot}}{\me )",
                    main, R"(}}}{\mlim )", label, "}}"})
             : join({R"({\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me )", main,
                    R"(}}}{\mlim )", label, "}}"}));
}

void Writer::box(const Node& node, Container& into, bool strike) {
  const int v = node.variation;
  const Chain main = slot(node, 0);
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
        join({R"({\mborderBox{\mborderBoxPr {\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on})",
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
  into.push(join({R"({\mborderBox{\mborderBoxPr )", props, R"(}{\me )", main, "}}"}));
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
  auto slot = [&](std::size_t i) { return this->slot(node, i); };
  Chain om = join({opening, afterVariation, slot(0)});
  if (brace) rope_.join(om, join({R"(}}}{\mlim )", slot(1)}));
  rope_.add(om, "}}");
  if (v != 0 && (underbar || overbar)) rope_.add(om, "}}");
  if (arrowSel) rope_.add(om, "}}");
  into.push(om);
}

void Writer::arc(const Node& node, Container& into) {
  const Chain main = slot(node, 0);
  into.push(join({R"({\macc{\maccPr }{\me )", main, "}}"}));
}

}  // namespace

// Scratch text above this size is given back after the equation rather than kept for
// the next one.
constexpr std::size_t kScratchKept = std::size_t{1} << 20;

bool writeOfficeMathRtf(const equation::Equation& equation, const OfficeMathOptions& options,
                        OfficeMathScratch& scratch, std::string& out) {
  State& state = scratch.state();
  state.rope.clear();
  struct Release {  // also when writing fails half-way
    State& state;
    ~Release() {
      if (state.rope.capacity() > kScratchKept) state.rope = Rope{};
      for (std::unique_ptr<Container>& c : state.containers)
        if (c->atoms.capacity() * sizeof(Atom) > kScratchKept) c = std::make_unique<Container>();
    }
  } release{state};
  Writer writer(options, equation.version, state);
  Place body(state);
  writer.items(equation.body, *body);
  const Chain text = writer.text(*body);
  if (text.empty()) return false;
  const std::size_t size = state.rope.size(text);
  constexpr std::string_view kOpen = "{\\dn0\\mmath{\\*\\moMathPara {\\*\\moMath ";
  constexpr std::string_view kClose = "}}\r\n{\\mmathPict}}\r\n";
  out.reserve(out.size() + kOpen.size() + size + kClose.size());
  out += kOpen;
  state.rope.write(text, size, out);
  out += kClose;
  return true;
}

std::string writeOfficeMathRtf(const equation::Equation& equation,
                               const OfficeMathOptions& options) {
  OfficeMathScratch scratch;
  std::string out;
  writeOfficeMathRtf(equation, options, scratch, out);
  return out;
}

}  // namespace writers
