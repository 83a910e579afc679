// Embedded objects as Word writes them into RTF: the OLE1 object record around native data,
// as hex text, inside an \object group. Shared by the tests and the benchmarks.
#pragma once

#include <cstdint>
#include <string>

// Bytes as hex text, two lower-case digits each.
inline std::string toHex(const std::string& bytes) {
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

// The OLE1 embedded-object record (empty topic and item names).
inline std::string objectRecord(const std::string& className, const std::string& native) {
  return le(0x501) + le(2) + le(className.size() + 1) + className + std::string(1, '\0') +
         le(0) + le(0) + le(native.size()) + native;
}

// The same record as hex text, as RTF carries it.
inline std::string objectRecordHex(const std::string& className, const std::string& native) {
  return toHex(objectRecord(className, native));
}

// An RTF object group as Word writes it, the data broken into lines of 128 digits.
inline std::string rtfObject(const std::string& className, const std::string& native) {
  std::string hex = objectRecordHex(className, native);
  std::string lines;
  for (std::size_t i = 0; i < hex.size(); i += 128) lines += "\r\n" + hex.substr(i, 128);
  return "{\\object\\objemb{\\*\\objclass " + className + "}\\objw1440\\objh480{\\*\\objdata " +
         lines + "\r\n}{\\result{\\pict\\wmetafile8\\picw100\\pich100 0100090000}}}";
}
