// Fractions, slash fractions, long division and radicals: Office Math \mf and \mrad
// groups, or MTEF 3 fraction (14), slash fraction (41), long division (40) and radical
// (13) templates.
#include "templates/template_io.h"

namespace tmpl {
namespace {

struct FractionForm {
  std::string_view mtef3;  // MTEF 3 selector and variation
  std::string_view type;   // Office Math \mtype value
};

FractionForm fractionForm5(int v) {
  switch (v) {
    case 0: return {"0e00", ""};
    case 1: return {"0e01", ""};
    case 2: return {"2900", "skw"};
    case 3: return {"2902", "skw"};
    case 4: return {"2901", "lin"};
    case 5: return {"2903", "lin"};
    case 6: return {"2901", "lin"};
    case 7: return {"2903", "lin"};
    // Unknown variations: Office Math falls back to a bar fraction, and the MTEF 3 target
    // writes the same form, a full-size bar fraction.
    default: return {"0e00", ""};
  }
}

FractionForm fractionFormV3(int kind, int v) {
  if (kind == kSlashFraction) {
    switch (v) {
      case 0: return {"2900", "skw"};
      case 1: return {"2901", "lin"};
      case 2: return {"2902", "skw"};
      case 3: return {"2903", "lin"};
      default: return {"0e00", ""};  // as an unknown fraction variation: a bar fraction
    }
  }
  if (kind == kLongDivision) {
    // The MTEF 2/3 variation is written back unchanged; anything beyond 1 is written as 0.
    return {v == 1 ? "2801" : "2800", ""};
  }
  return {v == 1 ? "0e01" : "0e00", ""};
}

// MTEF 5 long division uses the opposite variation numbering; variations other than 0
// and 1 are taken as 0.
FractionForm longDivisionForm5(int v) { return {v == 1 ? "2800" : "2801", ""}; }

// Writes the fraction from its two slots (numerator and denominator, or dividend and
// quotient). A long division is a bar fraction whose numerator holds two blanks and the
// quotient and whose denominator holds a closing parenthesis and the dividend.
void writeFraction(EquationContext& ctx, std::string* out, FractionForm form,
                   bool longDivision, const std::string& first, const std::string& second) {
  const std::string mtef3 = cat({form.mtef3, "00", first, second, "00"});
  const std::string head = cat({kStart, R"({\mf{\mfPr{\mtype )", form.type, "}}"});
  if (longDivision) {
    emit(ctx, out, mtef3,
         cat({head, R"({\mnum  )", second, R"(}{\mden ))", first, "}}", kEnd}));
  } else {
    emit(ctx, out, mtef3,
         cat({head, R"({\mnum )", first, R"(}{\mden )", second, "}}", kEnd}));
  }
}

void fractionBody(EquationContext& ctx, std::string* out, int kind, bool v5) {
  const int v = advance(ctx);
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string first = readSlot(slots);
  const std::string second = readSlot(slots);
  finishSlots(slots);
  FractionForm form;
  if (v5) {
    form = kind == kLongDivision ? longDivisionForm5(v) : fractionForm5(v);
  } else {
    form = fractionFormV3(kind, v);
  }
  writeFraction(ctx, out, form, kind == kLongDivision, first, second);
}

}  // namespace

void fractionTemplate(EquationContext& ctx, std::string* out, int kind) {
  fractionBody(ctx, out, kind, true);
}

void fractionTemplateV3(EquationContext& ctx, std::string* out, int kind) {
  fractionBody(ctx, out, kind, false);
}

void radicalTemplate(EquationContext& ctx, std::string* out) {
  const int v = advance(ctx);
  advance(ctx);  // template options
  SlotList slots{ctx};
  const std::string radicand = readSlot(slots);
  const std::string index = readSlot(slots);
  finishSlots(slots);
  // The degree group is written for a square root too, empty and hidden.
  emit(ctx, out, cat({"0d", v != 0 ? "01" : "00", "00", radicand, index, "00"}),
       cat({kStart, R"({\mrad{\mradPr )", v != 0 ? "}" : R"({\mdegHide on}})",
            R"({\mdeg )", index, R"(}{\me )", radicand, "}}", kEnd}));
}

}  // namespace tmpl
