// Code page 1252 for single bytes, through the system's conversion.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

bool cp1252ToUnicode(unsigned char byte, std::uint32_t& codePoint) {
  wchar_t wide = 0;
  char narrow = static_cast<char>(byte);
  if (MultiByteToWideChar(1252, MB_ERR_INVALID_CHARS, &narrow, 1, &wide, 1) != 1) return false;
  codePoint = static_cast<std::uint32_t>(wide);
  return true;
}

}  // namespace platform
