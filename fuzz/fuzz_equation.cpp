// The equation driver on arbitrary "Equation Native" streams. The first input byte picks
// the MTEF version (2 to 5) and the character options; the rest follows a valid header.
#include <cstddef>
#include <cstdint>
#include <string>

#include "mtef/context.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* digits = "0123456789abcdef";
  const int version = 2 + (data[0] & 3);
  // Header length, header version, clipboard format, MTEF length, four reserved words.
  HexBytes stream = "1c00" "00000200" "0000" "00000000" "00000000000000000000000000000000";
  stream += digits[version >> 4];
  stream += digits[version & 15];
  stream += "01010300";  // platform, product, product version and subversion
  for (std::size_t i = 1; i < size; ++i) {
    stream += digits[data[i] >> 4];
    stream += digits[data[i] & 15];
  }
  for (int target : {1, 0}) {
    EquationContext ctx = makeEquationContext(target, (data[0] >> 2) & 1, (data[0] >> 3) & 1);
    greekFontRef.clear();
    ConvertEquation(ctx, stream, 4);
  }
  return 0;
}
