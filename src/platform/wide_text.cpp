#include "platform/wide_text.h"

#include <cstdint>

std::wstring Utf16ToWide(const std::u16string& text) {
  std::wstring out;
  out.reserve(text.size());
  if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
    for (char16_t u : text) out += static_cast<wchar_t>(u);
  } else {
    for (std::size_t i = 0; i < text.size(); ++i) {
      std::uint32_t u = text[i];
      if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        u = 0x10000 + ((u - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
        ++i;
      }
      out += static_cast<wchar_t>(u);
    }
  }
  return out;
}

std::u16string WideToUtf16(const std::wstring& text) {
  std::u16string out;
  out.reserve(text.size());
  for (wchar_t w : text) {
    auto c = static_cast<std::uint32_t>(w);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c > 0xFFFF ? 0xFFFD : c);
    }
  }
  return out;
}
