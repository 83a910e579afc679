// The Office Math writer: an equation tree as a native Word equation in the control-word
// form of RTF.
#pragma once

#include <memory>
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

// What the writer keeps from one equation to the next of a run: its text buffer and
// working lists, so that writing an equation allocates nothing once they have grown.
// One scratch serves one run (one thread) at a time.
class OfficeMathScratch {
 public:
  OfficeMathScratch();
  ~OfficeMathScratch();
  OfficeMathScratch(OfficeMathScratch&&) noexcept;
  OfficeMathScratch& operator=(OfficeMathScratch&&) noexcept;

  struct State;
  State& state();  // made when first needed, also after a move

 private:
  std::unique_ptr<State> state_;
};

// Appends the \mmath group that replaces the object to `out`; false, with nothing
// appended, when the equation draws nothing.
bool writeOfficeMathRtf(const equation::Equation& equation, const OfficeMathOptions& options,
                        OfficeMathScratch& scratch, std::string& out);

// The same group as a string of its own; empty when the equation draws nothing.
std::string writeOfficeMathRtf(const equation::Equation& equation,
                               const OfficeMathOptions& options);

}  // namespace writers
