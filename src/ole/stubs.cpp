// Placeholder until the compound-file reader and writer exist.
#include "ole/equation_object.h"

std::int32_t ReadEquationNative(HexBytes& out, const HexBytes& objectHex, std::int32_t readerMode) {
  out.clear();
  if (readerMode == 4) out = objectHex;
  return readerMode == 4 ? 0 : 1;
}

std::int32_t WriteEquation3Object(HexBytes& out, const HexBytes&) {
  out.clear();
  return 1;
}
