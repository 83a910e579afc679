// The compound-file reader on arbitrary bytes, as an equation object's native data.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ole/equation_object.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* digits = "0123456789abcdef";
  HexBytes hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex += digits[data[i] >> 4];
    hex += digits[data[i] & 15];
  }
  HexBytes out;
  ReadEquationNative(out, hex, 5);
  if (out.size() % 2 != 0) __builtin_trap();
  return 0;
}
