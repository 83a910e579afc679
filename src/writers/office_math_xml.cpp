// OMML XML from the Office Math element tree.
#include "writers/office_math_xml.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

namespace writers {
namespace {

// The order ISO 29500 gives the children of each property element; ctrlPr is last
// everywhere.
struct PropertyOrder {
  std::string_view element;
  std::initializer_list<std::string_view> children;
};

const PropertyOrder kOrders[] = {
    {"accPr", {"chr"}},
    {"barPr", {"pos"}},
    {"borderBoxPr", {"hideTop", "hideBot", "hideLeft", "hideRight", "strikeH", "strikeV",
                     "strikeBLTR", "strikeTLBR"}},
    {"boxPr", {"opEmu", "noBreak", "diff", "brk", "aln"}},
    {"dPr", {"begChr", "sepChr", "endChr", "grow", "shp"}},
    {"eqArrPr", {"baseJc", "maxDist", "objDist", "rSpRule", "rSp"}},
    {"fPr", {"type"}},
    {"groupChrPr", {"chr", "pos", "vertJc"}},
    {"mPr", {"baseJc", "plcHide", "rSpRule", "cGpRule", "rSp", "cSp", "cGp", "mcs"}},
    {"mcPr", {"count", "mcJc"}},
    {"naryPr", {"chr", "limLoc", "grow", "subHide", "supHide"}},
    {"phantPr", {"show", "zeroWid", "zeroAsc", "zeroDesc", "transp"}},
    {"radPr", {"degHide"}},
};

std::size_t rank(const PropertyOrder* order, std::string_view child) {
  if (child == "ctrlPr") return 1000;
  if (!order) return 500;
  std::size_t i = 0;
  for (std::string_view name : order->children) {
    if (name == child) return i;
    ++i;
  }
  return 500;
}

bool endsWithPr(std::string_view name) {
  return name.size() > 2 && name.substr(name.size() - 2) == "Pr";
}

constexpr const char* kRunFont =
    "<w:rPr><w:rFonts w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/></w:rPr>";
constexpr const char* kCtrlFont =
    "<w:rPr><w:rFonts w:ascii=\"Cambria Math\" w:hAnsi=\"Cambria Math\"/><w:i/></w:rPr>";

const char* const kScripts[] = {"roman", "script", "fraktur", "double-struck", "sans-serif",
                                "monospace"};
const char* const kStyles[] = {"p", "b", "i", "bi"};

void append(std::string& out, std::string_view a, std::string_view b, std::string_view c) {
  out.append(a).append(b).append(c);
}

void writeRun(std::string& out, const omml::Element& run) {
  out += "<m:r>";
  if (run.script != 0 || run.style != 2) {
    out += "<m:rPr>";
    if (run.script > 0 && run.script < 6) append(out, "<m:scr m:val=\"", kScripts[run.script], "\"/>");
    if (run.style >= 0 && run.style < 4 && run.style != 2) append(out, "<m:sty m:val=\"", kStyles[run.style], "\"/>");
    out += "</m:rPr>";
  }
  out += kRunFont;
  for (const omml::RunPiece& piece : run.pieces) {
    if (!piece.symbolFont.empty()) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X",
                    piece.symbolCode < 0x100 ? 0xF000 + piece.symbolCode : piece.symbolCode & 0xFFFF);
      out += "<w:sym w:font=\"";
      appendXmlEscaped(out, piece.symbolFont);
      out += "\" w:char=\"";
      out += code;
      out += "\"/>";
      continue;
    }
    if (piece.text.empty()) continue;
    const bool keepSpaces = piece.text.front() == ' ' || piece.text.back() == ' ';
    out += keepSpaces ? "<m:t xml:space=\"preserve\">" : "<m:t>";
    appendXmlEscaped(out, piece.text);
    out += "</m:t>";
  }
  out += "</m:r>";
}

void writeElement(std::string& out, const omml::Element& e, bool inProperties) {
  if (e.name == "r") {
    if (!inProperties) writeRun(out, e);
    return;
  }
  if (e.isProperty) {
    const bool isCharacter = e.name.size() >= 3 &&
                             (e.name.substr(e.name.size() - 3) == "chr" ||
                              e.name.substr(e.name.size() - 3) == "Chr");
    if (e.value.empty() && !isCharacter) return;  // the default, as Word leaves it out
    append(out, "<m:", e.name, " m:val=\"");
    appendXmlEscaped(out, e.value);
    out += "\"/>";
    return;
  }
  if (e.name == "ctrlPr") {
    out += "<m:ctrlPr>";
    out += kCtrlFont;
    out += "</m:ctrlPr>";
    return;
  }
  const bool properties = endsWithPr(e.name);
  if (e.children.empty()) {
    append(out, "<m:", e.name, "/>");
    return;
  }
  append(out, "<m:", e.name, ">");
  if (properties) {
    const PropertyOrder* order = nullptr;
    for (const PropertyOrder& o : kOrders)
      if (o.element == e.name) order = &o;
    // A property element has a few children: they are put in order on the stack.
    const omml::Element* few[16];
    std::vector<const omml::Element*> many;
    const std::size_t n = e.children.size();
    if (n > std::size(few)) many.resize(n);
    const omml::Element** sorted = n > std::size(few) ? many.data() : few;
    for (std::size_t i = 0; i < n; ++i) sorted[i] = &e.children[i];
    const auto before = [&](const omml::Element* a, const omml::Element* b) {
      return rank(order, a->name) < rank(order, b->name);
    };
    if (n > std::size(few)) {
      std::stable_sort(sorted, sorted + n, before);
    } else {
      for (std::size_t i = 1; i < n; ++i)  // insertion sort: stable, and no buffer
        for (std::size_t j = i; j > 0 && before(sorted[j], sorted[j - 1]); --j) std::swap(sorted[j], sorted[j - 1]);
    }
    for (std::size_t i = 0; i < n; ++i) writeElement(out, *sorted[i], true);
  } else {
    for (const omml::Element& c : e.children) writeElement(out, c, false);
  }
  append(out, "</m:", e.name, ">");
}

// Bytes written as they are: not markup, not a control character, not the lead byte of
// U+FFFE or U+FFFF.
bool isPlainXmlByte(unsigned char c) {
  return c >= 0x20 && c != '&' && c != '<' && c != '>' && c != '"' && c != 0xEF;
}

}  // namespace

void appendXmlEscaped(std::string& out, std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    // Characters that stand for themselves go in stretches.
    std::size_t plain = i;
    while (plain < s.size() && isPlainXmlByte(static_cast<unsigned char>(s[plain]))) ++plain;
    if (plain != i) {
      out.append(s.data() + i, plain - i);
      i = plain;
      if (i == s.size()) break;
    }
    const unsigned char c = static_cast<unsigned char>(s[i]);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
        // U+FFFE and U+FFFF (EF BF BE / EF BF BF) are not XML characters.
        if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBF &&
            (static_cast<unsigned char>(s[i + 2]) == 0xBE || static_cast<unsigned char>(s[i + 2]) == 0xBF)) {
          i += 2;
          break;
        }
        out += static_cast<char>(c);
    }
  }
}

std::string writeOfficeMathXml(const std::vector<omml::Element>& equation, bool display) {
  std::string out;
  if (display) out += "<m:oMathPara>";
  out += "<m:oMath>";
  for (const omml::Element& e : equation) writeElement(out, e, false);
  out += "</m:oMath>";
  if (display) out += "</m:oMathPara>";
  return out;
}

std::string officeMathXmlFromRtf(std::string_view officeMathRtf, bool display) {
  const omml::ParseResult parsed = omml::parseOfficeMathRtf(officeMathRtf);
  if (!parsed.ok) return {};
  return writeOfficeMathXml(parsed.equation, display);
}

}  // namespace writers
