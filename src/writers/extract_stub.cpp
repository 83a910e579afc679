// Temporary stand-ins for the MathML and LaTeX writers, so that extraction can be built
// and tested before they exist. Drop this file when the writers land.
#include <string>

#include "equation/tree.h"

namespace writers {

std::string writeMathML(const equation::Equation&, bool display) {
  return display ? "<math display=\"block\"/>" : "<math/>";
}

std::string writeLatex(const equation::Equation&) { return ""; }

}  // namespace writers
