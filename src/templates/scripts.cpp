// Scripts and limits: subscripts and superscripts after or before their base, limits, and
// the integral-style and summation-style big operators.
//
// MTEF writes a script template after the item it scripts, so for Office Math the script
// takes its base back out of the text already written (the last complete atom) and
// rebuilds it as the base of an \msSup, \msSub or \msSubSup group.
#include "templates/template_io.h"

namespace tmpl {
namespace {

// Writes the script group for the kind and position, with the subscript S and the
// superscript P. For Office Math the base is cut from the end of out first.
void writeScript(EquationContext& ctx, std::string* out, int kind, bool before,
                 const std::string& sub, const std::string& sup) {
  std::string base;
  if (isOfficeMath(ctx) && !out->empty()) base = takeScriptBase(*out);

  std::string_view mtef3Head;
  std::string om;
  if (!before) {
    const std::string_view b = base.empty() ? std::string_view{" "} : std::string_view{base};
    if (kind == kSuperscript) {
      mtef3Head = "0f0000";
      om = cat({kStart, R"({\msSup{\msSupPr}{\me )", b, R"(}{\msup )", sup, "}}", kEnd});
    } else if (kind == kSubscript) {
      mtef3Head = "0f0100";
      om = cat({kStart, R"({\msSub{\msSubPr}{\me )", b, R"(}{\msub )", sub, "}}", kEnd});
    } else {
      mtef3Head = "0f0200";
      om = cat({kStart, R"({\msSubSup{\msSubSupPr}{\me )", b, R"(}{\msub )", sub,
                R"(}{\msup )", sup, "}}", kEnd});
    }
  } else {
    // Leading scripts: the base found is the item before them and is written back
    // unchanged; the pre-script group itself has an empty base.
    if (kind == kSuperscript) {
      mtef3Head = "2c0000";
      om = cat({kStart, base, R"({\msPre{\msPrePr}{\msub  }{\msup )", sup,
                R"(}{\me  }})", kEnd});
    } else if (kind == kSubscript) {
      mtef3Head = "2c0100";
      om = cat({kStart, base, R"({\msPre{\msPrePr}{\msub )", sub,
                R"(}{\msup  }{\me  }})", kEnd});
    } else {
      mtef3Head = "2c0200";
      om = cat({kStart, base, R"({\msPre{\msPrePr}{\msub )", sub, R"(}{\msup )", sup,
                R"(}{\me  }})", kEnd});
    }
  }
  emit(ctx, out, cat({mtef3Head, sub, sup, "00"}), om);
}

// Reads the variation, the options byte, both script slots and the END.
int readScriptRecord(EquationContext& ctx, std::string& sub, std::string& sup) {
  const int v = advance(ctx);
  advance(ctx);  // template options
  SlotList slots{ctx};
  sub = readSlot(slots);
  sup = readSlot(slots);
  finishSlots(slots);
  return v;
}

}  // namespace

void scriptTemplate(EquationContext& ctx, std::string* out, int kind) {
  std::string sub, sup;
  const int v = readScriptRecord(ctx, sub, sup);
  writeScript(ctx, out, kind, v != 0, sub, sup);
}

void scriptTemplateV3(EquationContext& ctx, std::string* out, std::string_view selector) {
  std::string sub, sup;
  const int v = readScriptRecord(ctx, sub, sup);
  const int kind = v == 0 ? kSuperscript : v == 1 ? kSubscript : kSubSuperscript;
  writeScript(ctx, out, kind, selector == "2c", sub, sup);
}

void bigOperatorTemplate(EquationContext& ctx, std::string* out, int kind) {
  const int v = advance(ctx);
  bool lower = false;
  bool upper = false;
  if (ctx.mtefVersion == 5) {
    int h = v >> 4;
    if (h >= 4) h -= 4;  // summation-style placement: not used
    if (h >= 2) {
      h -= 2;
      upper = true;
    }
    if (h >= 1) lower = true;
  } else {
    lower = v != 0;
    upper = v != 1;
  }
  const bool both = lower && upper;
  const bool lowerOnly = lower && !upper;

  std::string_view mtef3Variation = both ? "02" : lowerOnly ? "01" : "00";
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
  const std::string_view selector = kind == kIntegralStyle    ? "2a"
                                    : kind == kSummationStyle ? "2b"
                                                              : "27";

  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string main = readSlot(slots);
  const std::string lim = readSlot(slots);
  const std::string upp = readSlot(slots);
  const std::string op = kind == kLimit ? std::string{} : readSlot(slots);
  finishSlots(slots);

  const std::string mtef3 = cat({selector, mtef3Variation, "00", main, lim, upp, op, "00"});
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
    emit(ctx, out, mtef3, cat({kStart, opening, main, tail, kEnd}));
  } else {
    // The operator character is the base of the group; the main slot (the operand) follows
    // the group so that its content is not lost.
    emit(ctx, out, mtef3, cat({kStart, opening, op, tail, kEnd, main}));
  }
}

}  // namespace tmpl
