// The MathML writer: an equation tree as presentation MathML 3.
#pragma once

#include <string>

#include "equation/tree.h"

namespace writers {

// One <math> element (display "block" or "inline"), as UTF-8 on one line.
std::string writeMathML(const equation::Equation& eq, bool display);

}  // namespace writers
