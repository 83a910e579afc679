// The MTEF reader and every writer on raw MTEF bytes. The first input byte picks the MTEF
// version (2 to 5) and the character options; the rest are the records that follow the
// MTEF header.
#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "equation/tree.h"
#include "support/office_math_check.h"
#include "writers/latex.h"
#include "writers/mathml.h"
#include "writers/mtef3.h"
#include "writers/office_math_rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // Header length, header version, clipboard format, MTEF length, four reserved words,
  // then the MTEF header: version, platform, product, product version and subversion.
  std::string stream("\x1c\x00\x00\x00\x02\x00\x00\x00", 8);
  stream.append(20, '\0');
  stream += static_cast<char>(2 + (data[0] & 3));
  stream.append("\x01\x01\x03\x00", 4);
  stream.append(reinterpret_cast<const char*>(data) + 1, size - 1);
  const equation::ReadResult read = equation::readEquationNative(stream);
  if (read.failed) return 0;
  writers::OfficeMathOptions options;
  options.euclid = (data[0] >> 2) & 1;
  options.uniPrime = (data[0] >> 3) & 1;
  const std::string text = writers::writeOfficeMathRtf(read.equation, options);
  // What the writer returns is valid Office Math: well nested, every text in a run, no
  // run inside a run, children in schema order.
  if (!omcheck::problems(text).empty()) __builtin_trap();
  writers::writeEquationNative(read.equation, writers::Mtef3Options{options.euclid});
  // The MathML is well-formed XML.
  const std::string mathml = writers::writeMathML(read.equation, (data[0] >> 4) & 1);
  XML_Parser parser = XML_ParserCreate("UTF-8");
  const bool wellFormed = XML_Parse(parser, mathml.data(), static_cast<int>(mathml.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  if (!wellFormed) __builtin_trap();
  writers::writeLatex(read.equation);
  return 0;
}
