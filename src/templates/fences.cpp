// Fences and delimiters: brackets around one slot, one-sided fences, mixed pairs,
// intervals, white square brackets and bra-kets, as Office Math \md groups or MTEF 3
// fence templates. The fence characters come from the selector and variation; the
// character records in the input are read but not used for Office Math.
#include "mtef/record.h"
#include "templates/template_io.h"

namespace tmpl {
namespace {

constexpr std::string_view kAngleOpen = R"({\uc1\u10216\'3f})";
constexpr std::string_view kAngleClose = R"({\uc1\u10217\'3f})";

// The opening and closing characters of each single-fence selector (0 to 12).
struct FencePair {
  std::string_view open;
  std::string_view close;
  bool bothOnly;  // mixed pairs that always show both fences
};

FencePair fencePair(int selector) {
  switch (selector) {
    case 0: return {kAngleOpen, kAngleClose, false};
    case 1: return {"(", ")", false};
    case 2: return {R"(\'7b)", R"(\'7d)", false};
    case 3: return {"[", "]", false};
    case 4: return {"|", "|", false};
    case 5: return {R"({\uc1\u8214\'3f})", R"({\uc1\u8214\'3f})", false};
    case 6: return {R"({\uc1\u8970\'3f})", R"({\uc1\u8971\'3f})", false};
    case 7: return {R"({\uc1\u8968\'3f})", R"({\uc1\u8969\'3f})", false};
    case 8: return {"[", "[", false};
    case 9: return {"]", "]", false};
    case 10: return {"]", "[", false};
    case 11: return {"[", ")", true};
    case 12: return {"(", "]", true};
    default: return {kAngleOpen, kAngleClose, false};
  }
}

std::string fenceChars(std::string_view open, std::string_view close) {
  return cat({R"({\mbegChr )", open, R"(}{\mendChr )", close, "}"});
}

// Which fences a variation shows: 1 the left one, 2 the right one, anything else both.
bool leftOnly(int v) { return v == 1; }
bool rightOnly(int v) { return v == 2; }

// The closing records of MTEF 3 white brackets: the inner fence characters and its END,
// the END of the line that holds the inner template, the outer fence characters and their
// END. Each character is an expanding-fence CHAR (typeface 0x96), nudged like the record.
std::string whiteBracketClose(int v, const std::string& nudge) {
  const std::string tag = nudge.empty() ? std::string{"02"} : cat({"82", nudge});
  const std::string open = cat({tag, "965b00"});
  const std::string close = cat({tag, "965d00"});
  std::string chars;
  if (leftOnly(v)) {
    chars = open;
  } else if (rightOnly(v)) {
    chars = close;
  } else {
    // 0, 3 and any variation beyond the listed ones: both brackets, as in Office Math.
    chars = cat({open, close});
  }
  return cat({chars, "0000", chars, "00"});
}

}  // namespace

void fenceTemplate(EquationContext& ctx, std::string* out, FenceKind kind,
                   const std::string& nudge) {
  const int selector = currentByteValue(ctx);
  const int v = advance(ctx);

  std::string headMtef3;
  std::string fences;
  bool bothFences = true;
  if (kind == FenceKind::kSingle) {
    const FencePair pair = fencePair(selector);
    std::string_view variation = "00";
    if (pair.bothOnly) {
      fences = fenceChars(pair.open, pair.close);
    } else if (leftOnly(v)) {
      variation = "01";
      fences = fenceChars(pair.open, "");
      bothFences = false;
    } else if (rightOnly(v)) {
      variation = "02";
      fences = fenceChars("", pair.close);
      bothFences = false;
    } else {
      fences = fenceChars(pair.open, pair.close);
    }
    headMtef3 = cat({hex2(static_cast<std::uint32_t>(selector)), variation});
  } else if (kind == FenceKind::kWhite) {
    constexpr std::string_view kWhiteOpen = R"({\uc1\u10214\'3f})";
    constexpr std::string_view kWhiteClose = R"({\uc1\u10215\'3f})";
    if (leftOnly(v)) {
      headMtef3 = "0301";
      fences = fenceChars(kWhiteOpen, "");
      bothFences = false;
    } else if (rightOnly(v)) {
      headMtef3 = "0302";
      fences = fenceChars("", kWhiteClose);
      bothFences = false;
    } else {
      headMtef3 = "0300";
      fences = fenceChars(kWhiteOpen, kWhiteClose);
    }
  } else {
    // Interval: low digit the left fence, high digit the right one; both always shown.
    switch (v) {
      case 0x12: headMtef3 = "0b00"; fences = fenceChars("[", ")"); break;
      case 0x22: headMtef3 = "0800"; fences = fenceChars("[", "["); break;
      case 0x23: headMtef3 = "0a00"; fences = fenceChars("]", "["); break;
      case 0x30: headMtef3 = "0c00"; fences = fenceChars("(", "]"); break;
      case 0x33: headMtef3 = "0900"; fences = fenceChars("]", "]"); break;
      default: headMtef3 = "0000"; fences = fenceChars(kAngleOpen, kAngleClose); break;
    }
  }
  // The template options byte is kept for MTEF 3.
  headMtef3 += hex2(static_cast<std::uint32_t>(advance(ctx)));

  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  std::string fenceRecords = readSlot(slots);
  if (bothFences) fenceRecords += readSlot(slots);
  finishSlots(slots);
  fenceRecords += "00";

  std::string mtef3;
  if (kind == FenceKind::kWhite) {
    // MTEF 3 has no white brackets: square brackets inside square brackets, the inner
    // template on a line of its own.
    const std::string inner = nudge.empty() ? std::string{"0103"} : cat({"81", nudge, "83", nudge});
    mtef3 = cat({headMtef3, inner, headMtef3, main, whiteBracketClose(v, nudge)});
  } else {
    mtef3 = cat({headMtef3, main, fenceRecords});
  }
  emit(ctx, out, mtef3, cat({kStart, R"({\md{\mdPr)", fences, R"(}{\me )", main, "}}", kEnd}));
}

void braKetTemplate(EquationContext& ctx, std::string* out) {
  const int v = advance(ctx);
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string first = readSlot(slots);
  const std::string second = readSlot(slots);
  std::string chars = readSlot(slots);
  chars += readSlot(slots);
  const bool bra = v == 1;
  const bool ket = v == 2;
  // A full bra-ket (0, 3 and, as the nearest form, any unlisted variation) carries a third
  // character record, the separating bar.
  if (!bra && !ket) chars += readSlot(slots);
  finishSlots(slots);

  std::string om = cat({kStart, R"({\md{\mdPr)"});
  if (bra) {
    om += cat({R"({\mbegChr )", kAngleOpen, R"(}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr |}})",
               R"({\me )", first, "}", "}}}"});
  } else if (ket) {
    om += cat({R"({\mbegChr |}{\mendChr }}{\me {\md{\mdPr{\mbegChr }{\mendChr )", kAngleClose,
               "}}", R"({\me )", second, "}", "}}}"});
  } else {
    om += cat({R"({\mbegChr )", kAngleOpen, R"(}{\mendChr )", kAngleClose, "}}", R"({\me )",
               first, R"(}{\me )", second, "}", "}"});
  }
  om += kEnd;
  emit(ctx, out, cat({"2d", bra ? "01" : ket ? "02" : "00", "00", first, second, chars, "00"}),
       om);
}

}  // namespace tmpl
