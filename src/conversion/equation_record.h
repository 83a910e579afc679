// What became of one equation object of a document, for the command line's reports and
// extraction: where it stands, what it is and whether it was converted. The document
// passes (RTF and .docx) collect one record per equation object, in document order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "equation/tree.h"

namespace conversion {

// What a conversion learnt of the equation it read.
struct EquationInfo {
  std::int32_t mtefVersion = 0;  // 0 when the stream was never reached
  std::shared_ptr<const equation::Equation> tree;  // only when the settings ask for it
};

struct EquationRecord {
  std::string story = "body";  // body, header, footnote ... (.docx: header1, footnote 3 ...)
  std::uint64_t offset = 0;    // RTF: byte offset of the object's group in the input
  std::string position;        // .docx: the part and the object id; empty for RTF
  std::string className;
  bool display = false;        // the paragraph holds nothing but the equation
  bool converted = false;
  std::string reason;          // why it was kept
  EquationInfo info;
};

// Equation objects handled in this process so far, converted or kept; safe to read from
// another thread (for a progress line).
std::uint64_t equationsHandled();
void countEquationHandled();
// A function called after each equation object is counted (the command line's progress
// line); null for none.
void setEquationHook(void (*hook)());

}  // namespace conversion
