// The MathML writer: prints the equation's layout as presentation MathML. Every template
// becomes the element that means the same: fractions mfrac, roots msqrt and mroot,
// scripts msub/msup/msubsup, operators with limits munderover (or scripts), labelled
// arrows a stretchy mo with its labels over and under it, marks mover/munder accents,
// fences stretchy mo in an mrow, piles and matrices mtable, boxes and strikes menclose.
#include "writers/mathml.h"

#include <string_view>

#include "platform/unicode.h"
#include "writers/math_layout.h"

namespace writers {
namespace {

using layout::Box;
using layout::Shape;
using layout::Token;
using layout::Variant;

bool isEmpty(const Box& box) { return box.shape == Shape::Row && box.parts.empty(); }

const char* variantName(Variant variant) {
  switch (variant) {
    case Variant::Italic: return "italic";
    case Variant::Normal: return "normal";
    case Variant::Bold: return "bold";
    case Variant::BoldItalic: return "bold-italic";
    case Variant::DoubleStruck: return "double-struck";
    case Variant::Fraktur: return "fraktur";
    case Variant::BoldFraktur: return "bold-fraktur";
    case Variant::Script: return "script";
    case Variant::BoldScript: return "bold-script";
  }
  return "normal";
}

// Characters that stretch as fences but stand as themselves when written as characters.
bool isFenceChar(char32_t c) {
  switch (c) {
    case '(': case ')': case '[': case ']': case '{': case '}': case '|': case 0x2016:
    case 0x27E8: case 0x27E9: case 0x27E6: case 0x27E7: case 0x2308: case 0x2309:
    case 0x230A: case 0x230B:
      return true;
    default:
      return false;
  }
}

// The character of a mark, above or below.
char32_t markChar(layout::Mark mark, bool below) {
  using layout::Mark;
  switch (mark) {
    case Mark::Dot: return 0x02D9;
    case Mark::DoubleDot: return 0x00A8;
    case Mark::TripleDot: return 0x20DB;
    case Mark::QuadrupleDot: return 0x20DC;
    case Mark::Tilde: return 0x02DC;
    case Mark::Hat: return 0x02C6;
    case Mark::Bar: case Mark::DoubleBar: return below ? '_' : 0x00AF;
    case Mark::RightArrow: return 0x2192;
    case Mark::LeftArrow: return 0x2190;
    case Mark::BothArrow: return 0x2194;
    case Mark::RightHarpoon: return 0x21C0;
    case Mark::LeftHarpoon: return below ? 0x21BD : 0x21BC;
    case Mark::Frown: return 0x2322;
    case Mark::Smile: return 0x2323;
    case Mark::Arc: return 0x23DC;
    default: return 0x2032;
  }
}

class Writer {
 public:
  std::string out;

  // A box in a sequence: a row writes its parts one after the other.
  void inRow(const Box& box) {
    if (box.shape == Shape::Row) {
      for (const Box& part : box.parts) inRow(part);
    } else {
      element(box);
    }
  }

  // A box where exactly one element must stand.
  void arg(const Box& box) {
    if (box.shape != Shape::Row) return element(box);
    if (box.parts.size() == 1) return arg(box.parts[0]);
    if (box.parts.empty()) {
      out += "<mrow/>";
      return;
    }
    out += "<mrow>";
    inRow(box);
    out += "</mrow>";
  }

 private:
  void text(char32_t c) {
    switch (c) {
      case '&': out += "&amp;"; return;
      case '<': out += "&lt;"; return;
      case '>': out += "&gt;"; return;
      default: platform::appendUtf8(out, c);
    }
  }
  void text(const std::u32string& s) {
    for (char32_t c : s) text(c);
  }
  void mo(char32_t c, const char* attributes = "") {
    out += "<mo";
    out += attributes;
    out += '>';
    text(c);
    out += "</mo>";
  }
  void open(const char* name) {
    out += '<';
    out += name;
    out += '>';
  }
  // Closes the element `open` started (its attributes left out).
  void close(std::string_view name) {
    out += "</";
    out += name.substr(0, name.find(' '));
    out += '>';
  }
  // name(first, second [, third]) with each part one element.
  void wrap(const char* name, const Box& a, const Box& b) {
    open(name);
    arg(a);
    arg(b);
    close(name);
  }
  void wrap(const char* name, const Box& a, const Box& b, const Box& c) {
    open(name);
    arg(a);
    arg(b);
    arg(c);
    close(name);
  }

  void token(const Box& box) {
    const char* name = "mo";
    Variant plain = Variant::Normal;
    switch (box.token) {
      case Token::Identifier: case Token::Function:
        name = "mi";
        plain = box.text.size() == 1 ? Variant::Italic : Variant::Normal;
        break;
      case Token::Number: name = "mn"; break;
      case Token::Text: name = "mtext"; break;
      case Token::Operator: break;
      case Token::Space: {
        static const char* const kWidths[] = {"0em", "0.1667em", "0.2222em", "0.2778em", "1em"};
        out += "<mspace width=\"";
        out += kWidths[static_cast<int>(box.space)];
        out += "\"/>";
        return;
      }
    }
    Variant variant = box.variant;
    // Numbers, operators and text are upright; italic there is the typeface's default.
    if (box.token != Token::Identifier && box.token != Token::Function && variant == Variant::Italic)
      variant = Variant::Normal;
    if (box.token == Token::Function) variant = Variant::Normal;
    out += '<';
    out += name;
    if (variant != plain) {
      out += " mathvariant=\"";
      out += variantName(variant);
      out += '"';
    }
    if (box.token == Token::Operator && box.text.size() == 1 && isFenceChar(box.text[0])) out += " stretchy=\"false\"";
    out += '>';
    if (box.token == Token::Text) {
      // Spaces inside a text token would be collapsed: they are no-break spaces.
      for (char32_t c : box.text) text(c == ' ' ? char32_t{0xA0} : c);
    } else {
      text(box.text);
    }
    close(name);
  }

  // Limits under and over (or as scripts) of a base.
  void limits(const Box& base, const Box& lower, const Box& upper, bool hasLower, bool hasUpper, bool underOver,
              const char* baseOperator = nullptr) {
    const char* both = underOver ? "munderover" : "msubsup";
    const char* below = underOver ? "munder" : "msub";
    const char* above = underOver ? "mover" : "msup";
    const char* name = hasLower && hasUpper ? both : hasLower ? below : hasUpper ? above : nullptr;
    if (name) open(name);
    if (baseOperator) {
      out += baseOperator;
    } else {
      arg(base);
    }
    if (hasLower) arg(lower);
    if (hasUpper) arg(upper);
    if (name) close(name);
  }

  void element(const Box& box) {
    switch (box.shape) {
      case Shape::Token: return token(box);
      case Shape::Row: return arg(box);
      case Shape::Fraction: return fraction(box);
      case Shape::Root:
        if (isEmpty(box.parts[1])) {
          open("msqrt");
          inRow(box.parts[0]);
          close("msqrt");
        } else {
          wrap("mroot", box.parts[0], box.parts[1]);
        }
        return;
      case Shape::Scripts:
        if (box.lower && box.upper) return wrap("msubsup", box.parts[0], box.parts[1], box.parts[2]);
        return wrap(box.lower ? "msub" : "msup", box.parts[0], box.parts[box.lower ? 1 : 2]);
      case Shape::BigOperator: return bigOperator(box);
      case Shape::Limit:
        return limits(box.parts[0], box.parts[1], box.parts[2], box.lower, box.upper, true);
      case Shape::Arrow: {
        std::string arrow = "<mo stretchy=\"true\">";
        platform::appendUtf8(arrow, box.code);
        arrow += "</mo>";
        return limits(box, box.parts[1], box.parts[0], box.lower, box.upper, true, arrow.c_str());
      }
      case Shape::Accent: return accent(box);
      case Shape::Brace: return brace(box);
      case Shape::Fence: return fence(box);
      case Shape::Table: return table(box);
      case Shape::Enclose: return enclose(box);
      case Shape::LongDivision: {
        const bool quotient = !isEmpty(box.parts[1]);
        if (quotient) open("mover accent=\"true\"");
        out += "<menclose notation=\"longdiv\">";
        inRow(box.parts[0]);
        out += "</menclose>";
        if (quotient) {
          arg(box.parts[1]);
          close("mover");
        }
        return;
      }
    }
  }

  void fraction(const Box& box) {
    switch (box.fraction) {
      case layout::Fraction::Bar: return wrap("mfrac", box.parts[0], box.parts[1]);
      case layout::Fraction::Small:
        out += "<mstyle displaystyle=\"false\">";
        wrap("mfrac", box.parts[0], box.parts[1]);
        out += "</mstyle>";
        return;
      case layout::Fraction::Skewed: return wrap("mfrac bevelled=\"true\"", box.parts[0], box.parts[1]);
      case layout::Fraction::Linear:
        out += "<mrow>";
        arg(box.parts[0]);
        mo('/');
        arg(box.parts[1]);
        out += "</mrow>";
        return;
    }
  }

  void bigOperator(const Box& box) {
    const Box& op = box.parts[0];
    const Box* single = op.parts.size() == 1 ? &op.parts[0] : nullptr;
    if (single && single->shape == Shape::Token && single->token == Token::Operator) {
      // The operator is large; placed limits stay under and over it inline too.
      std::string element = box.underOver ? "<mo largeop=\"true\" movablelimits=\"false\">" : "<mo largeop=\"true\">";
      for (char32_t c : single->text) platform::appendUtf8(element, c);
      element += "</mo>";
      return limits(op, box.parts[1], box.parts[2], box.lower, box.upper, box.underOver, element.c_str());
    }
    limits(op, box.parts[1], box.parts[2], box.lower, box.upper, box.underOver);
  }

  void accent(const Box& box) {
    if (box.mark == layout::Mark::Prime) {
      open("msup");
      arg(box.parts[0]);
      out += "<mo>";
      text(box.text);
      out += "</mo>";
      close("msup");
      return;
    }
    const bool twice = box.mark == layout::Mark::DoubleBar;
    const char* name = box.below ? "munder accentunder=\"true\"" : "mover accent=\"true\"";
    const char* end = box.below ? "munder" : "mover";
    const char32_t c = markChar(box.mark, box.below);
    const char* stretch = box.mark == layout::Mark::Dot || box.mark == layout::Mark::DoubleDot ||
                                  box.mark == layout::Mark::TripleDot || box.mark == layout::Mark::QuadrupleDot
                              ? ""
                              : " stretchy=\"true\"";
    open(name);
    if (twice) open(name);
    arg(box.parts[0]);
    if (twice) {
      mo(c, stretch);
      close(end);
    }
    mo(c, stretch);
    close(end);
  }

  void brace(const Box& box) {
    const bool label = !isEmpty(box.parts[1]);
    const char32_t c = box.below ? (box.bracketShape ? 0x23B5 : 0x23DF) : (box.bracketShape ? 0x23B4 : 0x23DE);
    if (label) open(box.below ? "munder" : "mover");
    open(box.below ? "munder accentunder=\"true\"" : "mover accent=\"true\"");
    arg(box.parts[0]);
    mo(c, " stretchy=\"true\"");
    close(box.below ? "munder" : "mover");
    if (label) {
      arg(box.parts[1]);
      close(box.below ? "munder" : "mover");
    }
  }

  void fence(const Box& box) {
    out += "<mrow>";
    if (box.code) mo(box.code, " fence=\"true\" form=\"prefix\" stretchy=\"true\"");
    inRow(box.parts[0]);
    if (box.middle) {
      mo(box.middle, " fence=\"true\" form=\"infix\" stretchy=\"true\"");
      inRow(box.parts[1]);
    }
    if (box.close) mo(box.close, " fence=\"true\" form=\"postfix\" stretchy=\"true\"");
    out += "</mrow>";
  }

  static const char* ruleName(layout::Rule rule) {
    return rule == layout::Rule::Solid ? "solid" : rule == layout::Rule::Dashed ? "dashed" : "none";
  }

  // The lines between rows or columns; empty when there are none.
  static std::string innerRules(const std::vector<layout::Rule>& rules) {
    std::string value;
    bool any = false;
    for (std::size_t i = 1; i + 1 < rules.size(); ++i) {
      if (!value.empty()) value += ' ';
      value += ruleName(rules[i]);
      any = any || rules[i] != layout::Rule::None;
    }
    return any ? value : std::string{};
  }

  void table(const Box& box) {
    out += "<mtable";
    if (box.relational) {
      out += " columnalign=\"right left\" columnspacing=\"0em\"";
    } else {
      out += box.align == 'c' ? " columnalign=\"center\"" : box.align == 'r' ? " columnalign=\"right\"" : " columnalign=\"left\"";
    }
    const std::string rows = innerRules(box.rowRules);
    const std::string columns = innerRules(box.columnRules);
    if (!rows.empty()) out += " rowlines=\"" + rows + "\"";
    if (!columns.empty()) out += " columnlines=\"" + columns + "\"";
    // MathML frames all four sides or none: a frame when any outer line is drawn.
    layout::Rule frame = layout::Rule::None;
    for (const auto* rules : {&box.rowRules, &box.columnRules}) {
      if (rules->empty()) continue;
      for (layout::Rule r : {rules->front(), rules->back()})
        if (r != layout::Rule::None) frame = r;
    }
    if (frame != layout::Rule::None) out += std::string(" frame=\"") + ruleName(frame) + "\"";
    out += '>';
    const std::size_t columnCount = static_cast<std::size_t>(box.columns);
    for (std::size_t cell = 0; columnCount > 0 && cell < box.parts.size(); ++cell) {
      if (cell % columnCount == 0) out += "<mtr>";
      out += "<mtd>";
      inRow(box.parts[cell]);
      out += "</mtd>";
      if (cell % columnCount == columnCount - 1) out += "</mtr>";
    }
    out += "</mtable>";
  }

  void enclose(const Box& box) {
    std::string notation;
    auto add = [&](std::uint16_t flag, const char* name) {
      if ((box.notation & flag) != flag) return;
      if (!notation.empty()) notation += ' ';
      notation += name;
    };
    if ((box.notation & layout::kBox) == layout::kBox) {
      notation = "box";
    } else {
      add(layout::kTop, "top");
      add(layout::kBottom, "bottom");
      add(layout::kLeft, "left");
      add(layout::kRight, "right");
    }
    add(layout::kHorizontalStrike, "horizontalstrike");
    add(layout::kUpStrike, "updiagonalstrike");
    add(layout::kDownStrike, "downdiagonalstrike");
    add(layout::kActuarial, "actuarial");
    out += "<menclose notation=\"" + notation + "\">";
    inRow(box.parts[0]);
    out += "</menclose>";
  }
};

}  // namespace

std::string writeMathML(const equation::Equation& eq, bool display) {
  Writer writer;
  writer.out = display ? R"(<math xmlns="http://www.w3.org/1998/Math/MathML" display="block">)"
                       : R"(<math xmlns="http://www.w3.org/1998/Math/MathML" display="inline">)";
  writer.inRow(layout::build(eq));
  writer.out += "</math>";
  return writer.out;
}

}  // namespace writers
