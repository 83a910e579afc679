#include "platform/unicode.h"

namespace platform {

void appendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | ((c >> 18) & 0x07));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

namespace {

template <typename Units>
std::string unitsToUtf8(const Units& units) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size(); ++i) {
    auto c = static_cast<std::uint32_t>(units[i]);
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size()) {
      auto low = static_cast<std::uint32_t>(units[i + 1]);
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace

std::string utf16ToUtf8(std::u16string_view units) { return unitsToUtf8(units); }
std::string wideToUtf8(std::wstring_view text) { return unitsToUtf8(text); }

std::vector<unsigned char> registryStringBytes(std::wstring_view text) {
  std::vector<unsigned char> bytes;
  bytes.reserve(text.size() * 2 + 2);
  auto put = [&bytes](std::uint32_t unit) {
    bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    bytes.push_back(static_cast<unsigned char>((unit >> 8) & 0xFF));
  };
  for (wchar_t w : text) {
    auto c = static_cast<std::uint32_t>(w);
    if (c >= 0x10000 && c <= 0x10FFFF) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  put(0);
  return bytes;
}

}  // namespace platform
