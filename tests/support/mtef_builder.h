// Readable builders for MTEF 5 equations and the objects that carry them, for tests and
// for the sample document.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "ole/compound_file.h"
#include "support/corpus.h"

namespace mtef5 {

// Typefaces.
constexpr int kText = 129, kFunction = 130, kVariable = 131, kLowerGreek = 132, kSymbol = 134,
              kNumber = 136;

inline std::string byte(int v) { return std::string(1, static_cast<char>(v & 0xff)); }
inline std::string join(std::initializer_list<std::string> parts) {
  std::string s;
  for (const auto& p : parts) s += p;
  return s;
}

// A character: tag, options, typeface, 16-bit code.
inline std::string ch(int typeface, std::uint16_t code) {
  return byte(2) + byte(0) + byte(typeface) + byte(code & 0xff) + byte(code >> 8);
}
inline std::string var(char c) { return ch(kVariable, static_cast<unsigned char>(c)); }
inline std::string num(char c) { return ch(kNumber, static_cast<unsigned char>(c)); }
inline std::string sym(std::uint16_t code) { return ch(kSymbol, code); }
// A Greek letter as MathType writes it: with its position in the Symbol font.
inline std::string greek(std::uint16_t code, char symbolPosition) {
  return byte(2) + byte(4) + byte(kLowerGreek) + byte(code & 0xff) + byte(code >> 8) +
         byte(static_cast<unsigned char>(symbolPosition));
}

// A line of objects, closed by END.
inline std::string line(std::initializer_list<std::string> items) {
  return byte(1) + byte(0) + join(items) + byte(0);
}

// A pile of lines, left aligned.
inline std::string pile(std::initializer_list<std::string> lines) {
  return byte(4) + byte(0) + byte(1) + byte(1) + join(lines) + byte(0);
}

// A rows x cols matrix of lines, centred, without partition lines.
inline std::string matrix(int rows, int cols, std::initializer_list<std::string> cells) {
  std::string partitions((rows + 1 + 3) / 4 + (cols + 1 + 3) / 4, '\0');
  return byte(5) + byte(0) + byte(1) + byte(2) + byte(1) + byte(rows) + byte(cols) +
         partitions + join(cells) + byte(0);
}

// A template: selector, variation, template options, slots, END.
inline std::string tmpl(int selector, int variation, std::initializer_list<std::string> slots) {
  return byte(3) + byte(0) + byte(selector) + byte(variation) + byte(0) + join(slots) + byte(0);
}
inline std::string fraction(const std::string& num, const std::string& den) {
  return tmpl(11, 0, {num, den});
}

// A whole "Equation Native" stream: the 28-byte header, the MTEF 5 header with its
// application key and options, and the equation's records followed by END.
inline std::string equationNative(const std::string& records) {
  std::string mtef = byte(5) + byte(1) + byte(1) + byte(6) + byte(0) + "DSMT6" + byte(0) + byte(0) +
                     records + byte(0);
  std::string header = byte(0x1c) + byte(0) + byte(0) + byte(0) + byte(2) + byte(0) + byte(0xc2) +
                       byte(0xd3);
  for (int i = 0; i < 4; ++i) header += byte(static_cast<int>(mtef.size() >> (8 * i)));
  header += std::string(16, '\0');
  return header + mtef;
}

// A MathType object's compound file holding the stream.
inline std::string mathTypeObject(const std::string& native) {
  ClassId id{};
  parseClassId("{0002CE03-0000-0000-C000-000000000046}", id);
  std::string ole = byte(1) + byte(0) + byte(0) + byte(2) + std::string(16, '\0');
  std::string file;
  writeCompoundFile(file, id, {{"\x01Ole", ole}, {"Equation Native", native}});
  return file;
}

}  // namespace mtef5
