// Templates for MTEF 3: fences, fractions, radicals, scripts, n-ary operators, arrows,
// accents, braces, bars and boxes. Equation 3.0 knows fewer templates than MathType 5, so
// several are rebuilt from limit, big-operator and matrix templates with MT Extra
// (typeface 0x8b) or expanding-fence (typeface 0x96) characters.
//
// Selectors are read per MTEF version: MathType 5 numbers its templates 0 to 37, the
// older versions 0 to 48 the way Equation 3.0 does.
#include "equation/variations.h"
#include "writers/mtef3_internal.h"

namespace writers::mtef3 {

using equation::Kind;
using equation::Node;

SlotTexts::SlotTexts(WriterState& state, const Node& node, std::int32_t following)
    : node_(node), following_(following) {
  // Every slot is written, even those the template has no place for: what they say about
  // sizes still holds for the records after them.
  const auto& items = node.children;
  texts_.resize(items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const std::int32_t next = i + 1 < items.size() ? leadingByte(items[i + 1].firstTag) : following;
    writeItem(state, items[i], texts_[i], next);
  }
}

Bytes SlotTexts::take() {
  if (cursor_ >= texts_.size()) {
    ++cursor_;
    return {};
  }
  return std::move(texts_[cursor_++]);
}

std::int32_t SlotTexts::peekByte() const {
  return cursor_ < texts_.size() ? leadingByte(node_.children[cursor_].firstTag) : following_;
}

bool SlotTexts::nextIsStandaloneSize() const {
  if (cursor_ >= texts_.size()) return false;
  const equation::Item& item = node_.children[cursor_];
  return item.prefixes.empty() && item.record && item.record->kind == Kind::Size;
}

namespace {

Bytes hex(std::string_view digits) {
  // Literal records are written as hex digits here for readability.
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
    const auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    bytes += static_cast<char>(value(digits[i]) * 16 + value(digits[i + 1]));
  }
  return bytes;
}

constexpr std::string_view kEnd{"\0", 1};  // END of a line, list or template

// --- fences ---

enum class FenceKind { kSingle, kWhite, kInterval };

// Which fences a variation shows: 1 the left one, 2 the right one, anything else both.
bool leftOnly(int v) { return v == 1; }
bool rightOnly(int v) { return v == 2; }

// The closing records of white brackets: the inner fence characters and their END, the
// END of the line that holds the inner template, the outer fence characters and their
// END. Each character is an expanding-fence CHAR, nudged like the template.
Bytes whiteBracketClose(int v, std::string_view nudge) {
  const Bytes tag = nudge.empty() ? Bytes(1, '\x02') : tagged('\x82', nudge);
  const Bytes open = tag + hex("965b00");
  const Bytes close = tag + hex("965d00");
  Bytes chars;
  if (leftOnly(v)) {
    chars = open;
  } else if (rightOnly(v)) {
    chars = close;
  } else {
    chars = open + close;
  }
  return cat({chars, hex("0000"), chars, kEnd});
}

void fence(const Node& node, SlotTexts& slots, Bytes& out, FenceKind kind) {
  const int v = node.variation;
  Bytes head;
  bool bothFences = true;
  if (kind == FenceKind::kSingle) {
    // Mixed pairs (MTEF 2/3 selectors 11 and 12) always show both fences.
    const bool bothOnly = node.selector == 11 || node.selector == 12;
    std::uint32_t variation = 0;
    if (!bothOnly && leftOnly(v)) {
      variation = 1;
      bothFences = false;
    } else if (!bothOnly && rightOnly(v)) {
      variation = 2;
      bothFences = false;
    }
    head = byte(static_cast<std::uint32_t>(node.selector)) + byte(variation);
  } else if (kind == FenceKind::kWhite) {
    if (leftOnly(v)) {
      head = hex("0301");
      bothFences = false;
    } else if (rightOnly(v)) {
      head = hex("0302");
      bothFences = false;
    } else {
      head = hex("0300");
    }
  } else {
    // Interval: low digit the left fence, high digit the right one; as a mixed pair.
    switch (v) {
      case 0x12: head = hex("0b00"); break;
      case 0x22: head = hex("0800"); break;
      case 0x23: head = hex("0a00"); break;
      case 0x30: head = hex("0c00"); break;
      case 0x33: head = hex("0900"); break;
      default: head = hex("0000"); break;
    }
  }
  head += byte(static_cast<std::uint32_t>(node.templateOptions));

  const Bytes main = slots.take();
  Bytes fenceRecords = slots.take();
  if (bothFences) fenceRecords += slots.take();
  fenceRecords += kEnd;

  if (kind == FenceKind::kWhite) {
    // No white brackets in MTEF 3: square brackets inside square brackets, the inner
    // template on a line of its own.
    const Bytes inner =
        node.nudge.empty() ? hex("0103") : cat({"\x81", node.nudge, "\x83", node.nudge});
    out += cat({head, inner, head, main, whiteBracketClose(v, node.nudge)});
  } else {
    out += cat({head, main, fenceRecords});
  }
}

void braKet(const Node& node, SlotTexts& slots, Bytes& out) {
  const int v = node.variation;
  const Bytes first = slots.take();
  const Bytes second = slots.take();
  Bytes chars = slots.take();
  chars += slots.take();
  const bool bra = v == 1;
  const bool ket = v == 2;
  // A full bra-ket (and any unlisted variation) carries a third character, the bar.
  if (!bra && !ket) chars += slots.take();
  out += cat({hex("2d"), byte(bra ? 1 : ket ? 2 : 0), kEnd, first, second, chars, kEnd});
}

// --- fractions and radicals ---

enum class FractionKind { kBar, kSlash, kLongDivision };

// The MTEF 3 selector and variation of a fraction.
Bytes fractionForm(const WriterState& state, FractionKind kind, int v) {
  if (state.version == 5) {
    // MathType 5 numbers the long-division variations the other way round.
    if (kind == FractionKind::kLongDivision) return hex(v == 1 ? "2800" : "2801");
    switch (v) {
      case 1: return hex("0e01");
      case 2: return hex("2900");
      case 3: return hex("2902");
      case 4: case 6: return hex("2901");
      case 5: case 7: return hex("2903");
      default: return hex("0e00");  // 0 and unknown variations: a full-size bar fraction
    }
  }
  if (kind == FractionKind::kSlash) {
    if (v >= 0 && v <= 3) return hex("29") + byte(static_cast<std::uint32_t>(v));
    return hex("0e00");
  }
  if (kind == FractionKind::kLongDivision) return hex(v == 1 ? "2801" : "2800");
  return hex(v == 1 ? "0e01" : "0e00");
}

void fraction(const WriterState& state, const Node& node, SlotTexts& slots, Bytes& out,
              FractionKind kind) {
  const Bytes first = slots.take();
  const Bytes second = slots.take();
  out += cat({fractionForm(state, kind, node.variation), kEnd, first, second, kEnd});
}

void radical(const Node& node, SlotTexts& slots, Bytes& out) {
  const Bytes radicand = slots.take();
  const Bytes index = slots.take();
  out += cat({hex("0d"), byte(node.variation != 0 ? 1 : 0), kEnd, radicand, index, kEnd});
}

// --- scripts and limits ---

enum class ScriptKind { kSuperscript = 0, kSubscript = 1, kSubSuperscript = 2 };

void script(SlotTexts& slots, Bytes& out, ScriptKind kind, bool before) {
  const Bytes sub = slots.take();
  const Bytes sup = slots.take();
  out += cat({hex(before ? "2c" : "0f"), byte(static_cast<std::uint32_t>(kind)), kEnd, sub, sup,
              kEnd});
}

enum class BigOperatorKind { kIntegralStyle, kSummationStyle, kLimit };

void bigOperator(const WriterState& state, const Node& node, SlotTexts& slots, Bytes& out,
                 BigOperatorKind kind) {
  const auto [lower, upper] = equation::bigOperatorLimits(state.version, node.variation);
  const std::uint32_t variation = lower && upper ? 2 : lower ? 1 : 0;
  const std::string_view selector = kind == BigOperatorKind::kIntegralStyle    ? "2a"
                                    : kind == BigOperatorKind::kSummationStyle ? "2b"
                                                                               : "27";
  const Bytes main = slots.take();
  const Bytes lim = slots.take();
  const Bytes upp = slots.take();
  const Bytes op = kind == BigOperatorKind::kLimit ? Bytes{} : slots.take();
  out += cat({hex(selector), byte(variation), kEnd, main, lim, upp, op, kEnd});
}

// --- n-ary operators ---

// Takes a flag of the given weight off a packed variation digit; true when it was set.
// Operand, lower and upper limits, then the operator records.
void nary(Bytes& out, const Bytes& head, const Bytes& main, const Bytes& lower,
          const Bytes& upper, const Bytes& ops) {
  out += cat({head, kEnd, main, lower, upper, ops, kEnd});
}

// The large-operator variation: limits below and above, below only, or none.
std::uint32_t largeOperatorVariation(bool lower, bool upper) {
  if (!lower) return 2;
  return upper ? 1 : 0;
}

void largeOperatorSlots(SlotTexts& slots, Bytes& out, const Bytes& head) {
  const Bytes main = slots.take();
  const Bytes lower = slots.take();
  const Bytes upper = slots.take();
  const Bytes op = slots.take();
  nary(out, head, main, lower, upper, op);
}

void integral5(const Node& node, SlotTexts& slots, Bytes& out) {
  const equation::IntegralForm form = equation::integralForm(node.variation);
  const bool contour = form.contour, sumStyle = form.sumStyle;
  const bool lower = form.limits.lower, upper = form.limits.upper;
  const int count = form.count;
  // Single, double, triple integral; with limits beside (0x15..) or under and over (0x18..).
  const std::uint32_t selector = static_cast<std::uint32_t>((sumStyle ? 0x18 : 0x15) + count - 1);

  std::uint32_t variation = 0;
  if (!lower && !upper) {
    variation = contour ? (count == 1 ? 3 : 2) : 0;
  } else if (count == 1 && !contour) {
    variation = !upper ? 1 : sumStyle ? 0 : 2;
  } else if (count == 1) {
    variation = sumStyle ? 2 : 4;
  } else if (!contour) {
    variation = 1;
  } else {
    variation = sumStyle ? 0 : 3;
  }

  const Bytes main = slots.take();
  const Bytes lowerText = slots.take();
  const Bytes upperText = slots.take();
  Bytes ops;
  if (contour && !slots.ended()) {
    // A size record of the contour sign is kept; the record after it is dropped.
    if (slots.nextIsStandaloneSize()) ops += slots.take();
    slots.skip();
  }
  for (int i = 0; i < count; ++i) ops += slots.take();
  nary(out, byte(selector) + byte(variation), main, lowerText, upperText, ops);
}

void largeOperator5(const Node& node, SlotTexts& slots, Bytes& out, int kind) {
  const auto [sumStyle, limits] = equation::largeOperatorForm(node.variation);
  const bool lower = limits.lower, upper = limits.upper;
  // Summation, product, coproduct, union, intersection: limits under and over (0x1d, 0x1f
  // ...) or beside (0x1e, 0x20 ...).
  const std::uint32_t selector =
      static_cast<std::uint32_t>(0x1d + 2 * kind + (lower && !sumStyle ? 1 : 0));
  largeOperatorSlots(slots, out, byte(selector) + byte(largeOperatorVariation(lower, upper)));
}

void integral3(const Node& node, SlotTexts& slots, Bytes& out) {
  const int selector = node.selector;
  const int v = node.variation & 0x0f;
  const int count = selector == 0x15 || selector == 0x18   ? 1
                    : selector == 0x16 || selector == 0x19 ? 2
                                                           : 3;
  const Bytes main = slots.take();
  const Bytes lower = slots.take();
  const Bytes upper = slots.take();
  Bytes ops;
  for (int i = 0; i < count; ++i) ops += slots.take();
  nary(out, byte(static_cast<std::uint32_t>(selector)) + byte(static_cast<std::uint32_t>(v)), main,
       lower, upper, ops);
}

void largeOperator3(const Node& node, SlotTexts& slots, Bytes& out) {
  const int v = node.variation & 0x0f;
  const bool lower = v == 0 || v == 1;
  const bool upper = v == 1;
  largeOperatorSlots(slots, out,
                     byte(static_cast<std::uint32_t>(node.selector)) +
                         byte(largeOperatorVariation(lower, upper)));
}

// --- arrows, accents, braces ---

enum class Direction { kRight, kLeft, kOther };

// 2 right, 1 left.
Direction direction(int value) {
  return value == 2 ? Direction::kRight : value == 1 ? Direction::kLeft : Direction::kOther;
}

// The size shortcut a slot starts with (FULL to SUBSYM), else the fallback.
std::int32_t sizeOf(std::int32_t firstByte, std::int32_t fallback) {
  return firstByte >= 10 && firstByte <= 14 ? firstByte : fallback;
}

void singleArrow(const WriterState& state, SlotTexts& slots, Bytes& out, Direction dir,
                 bool top, bool bottom) {
  const Bytes sel = hex(dir == Direction::kRight ? "13" : dir == Direction::kLeft ? "12" : "14");
  if (top && bottom) {
    // A limit template (lower limit only) whose main slot holds the arrow template with
    // the upper text; the lower text is set at the size its slot starts with.
    const std::int32_t size = sizeOf(slots.peekByte(), 11);
    const Bytes upper = slots.take();
    const Bytes lower = slots.take();
    const Bytes arrow = slots.take();
    out += cat({hex("2701000103"), sel, hex("0000"), upper, arrow, hex("0000"),
                byte(static_cast<std::uint32_t>(size)), hex("01"), lower, state.sizeRecord,
                kEnd, kEnd});
    return;
  }
  Bytes text;
  Bytes variation;
  if (bottom) {
    variation = hex("0100");
    slots.skip();
    text = slots.take();
  } else {
    // Text above; also the form for an arrow without any text.
    variation = hex("0000");
    text = slots.take();
    slots.skip();
  }
  const Bytes arrow = slots.take();
  out += cat({sel, variation, text, arrow, kEnd});
}

// Double arrows and harpoons: a summation-style big operator with an empty main line and
// an MT Extra arrow as the operator.
void arrowPair(const WriterState& state, SlotTexts& slots, Bytes& out, Direction dir,
               bool harpoon, bool top, bool bottom) {
  const bool bottomOnly = bottom && !top;
  const std::int32_t size = sizeOf(slots.peekByte(), 11);
  const Bytes upper = slots.take();
  const Bytes lower = slots.take();
  // The arrow is set at symbol size, or sub-symbol size unless its slot starts full-size.
  const std::int32_t next = slots.peekByte();
  const std::int32_t charSize = next == 10 || next == 13 ? 13 : 14;
  std::string_view chars;
  // The operator: a line holding the MT Extra arrow character.
  if (harpoon) {
    chars = dir == Direction::kRight  ? "01028b04eb"
            : dir == Direction::kLeft ? "01028b03eb"
                                      : "01028bcc21";
  } else {
    chars = dir == Direction::kRight  ? "01028b02eb"
            : dir == Direction::kLeft ? "01028b01eb"
                                      : "01028bc421";
  }
  out += cat({hex(bottomOnly ? "2b010011" : bottom ? "2b020011" : "2b000011"),
              byte(static_cast<std::uint32_t>(size)), lower, upper,
              byte(static_cast<std::uint32_t>(charSize)), hex(chars), state.sizeRecord, kEnd,
              kEnd});
}

void arrow5(const WriterState& state, const Node& node, SlotTexts& slots, Bytes& out) {
  const int v = node.variation;
  const int low = v & 0x0f;
  const bool bottom = (low & 8) != 0;
  const bool top = (low & 4) != 0;
  const int style = low & 3;
  const Direction dir = direction(v >> 4);
  if (style == 0) {
    singleArrow(state, slots, out, dir, top, bottom);
  } else {
    arrowPair(state, slots, out, dir, style == 2, top, bottom);
  }
}

// MathType 5 accents over or under a slot: 0 vector arrow, 1 tilde, 2 hat, 3 arc,
// 4 joint status, 5 horizontal brace, 6 horizontal bracket.
void accent5(const Node& node, SlotTexts& slots, Bytes& out, int kind) {
  const int d = node.variation & 0x0f;
  const Bytes main = slots.take();
  if (kind == 0) {
    slots.skip();
    const bool below = (d & 4) != 0;
    const Direction dir = direction(d & 3);
    const std::uint32_t variation = dir == Direction::kRight ? 1 : dir == Direction::kLeft ? 0 : 2;
    out += cat({hex(below ? "2e" : "2f"), byte(variation), kEnd, main, kEnd});
    return;
  }
  if (kind >= 1 && kind <= 4) {
    // A limit template whose upper limit is one nudged MT Extra character and whose lower
    // limit is a null line.
    slots.skip();
    static constexpr std::string_view kUpper[] = {"11018280e88b04ee00", "11018280e88b07ee00",
                                                  "11018280e88b0aee00", "11018280e88b0bee00"};
    out += cat({hex("270000"), main, hex(kUpper[kind - 1]), kEnd});
    return;
  }
  const bool above = d == 1;
  const Bytes label = slots.take();
  Bytes brace = slots.take();
  // The brace character is replaced by an expanding-fence CHAR (U+FE37 or U+FE38); what
  // stands in front of it (a size record) is kept.
  brace.resize(brace.size() >= 4 ? brace.size() - 4 : 0);
  out += cat({hex(above ? "1b0000" : "1c0000"), main, label, brace,
              hex(above ? "029637fe" : "029638fe"), kEnd});
}

// Box and strike-through (MathType 5 only): MTEF 3 has neither template, so neither
// writes a TMPL tag of its own.
void box5(const Node& node, SlotTexts& slots, Bytes& out, bool strike) {
  const Bytes main = slots.take();
  if (strike) {
    out += main;  // a struck-through slot is just its content
    return;
  }
  // A one-by-one matrix whose partition lines draw the borders.
  std::string_view matrix;
  switch (equation::boxBorders(node.variation)) {
    case equation::BoxBorders::TopLeft: matrix = "0101010101010101"; break;
    case equation::BoxBorders::TopRight: matrix = "0101010101010401"; break;
    case equation::BoxBorders::BottomRight: matrix = "0101010101040401"; break;
    case equation::BoxBorders::BottomLeft: matrix = "0101010101040101"; break;
    case equation::BoxBorders::All: matrix = "0101010101050501"; break;
  }
  const Bytes tag = node.nudge.empty() ? hex("05") : tagged('\x85', node.nudge);
  out += cat({tag, hex(matrix), main, hex("0000")});
}

// Bars, arrows over or under a slot, braces with a label, vector accents (MTEF 2/3
// selectors; MathType 5 underbar and overbar come here as 0x10 and 0x11).
void decoration(const Node& node, SlotTexts& slots, Bytes& out, int selector) {
  const bool arrow = selector >= 0x12 && selector <= 0x14;
  const bool brace = selector == 0x1b || selector == 0x1c;
  const Bytes main = slots.take();
  Bytes label;
  Bytes character;
  if (arrow) character = slots.take();
  if (brace) {
    label = slots.take();
    character = slots.take();
  }
  out += cat({byte(static_cast<std::uint32_t>(selector)),
              byte(static_cast<std::uint32_t>(node.variation)), kEnd, main, label, character,
              kEnd});
}

// The over arc: a limit template with a nudged MT Extra arc as its upper limit.
void arc(SlotTexts& slots, Bytes& out) {
  const Bytes main = slots.take();
  out += cat({hex("270000"), main, hex("11018280e88b0aee0000")});
}

void dispatch5(const WriterState& state, const Node& node, SlotTexts& slots, Bytes& out) {
  const int selector = node.selector;
  switch (selector) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
      fence(node, slots, out, FenceKind::kSingle);
      return;
    case 8: fence(node, slots, out, FenceKind::kWhite); return;
    case 9: fence(node, slots, out, FenceKind::kInterval); return;
    case 10: radical(node, slots, out); return;
    case 11: fraction(state, node, slots, out, FractionKind::kBar); return;
    case 12: decoration(node, slots, out, 0x10); return;
    case 13: decoration(node, slots, out, 0x11); return;
    case 14: arrow5(state, node, slots, out); return;
    case 15: integral5(node, slots, out); return;
    case 16: case 17: case 18: case 19: case 20:
      largeOperator5(node, slots, out, selector - 16);
      return;
    case 21: bigOperator(state, node, slots, out, BigOperatorKind::kIntegralStyle); return;
    case 22: bigOperator(state, node, slots, out, BigOperatorKind::kSummationStyle); return;
    case 23: bigOperator(state, node, slots, out, BigOperatorKind::kLimit); return;
    case 24: accent5(node, slots, out, 5); return;
    case 25: accent5(node, slots, out, 6); return;
    case 26: fraction(state, node, slots, out, FractionKind::kLongDivision); return;
    case 27: script(slots, out, ScriptKind::kSubscript, node.variation != 0); return;
    case 28: script(slots, out, ScriptKind::kSuperscript, node.variation != 0); return;
    case 29: script(slots, out, ScriptKind::kSubSuperscript, node.variation != 0); return;
    case 30: braKet(node, slots, out); return;
    case 31: case 32: case 33: case 34: case 35:
      accent5(node, slots, out, selector - 31);
      return;
    case 36: box5(node, slots, out, true); return;
    case 37: box5(node, slots, out, false); return;
    default: return;
  }
}

void dispatch3(const WriterState& state, const Node& node, SlotTexts& slots, Bytes& out) {
  const int selector = node.selector;
  if (selector <= 12) {
    fence(node, slots, out, FenceKind::kSingle);
    return;
  }
  switch (selector) {
    case 13: radical(node, slots, out); return;
    case 14: fraction(state, node, slots, out, FractionKind::kBar); return;
    case 15: case 44: {
      const int v = node.variation;
      const ScriptKind kind = v == 0   ? ScriptKind::kSuperscript
                              : v == 1 ? ScriptKind::kSubscript
                                       : ScriptKind::kSubSuperscript;
      script(slots, out, kind, selector == 44);
      return;
    }
    case 16: case 17: case 18: case 19: case 20: case 27: case 28: case 46: case 47:
      decoration(node, slots, out, selector);
      return;
    case 21: case 22: case 23: case 24: case 25: case 26:
      integral3(node, slots, out);
      return;
    case 39: bigOperator(state, node, slots, out, BigOperatorKind::kLimit); return;
    case 40: fraction(state, node, slots, out, FractionKind::kLongDivision); return;
    case 41: fraction(state, node, slots, out, FractionKind::kSlash); return;
    case 42: bigOperator(state, node, slots, out, BigOperatorKind::kIntegralStyle); return;
    case 43: bigOperator(state, node, slots, out, BigOperatorKind::kSummationStyle); return;
    case 45: braKet(node, slots, out); return;
    case 48: arc(slots, out); return;
    default:  // 29 to 38
      largeOperator3(node, slots, out);
      return;
  }
}

}  // namespace

void writeTemplate(WriterState& state, const Node& node, Bytes& out, std::int32_t following) {
  const bool v5 = state.version == 5;
  const bool box = v5 && (node.selector == 36 || node.selector == 37);
  if (!box) {
    // Only the exact options value 8 announces a nudge.
    out += node.options == 8 ? '\x83' : '\x03';
    out += node.nudge;
  }
  SlotTexts slots(state, node, following);
  if (v5) {
    dispatch5(state, node, slots, out);
  } else {
    dispatch3(state, node, slots, out);
  }
}

}  // namespace writers::mtef3
