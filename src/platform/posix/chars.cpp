// Code page 1252 for single bytes, from the published mapping table.
#include "platform/platform.h"

namespace platform {

bool cp1252ToUnicode(unsigned char byte, std::uint32_t& codePoint) {
  // 0x80 to 0x9F differ from Latin-1; 0 marks the five unassigned positions.
  static const std::uint16_t high[32] = {
      0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
  if (byte >= 0x80 && byte <= 0x9F) {
    codePoint = high[byte - 0x80];
    return codePoint != 0;
  }
  codePoint = byte;
  return true;
}

}  // namespace platform
