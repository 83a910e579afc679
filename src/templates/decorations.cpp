// Decorating templates: labelled arrows, vector arrows and other accents, horizontal
// braces and brackets with labels, under- and overbars, boxes, strike-through and the over
// arc. MTEF 3 lacks most of these, so for that target they are rebuilt from limit,
// big-operator and matrix templates with MT Extra (typeface 0x8b) or expanding-fence
// (typeface 0x96) characters.
#include "mtef/record.h"
#include "templates/template_io.h"

namespace tmpl {
namespace {

constexpr std::string_view kGroupChrOpen =
    R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr )";
constexpr std::string_view kPosTop = R"({\mpos top}}{\me )";
constexpr std::string_view kVertBot = R"({\mvertJc bot}}{\me )";

enum class Direction { kRight, kLeft, kOther };

// Arrow direction from the high digit of an arrow variation: 2 right, 1 left.
Direction arrowDirection(int highDigit) {
  return highDigit == 2 ? Direction::kRight : highDigit == 1 ? Direction::kLeft : Direction::kOther;
}

// Direction from the two low bits of a vector-accent digit: 2 right, 1 left.
Direction accentDirection(int digit) {
  const int bits = digit & 3;
  return bits == 2 ? Direction::kRight : bits == 1 ? Direction::kLeft : Direction::kOther;
}

// The size byte of a record that may start with a size record (FULL to SUBSYM); the byte
// is left unread.
int peekSize(EquationContext& ctx, int fallback) {
  const int next = peek(ctx);
  return next >= 10 && next <= 14 ? next : fallback;
}

void singleArrow(EquationContext& ctx, std::string* out, Direction dir, bool top,
                 bool bottom) {
  const std::string_view sel = dir == Direction::kRight ? "13" : dir == Direction::kLeft ? "12" : "14";
  const std::string_view chr = dir == Direction::kRight  ? R"({\uc1\u8594 >}})"
                               : dir == Direction::kLeft ? R"({\uc1\u8592 <}})"
                                                         : R"({\uc1\u8596 -}})";
  SlotList slots{ctx};
  if (top && bottom) {
    // MTEF 3: a limit template (lower limit only) whose main slot holds the arrow
    // template with the upper text. Office Math keeps the upper text only.
    const int size = peekSize(ctx, 11);
    const std::string upper = readSlot(slots);
    const std::string lower = readSlot(slots);
    const std::string arrow = readSlot(slots);
    finishSlots(slots);
    emit(ctx, out,
         cat({"2701000103", sel, "0000", upper, arrow, "0000", hex2(static_cast<std::uint32_t>(size)),
              "01", lower, ctx.sizeRecord, "00", "00"}),
         cat({kStart, kGroupChrOpen, chr, kVertBot, upper, "}}}}", kEnd}));
    return;
  }
  std::string text;
  std::string_view variation;
  std::string_view position;
  if (bottom) {
    variation = "0100";
    position = kPosTop;
    skipSlot(slots);
    text = readSlot(slots);
  } else {
    // Text above; also the form chosen for an arrow without any text slot.
    variation = "0000";
    position = kVertBot;
    text = readSlot(slots);
    skipSlot(slots);
  }
  const std::string arrow = readSlot(slots);
  finishSlots(slots);
  emit(ctx, out, cat({sel, variation, text, arrow, "00"}),
       cat({kStart, kGroupChrOpen, chr, position, text, "}}}}", kEnd}));
}

// Double arrows and harpoons: in MTEF 3 a summation-style big operator with an empty main
// line and an MT Extra arrow as the operator.
void arrowPair(EquationContext& ctx, std::string* out, Direction dir, bool harpoon, bool top,
               bool bottom) {
  const bool bottomOnly = bottom && !top;
  const int size = peekSize(ctx, 11);
  const std::string_view head = bottomOnly ? "2b010011" : bottom ? "2b020011" : "2b000011";
  SlotList slots{ctx};
  const std::string upper = readSlot(slots);
  const std::string lower = readSlot(slots);
  const int next = peek(ctx);
  const int charSize = next == 10 || next == 13 ? 13 : 14;
  skipSlot(slots);
  skipSlot(slots);
  finishSlots(slots);
  std::string_view chars;
  if (harpoon) {
    chars = dir == Direction::kRight ? "01028b04eb" : dir == Direction::kLeft ? "01028b03eb" : "01028bcc21";
  } else {
    chars = dir == Direction::kRight ? "01028b02eb" : dir == Direction::kLeft ? "01028b01eb" : "01028bc421";
  }
  emit(ctx, out,
       cat({head, hex2(static_cast<std::uint32_t>(size)), lower, upper,
            hex2(static_cast<std::uint32_t>(charSize)), chars, ctx.sizeRecord, "00", "00"}),
       cat({kStart, kGroupChrOpen, R"({\uc1\u8596 -}})", bottomOnly ? kPosTop : kVertBot,
            bottomOnly ? lower : upper, "}}}}", kEnd}));
}

}  // namespace

void arrowTemplate(EquationContext& ctx, std::string* out) {
  const int v = advance(ctx);
  advance(ctx);  // template options
  const int low = v & 0x0f;
  const bool bottom = (low & 8) != 0;
  const bool top = (low & 4) != 0;
  const int style = low & 3;
  const Direction dir = arrowDirection(v >> 4);
  if (style == 0) {
    singleArrow(ctx, out, dir, top, bottom);
  } else {
    arrowPair(ctx, out, dir, style == 2, top, bottom);
  }
}

void accentTemplate(EquationContext& ctx, std::string* out, int kind) {
  const int d = advance(ctx) & 0x0f;
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);

  if (kind == 0) {
    // Vector arrow. Below the slot it is written as a plain bar in Office Math.
    skipSlot(slots);
    finishSlots(slots);
    const bool below = (d & 4) != 0;
    const bool harpoon = (d & 8) != 0;
    const Direction dir = accentDirection(d);
    const std::string_view variation = dir == Direction::kRight ? "0100" : dir == Direction::kLeft ? "0000" : "0200";
    std::string_view chr;
    if (dir == Direction::kRight) {
      chr = harpoon ? R"({\uc1\u8401\'3f}}}{\me )" : R"({\uc1\u8407\'3f}}}{\me )";
    } else if (dir == Direction::kLeft) {
      chr = harpoon ? R"({\uc1\u8400\'3f}}}{\me )" : R"({\uc1\u8406\'3f}}}{\me )";
    } else {
      chr = R"({\uc1\u8417\'3f}}}{\me )";
    }
    const std::string om = below ? cat({kStart, R"({\mbar{\mbarPr }{\me )", main, "}}", kEnd})
                                 : cat({kStart, R"({\macc{\maccPr{\mchr )", chr, main, "}}", kEnd});
    emit(ctx, out, cat({below ? "2e" : "2f", variation, main, "00"}), om);
    return;
  }

  if (kind >= 1 && kind <= 4) {
    // Tilde, hat, arc, joint status: a limit template whose upper limit is one nudged MT
    // Extra character and whose lower limit is a null line.
    skipSlot(slots);
    finishSlots(slots);
    static constexpr std::string_view kUpper[] = {"11018280e88b04ee00", "11018280e88b07ee00",
                                                  "11018280e88b0aee00", "11018280e88b0bee00"};
    const std::string_view opening = kind == 1 ? R"({\macc{\maccPr{\mchr {\uc1\u771\'3f}}}{\me )"
                                               : R"({\macc{\maccPr }{\me )";
    emit(ctx, out, cat({"270000", main, kUpper[kind - 1], "00"}),
         cat({kStart, opening, main, "}}", kEnd}));
    return;
  }

  // Horizontal brace and bracket (kinds 5 and 6), with a label.
  const bool above = d == 1;
  const std::string label = readSlot(slots);
  std::string brace = readSlot(slots);
  finishSlots(slots);
  // The brace character is rewritten as an expanding-fence CHAR (U+FE37 or U+FE38) in
  // place of the one read; anything in front of it (a size record) is kept. The cut never
  // reaches past the record that was read.
  brace.resize(brace.size() >= 8 ? brace.size() - 8 : 0);
  const std::string om =
      above ? cat({kStart,
                   R"({\mlimUpp{\mlimUppPr }{\me {\mgroupChr{\mgroupChrPr{\mchr {\uc1\u9182\'3f}}{\mpos top}{\mvertJc bot}}{\me )",
                   main, R"(}}}{\mlim )", label, "}}", kEnd})
            : cat({kStart, R"({\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me )", main,
                   R"(}}}{\mlim )", label, "}}", kEnd});
  emit(ctx, out,
       cat({above ? "1b0000" : "1c0000", main, label, brace, above ? "029637fe" : "029638fe", "00"}),
       om);
}

void boxTemplate(EquationContext& ctx, std::string* out, int kind, const std::string& nudge) {
  const int v = advance(ctx);
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  finishSlots(slots);

  if (!isOfficeMath(ctx)) {
    // MTEF 3 has neither template: take back the tag and nudge the dispatcher wrote.
    const std::size_t written = 2 + nudge.size();
    out->resize(out->size() >= written ? out->size() - written : 0);
  }

  if (kind == kStrike) {
    std::string_view strike;
    const bool tlbr = (v & 4) != 0;
    const bool bltr = (v & 2) != 0;
    if (v & 1) {
      strike = R"({\mstrikeH on})";
    } else if (tlbr && !bltr) {
      strike = R"({\mstrikeTLBR on})";
    } else if (bltr && !tlbr) {
      strike = R"({\mstrikeBLTR on})";
    } else if (tlbr && bltr) {
      strike = R"({\mstrikeBLTR on}{\mstrikeTLBR on})";
    }
    // In MTEF 3 a struck-through slot is just its content.
    emit(ctx, out, main,
         cat({kStart,
              R"({\mborderBox{\mborderBoxPr {\mhideTop on}{\mhideBot on}{\mhideLeft on}{\mhideRight on})",
              strike, R"(}{\me )", main, "}}", kEnd}));
    return;
  }

  // Box: a one-by-one MTEF 3 matrix whose partition lines draw the borders.
  const bool bottom = (v & 16) != 0;
  const bool top = (v & 8) != 0;
  const bool right = (v & 4) != 0;
  const bool left = (v & 2) != 0 || (v & 1) != 0;  // round corners count as left
  std::string_view matrix;
  std::string_view props;
  if (left && top && !right) {
    matrix = "0101010101010101";
    props = R"({\mhideBot on}{\mhideRight on})";
  } else if (right && top && !left) {
    matrix = "0101010101010401";
    props = R"({\mhideBot on}{\mhideLeft on})";
  } else if (right && bottom && !left) {
    matrix = "0101010101040401";
    props = R"({\mhideTop on}{\mhideLeft on})";
  } else if (left && bottom && !right) {
    matrix = "0101010101040101";
    props = R"({\mhideTop on}{\mhideRight on})";
  } else {
    matrix = "0101010101050501";
    props = "";
  }
  const std::string tag = nudge.empty() ? std::string{"05"} : cat({"85", nudge});
  emit(ctx, out, cat({tag, matrix, main, "0000"}),
       cat({kStart, R"({\mborderBox{\mborderBoxPr )", props, R"(}{\me )", main, "}}", kEnd}));
}

void decorationTemplate(EquationContext& ctx, std::string* out, std::string_view selector) {
  const bool underbar = selector == "10";
  const bool overbar = selector == "11";
  const bool arrow = selector == "12" || selector == "13" || selector == "14";
  const bool brace = selector == "1b" || selector == "1c";
  const bool arrowAccent = selector == "2e" || selector == "2f";

  std::string_view opening;
  if (underbar) {
    opening = R"({\mbar{\mbarPr }{\me )";
  } else if (overbar) {
    opening = R"({\mbar{\mbarPr{\mpos top}}{\me )";
  } else if (selector == "12") {
    opening = R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr {\uc1\u8592 <}})";
  } else if (selector == "13") {
    opening = R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr {\uc1\u8594 >}})";
  } else if (selector == "14") {
    opening = R"({\mbox{\mboxPr{\mopEmu on}}{\me{\mgroupChr{\mgroupChrPr{\mchr {\uc1\u8596 -}})";
  } else if (selector == "1b") {
    opening = R"({\mlimUpp{\mlimUppPr }{\me {\mgroupChr{\mgroupChrPr{\mchr {\uc1\u9182\'3f}}{\mpos top}{\mvertJc bot}}{\me )";
  } else if (selector == "1c") {
    opening = R"({\mlimLow{\mlimLowPr }{\me {\mgroupChr{\mgroupChrPr }{\me )";
  } else {
    opening = R"({\macc{\maccPr{\mchr )";
  }

  const int v = advance(ctx);
  std::string_view afterVariation;
  if (v == 0) {
    if (arrow) afterVariation = kVertBot;
    if (arrowAccent) afterVariation = R"({\uc1\u8406\'3f}}}{\me )";
  } else {
    if (underbar) afterVariation = R"({\mbar{\mbarPr }{\me )";  // double underbar
    if (overbar) afterVariation = R"({\mbar{\mbarPr{\mpos top}}{\me )";  // double overbar
    if (arrow) afterVariation = kPosTop;
    if (arrowAccent) afterVariation = v == 1 ? R"({\uc1\u8407\'3f}}}{\me )" : R"({\uc1\u8417\'3f}}}{\me )";
  }

  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  std::string label;
  std::string character;
  if (arrow) character = readSlot(slots);
  if (brace) {
    label = readSlot(slots);
    character = readSlot(slots);
  }
  finishSlots(slots);

  std::string om = cat({kStart, opening, afterVariation, main});
  if (brace) om += cat({R"(}}}{\mlim )", label});
  om += "}}";
  if (v != 0 && (underbar || overbar)) om += "}}";
  if (arrow) om += "}}";
  om += kEnd;
  emit(ctx, out, cat({selector, hex2(static_cast<std::uint32_t>(v)), "00", main, label, character, "00"}),
       om);
}

void arcTemplate(EquationContext& ctx, std::string* out) {
  advance(ctx);  // variation
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  finishSlots(slots);
  emit(ctx, out, cat({"270000", main, "11018280e88b0aee0000"}),
       cat({kStart, R"({\macc{\maccPr }{\me )", main, "}}", kEnd}));
}

}  // namespace tmpl
