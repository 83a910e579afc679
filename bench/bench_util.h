// Small byte helpers the benchmarks build their documents with.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Bytes as hex text, two lower-case digits each.
inline std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A little-endian integer of `bytes` bytes.
inline std::string le(std::uint64_t v, int bytes = 4) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
  return s;
}

// The OLE1 embedded-object record (empty topic and item names) around native data.
inline std::string objectRecord(const std::string& className, const std::string& native) {
  return le(0x501) + le(2) + le(className.size() + 1) + className + std::string(1, '\0') + le(0) +
         le(0) + le(native.size()) + native;
}

}  // namespace bench
