// The LaTeX writer: an equation tree as the body of an amsmath formula.
#pragma once

#include <string>

#include "equation/tree.h"

namespace writers {

// The formula without its math delimiters, as UTF-8, on one line. It uses amsmath and
// amssymb (with cancel, stmaryrd and esint for struck-through parts, white brackets and
// multiple contour integrals), and only commands that KaTeX knows as well.
std::string writeLatex(const equation::Equation& eq);

}  // namespace writers
