// The markup layout of an equation tree. Templates, piles and matrices mean here what they
// mean to the Office Math writer; characters are resolved to Unicode the way it resolves
// them when no Euclid fonts may be used, except that Greek letters keep their own codes
// (the Office Math writer swaps the two phi forms to match the Symbol font's glyphs).
//
// Each place of the equation (a line, a slot, a cell) collects its boxes in a row. A
// script takes the last box of its row as its base, or the bracketed group back to the
// matching opening bracket when that box is a closing bracket; at the start of a row it
// has none. Consecutive digits, function letters and text characters are one token each,
// so that a number, a function name or a text run is one base.
#include "writers/math_layout.h"

#include <algorithm>
#include <utility>

#include "equation/variations.h"
#include "platform/platform.h"

namespace writers::layout {
namespace {

using equation::Item;
using equation::Kind;
using equation::Node;

// Deeper boxes are not built: a script then gets an empty base and marks stop wrapping,
// so that long chains of scripts or marks cannot exhaust the stack of a writer.
constexpr std::int32_t kMaxDepth = 256;

// ---------------------------------------------------------------- characters

// A character resolved: its code point (0 when it draws nothing) or a space.
struct Glyph {
  char32_t code = 0;
  bool isSpace = false;
  Space width = Space::Medium;
};

Glyph space(Space width) { return {0, true, width}; }

// Characters of fonts whose encoding the equation does not name, by their code.
char32_t explicitFontCode(std::uint32_t code, std::uint32_t position) {
  static const char16_t kFullWidth[] = {9674,  10731, 9651,  9661,  8904,  8812,  8960,
                                        8765,  8909,  8617,  8618,  8672,  8674,  10229,
                                        10230, 10231, 10232, 10233, 10234, 10236, 10815};
  if (code >= 0xFF01 && code <= 0xFF15) return kFullWidth[code - 0xFF01];
  switch (code) {
    case 0xEA06: return 8816;
    case 0xE90B: return 10950;
    case 0xE90C: return 10949;
    case 0xE922: return 10891;
    case 0xE92D: return 10892;
    case 0xE92E: return 8739;
    case 0xE92F: return 8741;
    case 0xE932: return 10885;
    case 0xE933: return 10886;
    case 0xE93A: return 10935;
    case 0xE93B: return 10936;
    case 0x25A0: return 9724;
    case 0x25A1: return 9723;
    case 0x25CB: return 9711;
    case 0x227C: return position == 176 ? 10927 : 8828;
    case 0x227D: return position == 177 ? 10928 : 8829;
    case 0x2296: return position == 36 ? 8854 : 8861;
    case 0x22DC: return 10901;
    case 0x22DD: return 10902;
    case 0xFE68: return 10189;
    case 0xED01: return 8513;
    case 0xED02: return 567;
    case 0xEA07: return 8817;
    case 0xEA0B: case 0xEA43: case 0xEA47: return 8841;
    case 0xEA0C: case 0xEA42: case 0xEA46: return 8840;
    case 0xEA2E: return 8740;
    case 0xEA2F: return 8742;
    case 0xEA32: return 10889;
    case 0xEA33: return 10890;
    case 0xEA34: return 10887;
    case 0xEA35: return 10888;
    case 0xEA3A: return 10937;
    case 0xEA3B: return 10938;
    case 0xEA40: return 10933;
    case 0xEA41: return 10934;
    case 0xEA44: return 10955;
    case 0xEA45: return 10956;
    default: return code;
  }
}

// MT Extra characters that stand for another code point.
char32_t extraCode(std::uint32_t code) {
  switch (code) {
    case 0x2299: return 10752;
    case 0x25A1: return 9723;
    case 0x25CB: return 9711;
    case 0x301A: return 0x27E6;
    case 0x301B: return 0x27E7;
    case 0xE98F: return 8901;
    case 0xEB01: case 0xEB02: return 8644;
    case 0xEB03: case 0xEB04: return 8652;
    case 0xEB05: return 8599;
    case 0xEB06: return 8600;
    case 0x2229: return 8898;
    case 0x222A: return 8899;
    default: return code;
  }
}

char32_t highCode(std::uint32_t code) {
  switch (code) {
    case 0xF8EE: return 8968;
    case 0xF8F0: return 8970;
    case 0xF8F9: return 8969;
    case 0xF8FB: return 8971;
    case 0x220D: return 1014;
    case 0x2665: return 9825;
    case 0x2666: return 9826;
    default: return code;
  }
}

// A one-byte code of 33 or more: the upper half is code page 1252.
char32_t byteCode(std::uint32_t code) {
  if (code >= 127 && code != 215 && code != 247) {
    std::uint32_t unicode = 0;
    if (!platform::cp1252ToUnicode(static_cast<unsigned char>(code), unicode)) unicode = 0xFFFD;
    return unicode;
  }
  return code;
}

// MathType's space characters in the plain layout.
Glyph plainHighGlyph(std::uint32_t code) {
  switch (code) {
    case 0xEB01: case 0xEF01: return space(Space::Zero);
    case 0xEB02: case 0xEF02: return space(Space::Thin);
    case 0xEB04: case 0xEF04: return space(Space::Thick);
    case 0xEB05: case 0xEF05: return space(Space::Quad);
    case 0xEB08: case 0xEF08: return space(Space::Medium);
    default: return {code};
  }
}

Glyph plainByteGlyph(std::uint32_t code, std::int32_t typeface) {
  if (code < 33) {
    switch (code) {
      case 32: return typeface == 129 ? Glyph{32} : space(Space::Medium);
      case 2: return space(Space::Thin);
      case 8: return space(Space::Medium);
      case 4: return space(Space::Thick);
      case 5: return space(Space::Quad);
      default: return {};
    }
  }
  return {byteCode(code)};
}

bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Fonts whose letters are an alphabet of their own: Fraktur, Euclid Math One and Two.
bool isLetterAlphabet(const equation::BoundFont& font) {
  return contains(font.name, "Fraktur") || contains(font.name, "Math One") ||
         contains(font.name, "Math Two");
}

bool isAsciiLetter(std::uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

Glyph resolve(const Node& c) {
  const std::uint32_t code = c.code;
  const std::uint32_t high = code >> 8;
  if (c.layout == equation::CharLayout::Position8) {
    const bool explicitFont = c.typeface < 128 && c.font.valid;
    if (explicitFont && c.font.encodingKind == 0) {
      if (isLetterAlphabet(c.font) && isAsciiLetter(c.position)) return {c.position};
      return {explicitFontCode(code, c.position)};
    }
    if (c.typeface == 139) {
      if (high != 0) return {extraCode(code)};
      return code >= 33 ? Glyph{code} : Glyph{};
    }
    if (high != 0) return {highCode(code)};
    if (code == 32 && c.typeface == 129) return {32};
    return code >= 33 ? Glyph{byteCode(code)} : Glyph{};
  }
  if (c.layout == equation::CharLayout::Position16) {
    if (high != 0) return {code};
    if (code == 32 && c.typeface == 129) return {32};
    return code >= 33 ? Glyph{code} : Glyph{};
  }
  if (high != 0) return plainHighGlyph(code);
  if (code == 39) return {39};
  return plainByteGlyph(code & 0xff, c.typeface);
}

// Code points that stand for a character the markup languages write otherwise: Adobe
// Symbol's private characters, accents standing alone (as their spacing forms), and
// values that are no characters (control codes are dropped, the rest replaced).
char32_t normalized(char32_t c) {
  switch (c) {
    case 0xF8E5: return 0x203E;
    case 0xF8E6: return 0x23D0;
    case 0xF8E7: return 0x23AF;
    case 0xF8E8: return 0x00AE;
    case 0xF8E9: return 0x00A9;
    case 0xF8EA: return 0x2122;
    case 0x0300: return 0x0060;
    case 0x0301: return 0x00B4;
    case 0x0302: return 0x02C6;
    case 0x0303: return 0x02DC;
    case 0x0304: return 0x00AF;
    case 0x0307: return 0x02D9;
    case 0x0308: return 0x00A8;
    case 0x20D0: return 0x21BC;
    case 0x20D1: return 0x21C0;
    case 0x20D6: return 0x2190;
    case 0x20D7: return 0x2192;
    case 0x20E1: return 0x2194;
    default: break;
  }
  if (c < 0x20 || c == 0x7F) return 0;
  if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF || c > 0x10FFFF) return 0xFFFD;
  return c;
}

Variant fontVariant(const equation::BoundFont& font) {
  const std::int32_t style = font.style;
  if (contains(font.name, "Fraktur")) return style == 1 ? Variant::BoldFraktur : Variant::Fraktur;
  if (contains(font.name, "Math One")) {
    switch (style) {
      case 1: return Variant::BoldScript;
      case 2: return Variant::Italic;
      case 3: return Variant::BoldItalic;
      default: return Variant::Script;
    }
  }
  if (contains(font.name, "Math Two")) return Variant::DoubleStruck;
  switch (style) {
    case 1: return Variant::Bold;
    case 2: return Variant::Italic;
    case 3: return Variant::BoldItalic;
    default: return Variant::Normal;
  }
}

Variant variantOf(const Node& c) {
  if (c.typeface < 128) return c.font.valid ? fontVariant(c.font) : Variant::Normal;
  switch (c.typeface) {
    case 129: case 130: case 133: case 136: return Variant::Normal;
    case 135: return Variant::Bold;
    case 137: case 138: return Variant::BoldItalic;
    default: return Variant::Italic;
  }
}

bool isLetterLike(char32_t c) {
  if (c < 0x80) return isAsciiLetter(c);
  if (c >= 0xC0 && c <= 0x24F) return c != 0xD7 && c != 0xF7;
  return (c >= 0x370 && c <= 0x3FF) || (c >= 0x400 && c <= 0x4FF) ||
         (c >= 0x2100 && c <= 0x214F && c != 0x2118) || c == 0x221E || c == 0x2202 ||
         c == 0x2205 || c == 0x0131 || c == 0x0237;
}

Token tokenFor(char32_t c, const Node& node) {
  if (node.typeface == 129) return Token::Text;
  if (c >= '0' && c <= '9') return Token::Number;
  if (c == '.' && node.typeface == 136) return Token::Number;
  // Only the function typeface makes a function name: the option bit 1 of an MTEF 3 character
  // is set on most of its variables (73 of the corpus's 77 such characters are variables).
  if (isLetterLike(c)) return node.typeface == 130 ? Token::Function : Token::Identifier;
  return Token::Operator;
}

// ---------------------------------------------------------------- boxes

Box rowOf(std::vector<Box> parts) {
  Box row;
  row.shape = Shape::Row;
  for (const Box& part : parts) row.depth = std::max(row.depth, part.depth + 1);
  row.parts = std::move(parts);
  return row;
}

// A box of the shape holding the parts (moved in: an initializer list would copy them).
template <typename... Parts>
Box shaped(Shape shape, Parts&&... parts) {
  std::vector<Box> list;
  list.reserve(sizeof...(parts));
  (list.push_back(std::move(parts)), ...);
  Box box = rowOf(std::move(list));
  box.shape = shape;
  return box;
}

Box token(Token kind, char32_t c, Variant variant = Variant::Normal) {
  Box box;
  box.shape = Shape::Token;
  box.token = kind;
  box.variant = variant;
  box.text = std::u32string(1, c);
  return box;
}

bool mergeable(Token kind) {
  return kind == Token::Number || kind == Token::Function || kind == Token::Text;
}

// The boxes of one place of the equation, with its unmatched opening brackets.
struct Container {
  std::vector<Box> boxes;
  std::vector<std::size_t> openBrackets;

  void push(Box box) {
    if (box.shape == Shape::Token && !boxes.empty()) {
      Box& last = boxes.back();
      if (last.shape == Shape::Token && last.token == box.token && mergeable(box.token) &&
          last.variant == box.variant) {
        last.text += box.text;
        return;
      }
    }
    if (box.bracket > 0) {
      openBrackets.push_back(boxes.size());
    } else if (box.bracket < 0 && !openBrackets.empty()) {
      box.match = static_cast<std::int32_t>(openBrackets.back());
      openBrackets.pop_back();
    }
    boxes.push_back(std::move(box));
  }

  // The base of a script (see the top of the file); an empty row when there is none or it
  // nests too deeply already.
  Box takeBase() {
    if (boxes.empty() || boxes.back().depth >= kMaxDepth) return rowOf({});
    std::size_t from = boxes.size() - 1;
    if (boxes.back().bracket < 0 && boxes.back().match >= 0) from = static_cast<std::size_t>(boxes.back().match);
    Box base;
    if (from + 1 == boxes.size()) {
      base = std::move(boxes.back());
    } else {
      std::vector<Box> group(std::make_move_iterator(boxes.begin() + static_cast<std::ptrdiff_t>(from)),
                             std::make_move_iterator(boxes.end()));
      for (Box& b : group) b.match = -1;
      base = rowOf(std::move(group));
      if (base.depth >= kMaxDepth) {
        // Too deep to group: the parts stay and the script has no base.
        for (std::size_t i = 0; i < base.parts.size(); ++i) boxes[from + i] = std::move(base.parts[i]);
        return rowOf({});
      }
    }
    boxes.erase(boxes.begin() + static_cast<std::ptrdiff_t>(from), boxes.end());
    while (!openBrackets.empty() && openBrackets.back() >= from) openBrackets.pop_back();
    base.bracket = 0;
    base.match = -1;
    return base;
  }
};

Box fence(char32_t open, char32_t close, Box content) {
  Box box = shaped(Shape::Fence, std::move(content));
  box.code = open;
  box.close = close;
  return box;
}

Box accent(Box base, Mark mark, bool below) {
  Box box = shaped(Shape::Accent, std::move(base));
  box.mark = mark;
  box.below = below;
  return box;
}

Box enclose(Box content, std::uint16_t notation) {
  Box box = shaped(Shape::Enclose, std::move(content));
  box.notation = notation;
  return box;
}

// Marks drawn above a character, by embellishment type.
bool markAbove(std::int32_t type, Mark& mark) {
  switch (type) {
    case 2: mark = Mark::Dot; return true;
    case 3: mark = Mark::DoubleDot; return true;
    case 4: mark = Mark::TripleDot; return true;
    case 24: mark = Mark::QuadrupleDot; return true;
    case 8: mark = Mark::Tilde; return true;
    case 9: mark = Mark::Hat; return true;
    case 11: mark = Mark::RightArrow; return true;
    case 12: mark = Mark::LeftArrow; return true;
    case 13: mark = Mark::BothArrow; return true;
    case 14: mark = Mark::RightHarpoon; return true;
    case 15: mark = Mark::LeftHarpoon; return true;
    case 17: mark = Mark::Bar; return true;
    case 19: mark = Mark::Frown; return true;
    case 20: mark = Mark::Smile; return true;
    default: return false;
  }
}

// Marks drawn below a character.
bool markBelow(std::int32_t type, Mark& mark) {
  switch (type) {
    case 25: mark = Mark::Dot; return true;
    case 26: mark = Mark::DoubleDot; return true;
    case 27: mark = Mark::TripleDot; return true;
    case 28: mark = Mark::QuadrupleDot; return true;
    case 29: mark = Mark::Bar; return true;
    case 30: mark = Mark::Tilde; return true;
    case 31: mark = Mark::Frown; return true;
    case 32: mark = Mark::Smile; return true;
    case 33: mark = Mark::RightArrow; return true;
    case 34: mark = Mark::LeftArrow; return true;
    case 35: mark = Mark::BothArrow; return true;
    case 36: mark = Mark::RightHarpoon; return true;
    case 37: mark = Mark::LeftHarpoon; return true;
    default: return false;
  }
}

char32_t primeCode(std::int32_t type) {
  switch (type) {
    case 5: return 0x2032;
    case 6: return 0x2033;
    case 18: return 0x2034;
    case 7: return 0x2035;
    default: return 0;
  }
}

// Primes first, right after the character; then each other mark around what is there,
// the last one outermost. A middle bar and the slashes are drawn once each.
Box embellish(Box base, const Node& list) {
  std::u32string primes;
  for (const equation::Embellishment& mark : list.marks)
    if (char32_t p = primeCode(mark.type)) primes += p;
  if (!primes.empty()) {
    base = accent(std::move(base), Mark::Prime, false);
    base.text = primes;
  }
  bool middleBar = false, slash = false;
  for (const equation::Embellishment& e : list.marks) {
    if (base.depth >= kMaxDepth) break;
    Mark mark;
    if (markAbove(e.type, mark)) {
      base = accent(std::move(base), mark, false);
    } else if (markBelow(e.type, mark)) {
      base = accent(std::move(base), mark, true);
    } else if (e.type == 16 && !middleBar) {
      middleBar = true;
      base = enclose(std::move(base), kHorizontalStrike);
    } else if ((e.type == 10 || e.type == 21 || e.type == 22 || e.type == 23) && !slash) {
      slash = true;
      const std::uint16_t strikes = e.type == 21 ? kUpStrike | kDownStrike : e.type == 23 ? kDownStrike : kUpStrike;
      base = enclose(std::move(base), strikes);
    }
  }
  return base;
}

bool isEmbellishmentList(const Item& item) {
  return item.record && item.record->kind == Kind::Embellishments;
}

// ---------------------------------------------------------------- the tree walk

enum ScriptKind { kSuperscript, kSubscript, kSubSuperscript };
enum BigOperatorKind { kIntegralStyle, kSummationStyle, kLimit };

class Builder {
 public:
  explicit Builder(std::int32_t version) : version_(version) {}

  void item(const Item& item, Container& into) {
    if (item.record) record(*item.record, into);
  }

 private:
  bool v5() const { return version_ == 5; }

  Box slot(const Node& node, std::size_t index) {
    Container c;
    if (index < node.children.size()) item(node.children[index], c);
    return rowOf(std::move(c.boxes));
  }

  void record(const Node& node, Container& into) {
    switch (node.kind) {
      case Kind::Line:
        if (!node.nullLine)
          for (const Item& i : node.children) item(i, into);
        return;
      case Kind::Char:
        character(node, into);
        if (node.attached && !isEmbellishmentList(*node.attached)) item(*node.attached, into);
        return;
      case Kind::Pile: into.push(pile(node)); return;
      case Kind::Matrix: into.push(matrix(node)); return;
      case Kind::Template: templ(node, into); return;
      default: return;
    }
  }

  void character(const Node& node, Container& into) {
    const Node* marks = node.attached && isEmbellishmentList(*node.attached) ? node.attached->record.get() : nullptr;
    const Glyph glyph = resolve(node);
    const char32_t code = glyph.isSpace ? 0 : normalized(glyph.code);
    Box box;
    if (glyph.isSpace) {
      box = token(Token::Space, 0);
      box.text.clear();
      box.space = glyph.width;
    } else if (code != 0) {
      box = token(tokenFor(code, node), code, variantOf(node));
      if (!node.attached && box.token == Token::Operator) {
        if (code == '(' || code == '[' || code == '{') box.bracket = 1;
        if (code == ')' || code == ']' || code == '}') box.bracket = -1;
      }
    } else if (!marks) {
      return;
    }
    into.push(marks ? embellish(std::move(box), *marks) : std::move(box));
  }

  static char align(std::int32_t halign) { return halign == 2 ? 'c' : halign == 3 ? 'r' : 'l'; }

  Box pile(const Node& node) {
    Box table = shaped(Shape::Table);
    table.relational = node.halign == 4;
    table.align = align(node.halign);
    table.columns = table.relational ? 2 : 1;
    for (const Item& line : node.children) {
      Container row;
      item(line, row);
      if (!table.relational) {
        table.parts.push_back(rowOf(std::move(row.boxes)));
        continue;
      }
      // The first relation at the top of the line starts its second column.
      auto at = std::find_if(row.boxes.begin(), row.boxes.end(), [](const Box& b) {
        return b.shape == Shape::Token && b.token == Token::Operator && b.text.size() == 1 && isRelation(b.text[0]);
      });
      std::vector<Box> right(std::make_move_iterator(at), std::make_move_iterator(row.boxes.end()));
      row.boxes.erase(at, row.boxes.end());
      table.parts.push_back(rowOf(std::move(row.boxes)));
      table.parts.push_back(rowOf(std::move(right)));
    }
    table.rows = static_cast<std::int32_t>(node.children.size());
    for (const Box& cell : table.parts) table.depth = std::max(table.depth, cell.depth + 1);
    return table;
  }

  // Partition lines: two bits per line, the first line in the low bits of its byte.
  static std::vector<Rule> rules(std::string_view bytes, std::size_t from, std::int32_t count) {
    std::vector<Rule> out;
    for (std::int32_t i = 0; i < count; ++i) {
      const std::size_t at = from + static_cast<std::size_t>(i / 4);
      const int bits = at < bytes.size() ? (static_cast<unsigned char>(bytes[at]) >> (2 * (i % 4))) & 3 : 0;
      out.push_back(bits == 0 ? Rule::None : bits == 1 ? Rule::Solid : Rule::Dashed);
    }
    return out;
  }

  Box matrix(const Node& node) {
    Box table = shaped(Shape::Table);
    table.rows = std::max(node.rows, 0);
    table.columns = std::max(node.columns, 0);
    table.align = align(node.halign);
    const std::size_t cells = static_cast<std::size_t>(table.rows) * static_cast<std::size_t>(table.columns);
    for (std::size_t i = 0; i < cells; ++i) {
      Container cell;
      if (i < node.children.size()) item(node.children[i], cell);
      table.parts.push_back(rowOf(std::move(cell.boxes)));
      table.depth = std::max(table.depth, table.parts.back().depth + 1);
    }
    table.rowRules = rules(node.partitions, 0, table.rows + 1);
    table.columnRules = rules(node.partitions, static_cast<std::size_t>((table.rows + 1 + 3) / 4), table.columns + 1);
    return table;
  }

  void templ(const Node& node, Container& into);
  void singleFence(const Node& node, Container& into);
  void intervalFence(const Node& node, Container& into);
  void braKet(const Node& node, Container& into);
  void fraction(const Node& node, Container& into, Fraction form);
  void longDivision(const Node& node, Container& into);
  void radical(const Node& node, Container& into);
  void script(const Node& node, Container& into, int kind, bool before);
  void bigOperator(const Node& node, Container& into, int kind);
  void nary(const Node& node, Container& into, char32_t op, bool lower, bool upper, bool underOver);
  void integral5(const Node& node, Container& into);
  void largeOperator5(const Node& node, Container& into, int kind);
  void integral3(const Node& node, Container& into);
  void largeOperator3(const Node& node, Container& into);
  void arrow(const Node& node, Container& into);
  void labelledArrow(const Node& node, Container& into, char32_t code, bool below);
  void vector(const Node& node, Container& into);
  void brace(const Node& node, Container& into, bool below, bool bracket);
  void strike(const Node& node, Container& into);
  void box(const Node& node, Container& into);
  void decoration(const Node& node, Container& into);

  std::int32_t version_;
};

void Builder::templ(const Node& node, Container& into) {
  const int s = node.selector;
  if (v5()) {
    switch (s) {
      case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8:
        return singleFence(node, into);
      case 9: return intervalFence(node, into);
      case 10: return radical(node, into);
      case 11: {
        const int v = node.variation;
        return fraction(node, into, v == 1 ? Fraction::Small : v == 2 || v == 3 ? Fraction::Skewed
                                    : v >= 4 && v < 8 ? Fraction::Linear : Fraction::Bar);
      }
      case 12: case 13: return decoration(node, into);
      case 14: return arrow(node, into);
      case 15: return integral5(node, into);
      case 16: case 17: case 18: case 19: case 20: return largeOperator5(node, into, s - 16);
      case 21: return bigOperator(node, into, kIntegralStyle);
      case 22: return bigOperator(node, into, kSummationStyle);
      case 23: return bigOperator(node, into, kLimit);
      case 24: case 25: return brace(node, into, (node.variation & 0x0f) != 1, s == 25);
      case 26: return longDivision(node, into);
      case 27: return script(node, into, kSubscript, node.variation != 0);
      case 28: return script(node, into, kSuperscript, node.variation != 0);
      case 29: return script(node, into, kSubSuperscript, node.variation != 0);
      case 30: return braKet(node, into);
      case 31: return vector(node, into);
      case 32: into.push(accent(slot(node, 0), Mark::Tilde, false)); return;
      case 33: into.push(accent(slot(node, 0), Mark::Hat, false)); return;
      case 34: into.push(accent(slot(node, 0), Mark::Arc, false)); return;
      case 35: into.push(enclose(slot(node, 0), kActuarial)); return;
      case 36: return strike(node, into);
      case 37: return box(node, into);
      default: return;
    }
  }
  if (s <= 12) return singleFence(node, into);
  switch (s) {
    case 13: return radical(node, into);
    case 14: return fraction(node, into, node.variation == 1 ? Fraction::Small : Fraction::Bar);
    case 15: case 44: {
      const int v = node.variation;
      return script(node, into, v == 0 ? kSuperscript : v == 1 ? kSubscript : kSubSuperscript, s == 44);
    }
    case 16: case 17: case 18: case 19: case 20: case 27: case 28: case 46: case 47:
      return decoration(node, into);
    case 21: case 22: case 23: case 24: case 25: case 26: return integral3(node, into);
    case 39: return bigOperator(node, into, kLimit);
    case 40: return longDivision(node, into);
    case 41: {
      const int v = node.variation;
      return fraction(node, into, v == 0 || v == 2 ? Fraction::Skewed : v == 1 || v == 3 ? Fraction::Linear : Fraction::Bar);
    }
    case 42: return bigOperator(node, into, kIntegralStyle);
    case 43: return bigOperator(node, into, kSummationStyle);
    case 45: return braKet(node, into);
    case 48: into.push(accent(slot(node, 0), Mark::Arc, false)); return;
    default: return largeOperator3(node, into);  // 29 to 38
  }
}

// Fences by selector; the variation shows the left one (1), the right one (2) or both.
void Builder::singleFence(const Node& node, Container& into) {
  struct Pair {
    char32_t open, close;
    bool bothOnly;
  };
  static constexpr Pair kPairs[] = {
      {0x27E8, 0x27E9, false}, {'(', ')', false}, {'{', '}', false},       {'[', ']', false},
      {'|', '|', false},       {0x2016, 0x2016, false}, {0x230A, 0x230B, false}, {0x2308, 0x2309, false},
      {'[', '[', false},       {']', ']', false},  {']', '[', false},       {'[', ')', true},
      {'(', ']', true},
  };
  // MathType 5 numbers its white brackets 8, after the eight single fences.
  const Pair pair = v5() && node.selector == 8 ? Pair{0x27E6, 0x27E7, false}
                    : node.selector <= 12      ? kPairs[node.selector]
                                               : kPairs[0];
  const int v = node.variation;
  const bool leftOnly = !pair.bothOnly && v == 1;
  const bool rightOnly = !pair.bothOnly && v == 2;
  into.push(fence(rightOnly ? 0 : pair.open, leftOnly ? 0 : pair.close, slot(node, 0)));
}

// An interval: the low digit of the variation is the left fence, the high digit the right
// one (0 "(", 1 ")", 2 "[", 3 "]"); both are shown.
void Builder::intervalFence(const Node& node, Container& into) {
  static constexpr char32_t kChars[] = {'(', ')', '[', ']'};
  const int low = node.variation & 0x0f;
  const int high = (node.variation >> 4) & 0x0f;
  if (low > 3 || high > 3) {
    into.push(fence(0x27E8, 0x27E9, slot(node, 0)));
    return;
  }
  into.push(fence(kChars[low], kChars[high], slot(node, 0)));
}

void Builder::braKet(const Node& node, Container& into) {
  const int v = node.variation;
  if (v == 1) {
    into.push(fence(0x27E8, '|', slot(node, 0)));
  } else if (v == 2) {
    into.push(fence('|', 0x27E9, slot(node, 1)));
  } else {
    Box box = fence(0x27E8, 0x27E9, slot(node, 0));
    box.parts.push_back(slot(node, 1));
    box.depth = std::max(box.depth, box.parts.back().depth + 1);
    box.middle = '|';
    into.push(std::move(box));
  }
}

void Builder::fraction(const Node& node, Container& into, Fraction form) {
  Box box = shaped(Shape::Fraction, slot(node, 0), slot(node, 1));
  box.fraction = form;
  into.push(std::move(box));
}

// A long division: the dividend under the bracket, the quotient above it.
void Builder::longDivision(const Node& node, Container& into) {
  into.push(shaped(Shape::LongDivision, slot(node, 0), slot(node, 1)));
}

void Builder::radical(const Node& node, Container& into) {
  into.push(shaped(Shape::Root, slot(node, 0), node.variation != 0 ? slot(node, 1) : rowOf({})));
}

// MTEF writes a script after the item it scripts: that item is the base. Leading scripts
// stand before what follows them, on an empty base.
void Builder::script(const Node& node, Container& into, int kind, bool before) {
  Box sub = slot(node, 0), sup = slot(node, 1);
  Box base = before ? rowOf({}) : into.takeBase();
  Box box = shaped(Shape::Scripts, std::move(base), std::move(sub), std::move(sup));
  box.lower = kind != kSuperscript;
  box.upper = kind != kSubscript;
  box.before = before;
  into.push(std::move(box));
}

// Big operators whose operator is a slot of their own (3), and limits: the operator with
// its limits, then the operand in the same row, so that a script after the template
// scripts the operand's end.
void Builder::bigOperator(const Node& node, Container& into, int kind) {
  const auto [lower, upper] = equation::bigOperatorLimits(version_, node.variation);
  if (kind == kLimit) {
    Box box = shaped(Shape::Limit, slot(node, 0), slot(node, 1), slot(node, 2));
    box.lower = lower;
    box.upper = upper;
    into.push(std::move(box));
    return;
  }
  Box box = shaped(Shape::BigOperator, slot(node, 3), slot(node, 1), slot(node, 2));
  box.lower = lower;
  box.upper = upper;
  box.underOver = kind == kSummationStyle;
  into.push(std::move(box));
  if (!node.children.empty()) item(node.children[0], into);
}

void Builder::nary(const Node& node, Container& into, char32_t op, bool lower, bool upper, bool underOver) {
  Box box = shaped(Shape::BigOperator, shaped(Shape::Row, token(Token::Operator, op)), slot(node, 1), slot(node, 2));
  box.lower = lower;
  box.upper = upper;
  box.underOver = underOver;
  into.push(std::move(box));
  if (!node.children.empty()) item(node.children[0], into);
}

char32_t integralChar(int count, bool contour) {
  if (count == 2) return contour ? 0x222F : 0x222C;
  if (count == 3) return contour ? 0x2230 : 0x222D;
  return contour ? 0x222E : 0x222B;
}

void Builder::integral5(const Node& node, Container& into) {
  const equation::IntegralForm form = equation::integralForm(node.variation);
  const char32_t op = form.count == 1 && form.anticlockwise ? 0x2233
                      : form.count == 1 && form.clockwise   ? 0x2232
                                                            : integralChar(form.count, form.contour);
  nary(node, into, op, form.limits.lower, form.limits.upper, form.sumStyle);
}

// Large operators by kind: summation, product, coproduct, union, intersection.
constexpr char32_t kLargeOperators[] = {0x2211, 0x220F, 0x2210, 0x22C3, 0x22C2};

void Builder::largeOperator5(const Node& node, Container& into, int kind) {
  const auto [sumStyle, limits] = equation::largeOperatorForm(node.variation);
  nary(node, into, kLargeOperators[kind], limits.lower, limits.upper, sumStyle);
}

void Builder::integral3(const Node& node, Container& into) {
  const equation::IntegralForm f = equation::integralForm3(node.selector, node.variation);
  nary(node, into, integralChar(f.count, f.contour), f.limits.lower, f.limits.upper, f.sumStyle);
}

// Selectors 29 to 38 pair the five operators: limits under and over (odd), beside (even).
void Builder::largeOperator3(const Node& node, Container& into) {
  const int v = node.variation & 0x0f;
  const int index = node.selector - 0x1d;
  nary(node, into, kLargeOperators[std::clamp(index / 2, 0, 4)], v == 0 || v == 1, v == 1, index % 2 == 0);
}

// A labelled arrow (MathType 5).
void Builder::arrow(const Node& node, Container& into) {
  const equation::ArrowForm form = equation::arrowForm(node.variation);
  Box box = shaped(Shape::Arrow, slot(node, 0), slot(node, 1));
  box.code = form.code;
  box.upper = form.above || !form.below;
  box.lower = form.below;
  into.push(std::move(box));
}

// An MTEF 3 arrow with one label, above (variation 0) or below it.
void Builder::labelledArrow(const Node& node, Container& into, char32_t code, bool below) {
  Box label = slot(node, 0);
  Box box = below ? shaped(Shape::Arrow, rowOf({}), std::move(label)) : shaped(Shape::Arrow, std::move(label), rowOf({}));
  box.code = code;
  box.upper = !below;
  box.lower = below;
  into.push(std::move(box));
}

// A vector arrow over (or, with 4, under) its slot: 2 right, 1 left, otherwise both; 8 a
// harpoon.
void Builder::vector(const Node& node, Container& into) {
  const int d = node.variation & 0x0f;
  const bool harpoon = (d & 8) != 0;
  const int bits = d & 3;
  const Mark mark = bits == 2 ? (harpoon ? Mark::RightHarpoon : Mark::RightArrow)
                    : bits == 1 ? (harpoon ? Mark::LeftHarpoon : Mark::LeftArrow)
                                : Mark::BothArrow;
  into.push(accent(slot(node, 0), mark, (d & 4) != 0));
}

void Builder::brace(const Node& node, Container& into, bool below, bool bracket) {
  Box box = shaped(Shape::Brace, slot(node, 0), slot(node, 1));
  box.below = below;
  box.bracketShape = bracket;
  into.push(std::move(box));
}

// Strike-through: 1 horizontal, 2 bottom-left to top-right, 4 top-left to bottom-right.
void Builder::strike(const Node& node, Container& into) {
  const int v = node.variation;
  std::uint16_t notation = 0;
  if (v & 1) notation |= kHorizontalStrike;
  if (v & 2) notation |= kUpStrike;
  if (v & 4) notation |= kDownStrike;
  into.push(enclose(slot(node, 0), notation));
}

void Builder::box(const Node& node, Container& into) {
  std::uint16_t notation = kBox;
  switch (equation::boxBorders(node.variation)) {
    case equation::BoxBorders::TopLeft: notation = kTop | kLeft; break;
    case equation::BoxBorders::TopRight: notation = kTop | kRight; break;
    case equation::BoxBorders::BottomRight: notation = kBottom | kRight; break;
    case equation::BoxBorders::BottomLeft: notation = kBottom | kLeft; break;
    case equation::BoxBorders::All: break;
  }
  into.push(enclose(slot(node, 0), notation));
}

// Bars, MTEF 3 arrows, braces and arrow accents. MathType 5's under- and overbar (12, 13)
// use the selectors of MTEF 3 (16, 17).
void Builder::decoration(const Node& node, Container& into) {
  const int s = v5() ? (node.selector == 12 ? 0x10 : 0x11) : node.selector;
  const int v = node.variation;
  switch (s) {
    case 0x10: into.push(accent(slot(node, 0), v != 0 ? Mark::DoubleBar : Mark::Bar, true)); return;
    case 0x11: into.push(accent(slot(node, 0), v != 0 ? Mark::DoubleBar : Mark::Bar, false)); return;
    case 0x12: return labelledArrow(node, into, 0x2190, v != 0);
    case 0x13: return labelledArrow(node, into, 0x2192, v != 0);
    case 0x14: return labelledArrow(node, into, 0x2194, v != 0);
    case 0x1b: return brace(node, into, false, false);
    case 0x1c: return brace(node, into, true, false);
    default:  // 0x2e, 0x2f: an arrow over the slot, left (0), right (1) or both
      into.push(accent(slot(node, 0), v == 0 ? Mark::LeftArrow : v == 1 ? Mark::RightArrow : Mark::BothArrow, false));
      return;
  }
}

}  // namespace

bool isRelation(char32_t c) {
  switch (c) {
    case '=': case '<': case '>': case 0x2260: case 0x2264: case 0x2265: case 0x2248: case 0x2261:
    case 0x2245: case 0x2243: case 0x223C: case 0x221D: case 0x2208: case 0x2209: case 0x220B:
    case 0x2282: case 0x2283: case 0x2286: case 0x2287: case 0x226A: case 0x226B: case 0x2192:
    case 0x2190: case 0x2194: case 0x21D2: case 0x21D0: case 0x21D4: case 0x27F9: case 0x27F8:
    case 0x27FA: case 0x2250: case 0x225C: case 0x2259: case 0x2254: case 0x226E: case 0x226F:
    case 0x2270: case 0x2271: case 0x2272: case 0x2273: case 0x227A: case 0x227B: case 0x21CC:
    case 0x21C4: case 0x22A5: case 0x2225: case 0x2223: case 0x2AC5: case 0x2AC6:
      return true;
    default:
      return false;
  }
}

Box build(const equation::Equation& equation) {
  Builder builder(equation.version);
  Container body;
  for (const Item& item : equation.body) builder.item(item, body);
  return rowOf(std::move(body.boxes));
}

}  // namespace writers::layout
