// The MTEF reader through its public face: "Equation Native" bytes in, a tree or a failure
// with its reason out.
#include <gtest/gtest.h>

#include <string>

#include "equation/tree.h"
#include "support/mtef_builder.h"

namespace {

using namespace mtef5;
using equation::Kind;

// An MTEF 3 stream: the 28-byte header, the MTEF 3 header and the records.
std::string mtef3Native(const std::string& records) {
  return std::string(28, '\0') + byte(3) + byte(1) + byte(1) + byte(3) + byte(0) + records;
}

std::string cut(const std::string& s, std::size_t bytes) { return s.substr(0, s.size() - bytes); }

TEST(Reader, FailuresSayWhyAndWhere) {
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += byte(3) + byte(0) + byte(11) + byte(0) + byte(0) + byte(1) + byte(0);
  // 20,000 characters each embellished by the next one's list.
  std::string chained;
  for (int i = 0; i < 20000; ++i) chained += byte(2) + byte(1) + byte(kVariable) + "x" + byte(0) + byte(6) + byte(0) + byte(2);
  struct Case {
    const char* what;
    std::string stream;
    std::string reason;
  } cases[] = {
      {"too short", std::string(20, '\0'), "too short"},
      {"unsupported version", std::string(28, '\0') + byte(9) + std::string(4, '\0'), "MTEF version 9"},
      {"unknown record", equationNative(line({var('x'), byte(37)})), "unknown record type 37 at byte"},
      {"cut inside a character", cut(equationNative(line({byte(2) + byte(0)})), 2), "data ran out inside a record"},
      {"line without END", cut(equationNative(line({var('x')})), 2), "data ran out where a record was expected"},
      {"nesting", equationNative(line({deep})), "records nested deeper than 200"},
      {"chained embellished characters", equationNative(line({chained})), "records nested deeper than 200"},
      {"embellishment alone", equationNative(line({byte(6) + byte(0) + byte(2) + byte(0)})), "embellishment outside a character"},
      {"unknown selector", equationNative(line({tmpl(38, 0, {})})), "TMPL record at byte"},
      {"matrix without END", equationNative(line({byte(5) + byte(0) + byte(1) + byte(2) + byte(1) + byte(1) + byte(1) + byte(0) + byte(0) + line({var('x')}) + var('y')})), "matrix without END"},
  };
  for (const Case& c : cases) {
    const equation::ReadResult r = equation::readEquationNative(c.stream);
    EXPECT_TRUE(r.failed) << c.what;
    EXPECT_NE(r.failure.reason.find(c.reason), std::string::npos) << c.what << ": " << r.failure.reason;
  }
}

TEST(Reader, BuildsTheRecordTree) {
  // FONT_DEF "Courier New", a FONT_STYLE_DEF binding it bold to the next explicit-font
  // character, then a line: a full-size prefix, that character, a fraction of x over y.
  const std::string records = byte(17) + byte(1) + "Courier New" + byte(0) + byte(8) + byte(1) + byte(1) +
                              line({byte(10) + ch(1, 'a'), fraction(line({var('x')}), line({var('y')}))});
  const equation::ReadResult r = equation::readEquationNative(equationNative(records));
  ASSERT_FALSE(r.failed) << r.failure.reason;
  ASSERT_EQ(r.equation.version, 5);
  // Only the last top-level record (the line) makes up an MTEF 5 equation.
  ASSERT_EQ(r.equation.body.size(), 1u);
  const equation::Node& line = *r.equation.body[0].record;
  ASSERT_EQ(line.kind, Kind::Line);
  ASSERT_EQ(line.children.size(), 3u);  // the character, the fraction, the END
  const equation::Item& first = line.children[0];
  ASSERT_EQ(first.prefixes.size(), 1u);
  EXPECT_EQ(first.prefixes[0].kind, Kind::Size);
  EXPECT_EQ(first.record->kind, Kind::Char);
  EXPECT_EQ(first.record->code, static_cast<std::uint32_t>('a'));
  EXPECT_TRUE(first.record->font.valid);
  EXPECT_EQ(first.record->font.name, "Courier New");
  EXPECT_EQ(first.record->font.style, 1);
  const equation::Node& fraction = *line.children[1].record;
  EXPECT_EQ(fraction.kind, Kind::Template);
  EXPECT_EQ(fraction.selector, 11);
  EXPECT_EQ(fraction.children.size(), 3u);  // numerator, denominator, END
  EXPECT_EQ(line.children[2].record->kind, Kind::End);
  ASSERT_EQ(r.equation.bindings.size(), 1u);
  EXPECT_EQ(r.equation.bindings[0].typeface, 1);
  EXPECT_EQ(r.equation.bindings[0].fontName, std::string("Courier New") + '\0');
}

TEST(Reader, OneByteCharactersOfMtef3AndTwoAreMappedThroughTheirFont) {
  struct Case {
    int version;
    std::string records;
    std::uint32_t code;
  } cases[] = {
      {3, byte(1) + byte(2) + byte(kVariable) + "x" + byte(0) + byte(0), 'x'},
      // MTEF 2 and 4 store one byte: its position in the Symbol font.
      {2, byte(1) + byte(2) + byte(kLowerGreek) + "a" + byte(0), 0x03B1},
      {4, byte(1) + byte(2) + byte(139) + byte(0x6c) + byte(0), 0x2113},
  };
  for (const Case& c : cases) {
    std::string native = mtef3Native(c.records);
    native[28] = static_cast<char>(c.version);
    const equation::ReadResult r = equation::readEquationNative(native);
    ASSERT_FALSE(r.failed) << c.version << ": " << r.failure.reason;
    const equation::Node& line = *r.equation.body.back().record;
    ASSERT_FALSE(line.children.empty());
    EXPECT_EQ(line.children[0].record->code, c.code) << c.version;
  }
}

}  // namespace
