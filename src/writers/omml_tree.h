// The Office Math element tree: the elements of OMML (oMath, f, rad, nary, d, sSub, r ...)
// with their properties and runs. Today it is read back from the control-word text the
// Office Math writer produces, which spells OMML one element per group: {\mfoo ...} is
// the element foo, a group that holds only text is a property with that text as its
// value, {\mr ...} is a run with its style words and characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace writers::omml {

// One piece of a run's text: UTF-8 characters, or a character of a symbol font.
struct RunPiece {
  std::string text;          // UTF-8; empty for a symbol
  std::string symbolFont;    // the font of a symbol character
  std::uint32_t symbolCode = 0;
};

struct Element {
  std::string name;             // OMML local name without prefix ("f", "r", "naryPr" ...)
  bool isProperty = false;      // an m:val property: `value` holds its value
  std::string value;            // UTF-8
  // Runs: the math style (scr 0 roman .. 5 monospace; sty 0 plain, 1 bold, 2 italic,
  // 3 bold italic) and the characters.
  int script = 0;
  int style = 2;
  std::vector<RunPiece> pieces;
  std::vector<Element> children;
};

struct ParseResult {
  bool ok = false;
  std::string error;
  bool display = false;           // the text asked for a paragraph of its own
  std::vector<Element> equation;  // the children of the oMath element
};

// Reads the text written by writeOfficeMathRtf (the {\mmath ...} group). Nesting deeper
// than `maxDepth` groups is refused.
ParseResult parseOfficeMathRtf(std::string_view rtf, std::size_t maxDepth = 1000);

// True for the OMML elements that carry a single m:val (chr, begChr, pos, count ...).
bool isPropertyName(std::string_view name);

}  // namespace writers::omml
