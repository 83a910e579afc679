// N-ary operators: integrals (single, double, triple, plain or contour) and the large
// operators (summation, product, coproduct, union, intersection) as Office Math \mnary
// groups, or MTEF 3 integral (21 to 26) and large-operator (29 to 38) templates.
#include "mtef/record.h"
#include "templates/template_io.h"

namespace tmpl {
namespace {

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

// Takes a flag of the given weight off a packed variation digit; true when it was set.
bool takeFlag(int& digit, int weight) {
  if (digit < weight) return false;
  digit -= weight;
  return true;
}

// The whole n-ary text for both targets. props are the Office Math property texts after
// the character; ops the operator records (MTEF 3 only). The Office Math children come
// in schema order: limits first, then the operand, which is never left empty.
void writeNary(EquationContext& ctx, std::string* out, std::string_view mtef3Head,
               std::string_view chr, std::string_view props, const std::string& main,
               const std::string& lower, const std::string& upper, const std::string& ops) {
  const std::string_view operand = main.empty() ? std::string_view{R"(\zwnbo)"} : main;
  emit(ctx, out, cat({mtef3Head, "00", main, lower, upper, ops, "00"}),
       cat({kStart, R"({\mnary{\mnaryPr{\mctrlPr }{\mchr )", chr, props, R"(}{\msub )", lower,
            R"(}{\msup )", upper, R"(}{\me )", operand, "}}", kEnd}));
}

// A sum, product, coproduct, union or intersection: after the template options come the
// operand, the lower and upper limits and the operator record.
void writeLargeOperator(EquationContext& ctx, std::string* out, std::string_view mtef3Head,
                        std::string_view chr, std::string_view props) {
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  const std::string lowerText = readSlot(slots);
  const std::string upperText = readSlot(slots);
  const std::string op = readSlot(slots);
  finishSlots(slots);
  writeNary(ctx, out, mtef3Head, chr, props, main, lowerText, upperText, op);
}

// Reads count operator records and returns their text.
std::string readOperators(SlotList& slots, int count) {
  std::string ops;
  for (int i = 0; i < count; ++i) ops += readSlot(slots);
  return ops;
}

// Large-operator hide texts and MTEF 3 variation (shared by both versions).
struct Hide {
  std::string_view mtef3;
  std::string_view officeMath;
};

Hide largeOperatorHide(bool lower, bool upper) {
  if (!lower) return {"02", kBothHidden};
  if (upper) return {"01", ""};
  return {"00", kUpperHidden};
}

}  // namespace

void integralTemplate(EquationContext& ctx, std::string* out) {
  const int v = advance(ctx);
  int low = v & 0x0f;
  int high = v >> 4;
  // The low digit packs the contour flags (12, 8 and 4) above the integral count.
  bool contour = takeFlag(low, 12);
  contour = takeFlag(low, 8) || contour;
  contour = takeFlag(low, 4) || contour;
  const int count = low == 0 ? 1 : low;
  if (takeFlag(high, 8)) advance(ctx);  // extended variation byte, not used
  const bool sumStyle = takeFlag(high, 4);
  const bool upper = takeFlag(high, 2);
  const bool lower = takeFlag(high, 1);

  static constexpr std::string_view kPlain[] = {"15", "16", "17"};
  static constexpr std::string_view kSum[] = {"18", "19", "1a"};
  const std::string_view selector = sumStyle ? kSum[count - 1] : kPlain[count - 1];

  // Variation and hide text by count, form and limits.
  Hide hide;
  if (!lower && !upper) {
    hide = {count == 1 ? (contour ? "03" : "00") : (contour ? "02" : "00"), kBothHidden};
  } else if (count == 1 && !contour) {
    hide = !upper ? Hide{"01", kUpperHidden} : sumStyle ? Hide{"00", ""} : Hide{"02", ""};
  } else if (count == 1) {
    hide = {sumStyle ? "02" : "04", kUpperHidden};
  } else if (!contour) {
    hide = {"01", kUpperHidden};
  } else {
    hide = {sumStyle ? "00" : "03", kUpperHidden};
  }

  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  const std::string lowerText = readSlot(slots);
  const std::string upperText = readSlot(slots);
  std::string ops;
  if (contour && !slots.ended) {
    // A leading size record is kept on its own (without the record after it); then one
    // record is dropped before the integral signs.
    const int next = advance(ctx);
    putBack(ctx);
    if (next >= 9 && next <= 14) readRecord(ctx, &ops, kModeTopLevel);
    skipSlot(slots);
  }
  ops += readOperators(slots, count);
  finishSlots(slots);

  writeNary(ctx, out, cat({selector, hide.mtef3}), integralChar(count, contour),
            cat({hide.officeMath, sumStyle ? kUnderOver : kSubSup}), main, lowerText,
            upperText, ops);
}

void largeOperatorTemplate(EquationContext& ctx, std::string* out, int kind) {
  const int v = advance(ctx);
  int h = v >> 4;
  const bool sumStyle = takeFlag(h, 4);
  const bool upper = takeFlag(h, 2);
  const bool lower = takeFlag(h, 1);

  static constexpr std::string_view kBeside[] = {"1e", "20", "22", "24", "26"};
  static constexpr std::string_view kOther[] = {"1d", "1f", "21", "23", "25"};
  const int k = kind >= 0 && kind <= 4 ? kind : 0;
  const std::string_view selector = lower && !sumStyle ? kBeside[k] : kOther[k];
  const Hide hide = largeOperatorHide(lower, upper);

  writeLargeOperator(ctx, out, cat({selector, hide.mtef3}), largeOperatorChar(k),
                     cat({sumStyle ? kUnderOver : kSubSup, hide.officeMath}));
}

void integralTemplateV3(EquationContext& ctx, std::string* out, std::string_view selector) {
  const int v = advance(ctx) & 0x0f;
  bool lower = false;
  bool upper = false;
  bool contour = false;
  if (selector == "15") {
    lower = v == 1 || v == 2 || v == 4;
    upper = v == 2;
    contour = v == 3 || v == 4;
  } else if (selector == "16" || selector == "17") {
    lower = v == 1 || v == 3;
    contour = v == 2 || v == 3;
  } else if (selector == "18") {
    lower = true;
    upper = v != 1 && v != 2;
    contour = v == 2;
  } else {  // "19", "1a"
    lower = true;
    contour = v != 1;
  }
  const bool underOver = selector == "18" || selector == "19" || selector == "1a";
  const int count = selector == "15" || selector == "18"   ? 1
                    : selector == "16" || selector == "19" ? 2
                                                           : 3;
  const std::string_view hide = !lower && !upper ? kBothHidden
                                : lower && !upper ? kUpperHidden
                                                  : std::string_view{};

  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  const std::string lowerText = readSlot(slots);
  const std::string upperText = readSlot(slots);
  const std::string ops = readOperators(slots, count);
  finishSlots(slots);

  writeNary(ctx, out, cat({selector, hex2(static_cast<std::uint32_t>(v))}),
            integralChar(count, contour), cat({hide, underOver ? kUnderOver : kSubSup}), main,
            lowerText, upperText, ops);
}

void largeOperatorTemplateV3(EquationContext& ctx, std::string* out,
                             std::string_view selector) {
  const int v = advance(ctx) & 0x0f;
  const bool lower = v == 0 || v == 1;
  const bool upper = v == 1;
  int kind = 0;
  if (selector == "1f" || selector == "20") kind = 1;
  if (selector == "21" || selector == "22") kind = 2;
  if (selector == "23" || selector == "24") kind = 3;
  if (selector == "25" || selector == "26") kind = 4;
  const Hide hide = largeOperatorHide(lower, upper);

  writeLargeOperator(ctx, out, cat({selector, hide.mtef3}), largeOperatorChar(kind),
                     hide.officeMath);
}

}  // namespace tmpl
