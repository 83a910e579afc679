// One embedded equation of a .docx package in, its replacement out. The embedding part
// is a compound file: either the object's own storage with an "Equation Native" stream,
// or an OLE1 wrapper whose "\1Ole10Native" stream holds the native data.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "conversion/equation_conversion.h"

namespace conversion {

struct EmbeddingOutcome {
  bool isEquation = false;   // the class is one this run converts
  bool converted = false;
  std::string className;     // the class that decided (ProgID, CompObj name or class id)
  std::string reason;        // why an equation stayed as it was
  std::string officeMathXml;  // the m:oMath element (Office Math)
  std::string equation3File; // a fresh Equation 3.0 compound file (Equation 3.0 output)
  EquationInfo info;
};

// The class an embedding says it is: the program id in its "\1CompObj" stream, or the
// name belonging to its root class id. Empty when neither is known.
std::string embeddingClassName(std::string_view compoundFile);

// True for classes this run converts: the MathType classes, Equation, and Equation.2 and
// Equation.3 when the output is Office Math.
bool isConvertedClass(std::string_view className, const EquationSettings& settings);

// Converts the embedding. `progId` is what the document names the object; when it is
// empty or not an equation class, the embedding's own class decides. With `scratch`, the
// working memory is that of the run's earlier equations.
EmbeddingOutcome convertEmbedding(std::string_view compoundFile, std::string_view progId,
                                  const EquationSettings& settings, EquationScratch* scratch = nullptr);

}  // namespace conversion
