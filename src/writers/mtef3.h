// The MTEF 3 writer: an equation tree as the "Equation Native" stream of an Equation 3.0
// object (its 28-byte header, the MTEF 3 header and the records).
#pragma once

#include <string>

#include "equation/tree.h"

namespace writers {

struct Mtef3Options {
  bool euclid = false;  // MathType's Euclid fonts may be used
};

// The stream's bytes; empty when the equation draws nothing.
std::string writeEquationNative(const equation::Equation& equation, const Mtef3Options& options);
// The same into `stream` (emptied first), which keeps its capacity from one use to the next.
void writeEquationNative(const equation::Equation& equation, const Mtef3Options& options,
                         std::string& stream);

}  // namespace writers
