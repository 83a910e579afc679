// The .docx stage on arbitrary input. The first byte chooses what the rest is: a whole
// package (even), or the main document part of an otherwise well-formed package holding
// one equation object (odd), so that the story scan and the splicing see hostile XML.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "docx/docx.h"
#include "docx/package.h"
#include "support/docx_builder.h"
#include "ole/equation_object.h"

// The package reader opens the package and finds every entry's directory record (the
// parts' data is not read: an untouched part keeps whatever size it claimed).
static bool readsBack(const std::string& package) {
  docx::PackageReader reader;
  std::string error;
  return reader.open(package, error) && reader.count() > 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  conversion::EquationSettings settings;
  settings.eqVersion = (data[0] & 2) ? 0 : 1;
  if ((data[0] & 1) == 0) {
    const docx::DocxResult result = docx::convertDocx(rest, settings);
    if (result.ok && result.package.empty()) __builtin_trap();
    // A changed package is written by our own zip writer: it must read back.
    if (result.ok && result.changed && !readsBack(result.package)) __builtin_trap();
    return 0;
  }
  static const std::string embedding = buildEquation3CompoundFile(
      std::string("\x1c\x00\x00\x00\x02\x00", 6) + std::string(22, '\0') +
      std::string("\x03\x01\x01\x03\x00\x0a\x02\x83\x61\x00\x00\x00", 12));
  testdocx::Parts parts = testdocx::equationParts({{embedding, "Equation.DSMT4"}});
  for (auto& [name, bytes] : parts)
    if (name == "word/document.xml") bytes.assign(rest);
  const docx::DocxResult result = docx::convertDocx(testdocx::zipParts(parts, true), settings);
  if (result.ok && result.package.empty()) __builtin_trap();
  if (result.ok && result.changed && !readsBack(result.package)) __builtin_trap();
  return 0;
}
