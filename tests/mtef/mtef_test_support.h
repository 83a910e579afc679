// Helpers for building MTEF streams by hand in tests.
#pragma once

#include <string>
#include <string_view>

#include "mtef/handlers.h"
#include "mtef/record.h"

namespace mtef_test {

// Hex text written with blanks for readability.
inline std::string hex(std::string_view spaced) {
  std::string digits;
  for (char c : spaced) {
    if (c != ' ') digits += c;
  }
  return digits;
}

// A zero-terminated name as hex.
inline std::string name(std::string_view text) {
  std::string digits;
  for (char c : text) digits += hexByte(static_cast<unsigned char>(c));
  return digits + "00";
}

// Atom markers shown as '<' and '>'.
inline std::string visible(std::string text) {
  for (char& c : text) {
    if (c == kAtomStart) c = '<';
    if (c == kAtomEnd) c = '>';
  }
  return text;
}

// A whole "Equation Native" stream: 28-byte header, MTEF header (MTEF 5 adds the
// application key "DSMT4" and an options byte), then the records.
inline std::string equationNative(int version, std::string_view records) {
  std::string stream = "1c00" + std::string(52, '0') + hexByte(static_cast<unsigned>(version)) +
                       "01000000";
  if (version == 5) stream += "44534d543400" "00";
  return stream + hex(records);
}

// A context reading a bare record stream.
inline EquationContext readerFor(int target, int version, std::string_view records,
                                 int isEuclid = 0, int isUniPrime = 1) {
  EquationContext ctx = makeEquationContext(target, isEuclid, isUniPrime);
  ctx.mtefVersion = version;
  ctx.mtefHex = hex(records);
  return ctx;
}

// Runs the top level the way the driver does for MTEF 5 and returns what the equation's
// line holds (the LINE tag and END removed for the MTEF 3 target).
inline std::string lineContent(EquationContext& ctx) {
  std::string body;
  while (ctx.inPreamble) {
    body.clear();
    if (readRecord(ctx, &body, kModeTopLevel) != 0) break;
  }
  if (ctx.targetMode == 0 && body.size() >= 4) body = body.substr(2, body.size() - 4);
  return visible(body);
}

inline int bytesRead(const EquationContext& ctx) {
  const int read = (ctx.readPos + 1) / 2;
  const int size = static_cast<int>(ctx.mtefHex.size() / 2);
  return read < size ? read : size;
}

}  // namespace mtef_test
