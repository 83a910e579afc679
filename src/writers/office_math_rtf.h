// The Office Math writer: an equation tree as a native Word equation in the control-word
// form of RTF.
#pragma once

#include <string>

#include "equation/tree.h"

namespace writers {

struct OfficeMathOptions {
  bool euclid = false;     // MathType's Euclid fonts may be used
  bool uniPrime = true;    // apostrophes and primes in their Unicode forms
  // The font reference written in front of Greek letters (the document's Greek font);
  // empty when the document has none: Greek letters are then Unicode escapes.
  std::string greekFontRef = "\\f382";
};

// The \mmath group that replaces the object; empty when the equation draws nothing.
std::string writeOfficeMathRtf(const equation::Equation& equation,
                               const OfficeMathOptions& options);

}  // namespace writers
