// The equation driver: headers, font records, wrappers, per-equation state; and hostile
// input (truncation, deep nesting, garbage).
#include <gtest/gtest.h>

#include <random>

#include "mtef_test_support.h"

using namespace mtef_test;

namespace {

const std::string kOfficeMathOpen = R"({\dn0\mmath{\*\moMathPara {\*\moMath )";
const std::string kOfficeMathClose = "}}\r\n{\\mmathPict}}\r\n";

std::string translate(int target, int version, const std::string& records, int isEuclid = 0,
                      EquationContext* keep = nullptr) {
  EquationContext ctx = makeEquationContext(target, isEuclid, 1);
  std::string text = TranslateEquation(ctx, equationNative(version, records), 4);
  if (keep != nullptr) *keep = ctx;
  return text;
}

TEST(MtefDriver, Mtef3TargetHeaderAndBody) {
  // MTEF 3 in: FULL, a line with x, END of line, END of equation.
  const std::string text = translate(0, 3, "0a 01 12 83 78 00 00 00");
  EXPECT_EQ(text, "1c000000020064c2" "0e00" "000000000000b8c81600ec6c150000000000030101030a0a"
                  "0a" "01" "12837800" "00" "00");
  // With Euclid fonts the Euclid Extra FONT record comes first, used or not.
  EXPECT_EQ(translate(0, 3, "01 12 83 78 00 00", 1).substr(68),
            "087f004575636c696420457874726100" "01128378000000");
}

TEST(MtefDriver, LengthBytes) {
  // One character; and a body of exactly 256 bytes, the first that needs the high byte.
  const struct {
    int characters;
    int fullRecords;
    const char* lengthBytes;
  } cases[] = {{1, 0, "0d00"}, {61, 3, "0001"}};
  for (const auto& c : cases) {
    std::string line = "01 00";
    for (int i = 0; i < c.fullRecords; ++i) line += "0a";
    for (int i = 0; i < c.characters; ++i) line += "02 00 83 78 00";
    const std::string text = translate(0, 5, "0a" + line + "00 00");
    EXPECT_EQ(text.substr(16, 4), c.lengthBytes);
    EXPECT_EQ(static_cast<int>(text.size()) / 2 - 28,
              std::stoi(text.substr(18, 2) + text.substr(16, 2), nullptr, 16));
  }
}

TEST(MtefDriver, FontRecordsForBoundTypefacesInDescendingOrder) {
  const std::string records = "11 01" + name("Times") + "11 01" + name("Fraktur") +
                              "01 00 08 02 01 02 04 05 41 00 41 08 01 00 02 04 7e 41 00 41 00";
  const std::string text = translate(0, 5, records);
  EXPECT_EQ(text.substr(68, 4 + 2 * 6 + 2 + 4 + 2 * 8 + 2),
            "080200" + name("Times") + "087b01" + name("Fraktur"));
}

TEST(MtefDriver, EmptyOrUnreadableEquations) {
  const struct {
    const char* what;
    std::string stream;
  } cases[] = {
      {"MTEF 5 with definitions only", equationNative(5, "13" + name("WinANSI") + "11 05" + name("Times") + "00")},
      {"MTEF 3 null top level", equationNative(3, "00")},
      {"version 6", equationNative(6, "01 00 02 00 83 78 00 00")},
      {"version 1", equationNative(1, "01 02 83 78 00 00")},
      {"shorter than the headers", equationNative(3, "").substr(0, 64)},
      {"nothing", ""},
  };
  for (const auto& c : cases) {
    EquationContext eq = makeEquationContext(1, 0, 1);
    EXPECT_EQ(ConvertEquation(eq, c.stream, 4), "") << c.what;
  }
}

TEST(MtefDriver, OfficeMathWrapperWithoutAtomMarkers) {
  const struct {
    const char* records;
    std::string body;
  } cases[] = {
      {"0a 01 00 02 00 83 78 00 04 00 01 01 01 01 00 00 00",
       R"({\mr\mscr0\msty2\i x})"
       R"({\mm {\mmPr{\mplcHide on}{\mmcs{\mmc{\mmcPr{\mmcJc left}{\mcount 1}}}}}{\mmr {\me }}})"},
      // Definitions and a stray top-level character before the line are not written.
      {"12 00 00 00 00 02 00 83 79 00 01 00 02 00 83 78 00 00 00", R"({\mr\mscr0\msty2\i x})"},
  };
  for (const auto& c : cases) EXPECT_EQ(translate(1, 5, c.records), kOfficeMathOpen + c.body + kOfficeMathClose);
}

TEST(MtefDriver, StateIsResetPerEquation) {
  EquationContext ctx = makeEquationContext(0, 0, 1);
  const std::string bound = equationNative(
      5, "11 01" + name("Times") + "0b 01 00 08 01 00 02 04 05 41 00 41 00 00");
  const std::string plain = equationNative(5, "01 00 02 00 83 78 00 00 00");
  TranslateEquation(ctx, equationNative(5, "01 00 25 00 00"), 4);
  EXPECT_TRUE(ctx.failed);
  TranslateEquation(ctx, bound, 4);
  EXPECT_EQ(ctx.sizeRecord, "0b");
  EXPECT_EQ(TranslateEquation(ctx, plain, 4), TranslateEquation(ctx, plain, 4));
  EXPECT_FALSE(ctx.failed);
  EXPECT_EQ(ctx.sizeRecord, "0a");
  EXPECT_EQ(ctx.fontDefs.size(), 0u);
  EquationContext fresh = makeEquationContext(0, 0, 1);
  TranslateEquation(ctx, bound, 4);
  EXPECT_EQ(TranslateEquation(ctx, plain, 4), TranslateEquation(fresh, plain, 4));
}

TEST(MtefDriver, KeepObjectOnFailure) {
  const std::string broken = equationNative(5, "01 00 02 00 83 78 00 25");
  EquationContext ctx = makeEquationContext(1, 0, 1);
  EXPECT_NE(ConvertEquation(ctx, broken, 4), "");  // partial output, wrapped
  EXPECT_TRUE(ctx.failed);
  ctx.keepObjectOnFailure = true;
  EXPECT_EQ(ConvertEquation(ctx, broken, 4), "");
  EXPECT_NE(ConvertEquation(ctx, equationNative(5, "01 00 02 00 83 78 00 00 00"), 4), "");
}

TEST(MtefDriver, GreekFontFallsBackToDefault) {
  greekFontRef.clear();
  EXPECT_NE(translate(1, 5, "01 00 02 04 84 b1 03 61 00 00").find("\\f382\\'e1"), std::string::npos);
}

// A stream using most record kinds, cut at every byte.
TEST(MtefHostile, TruncatedAtEveryByte) {
  const std::string preamble = "13" + name("WinANSI") + "11 05" + name("Times") +
                               "12 00 01 2f 01 8f 01 01 00 10 04 01 02 03 04 05 06 41 00 65 02 aa bb";
  const std::string line =
      "01 08 81 7f  0b  09 64 01 02 03"                    // nudged line, SUB, SIZE
      " 02 09 81 7f 83 78 00  06 00 18  06 08 81 7f 02 00"  // nudged x with two marks
      " 08 01 02  02 04 05 41 00 41"                       // explicit font character
      " 04 02 02 01 01 00 00 00  01 01  00"                 // pile with ruler
      " 05 08 80 80 01 00 02 00  01 02 02 02 02  ff ff"     // 2x2 matrix, long nudge
      " 01 00 02 00 83 79 00 00  01 01  01 01  01 01  00"
      " 00";
  for (int target : {0, 1}) {
    const std::string full = hex(preamble + line);
    const std::size_t lineStart = hex(preamble).size();
    for (std::size_t cut = 0; cut <= full.size(); cut += 2) {
      EquationContext ctx = makeEquationContext(target, 1, 1);
      const std::string text = TranslateEquation(ctx, equationNative(5, full.substr(0, cut)), 4);
      if (cut > lineStart && cut < full.size()) {
        EXPECT_TRUE(ctx.failed) << "cut at " << cut / 2;
      }
      if (cut <= lineStart) {
        EXPECT_EQ(text, "");
      }
      EXPECT_EQ(ctx.depth, 0);
    }
    EquationContext ctx = makeEquationContext(target, 1, 1);
    EXPECT_NE(TranslateEquation(ctx, equationNative(5, full + "00"), 4), "");
    EXPECT_FALSE(ctx.failed) << ctx.failReason;
  }
}

TEST(MtefHostile, DeepNestingFailsFast) {
  const struct {
    const char* unit;
    bool fails;
  } cases[] = {
      {"0100", true},                              // lines in lines
      {"0400000001 00", true},                     // piles in lines in piles
      {"0a", false},                               // size records before one record
      {"0f05", false},                             // colour records likewise
  };
  for (const auto& c : cases) {
    std::string records = "0100";
    records.reserve(100000 * 12);
    for (int i = 0; i < 100000; ++i) records += hex(c.unit);
    records += "010100";
    for (int target : {0, 1}) {
      EquationContext ctx = makeEquationContext(target, 0, 1);
      TranslateEquation(ctx, equationNative(5, records), 4);
      EXPECT_EQ(ctx.failed, c.fails) << c.unit << ": " << ctx.failReason;
      if (c.fails) {
        EXPECT_NE(ctx.failReason.find("nested deeper"), std::string::npos);
      }
    }
  }
  // A character with 100,000 embellishments is rebuilt in linear time.
  std::string records = "0100 02018378 00";
  for (int i = 0; i < 100000; ++i) records += i % 2 ? "060018" : "060002";
  records += "00 00";
  for (int target : {0, 1}) {
    EquationContext ctx = makeEquationContext(target, 0, 1);
    EXPECT_GT(TranslateEquation(ctx, equationNative(5, records), 4).size(), 1000000u);
  }
}

TEST(MtefHostile, GarbageNeverCrashes) {
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string records;
    const int length = static_cast<int>(random() % 120);
    for (int i = 0; i < length; ++i) {
      // Mostly small values, so that real record types and short lengths come up often.
      const unsigned byte = random() % 3 ? random() % 20 : random() % 256;
      records += hexByte(byte);
    }
    if (round % 7 == 0) records += "zz";  // not hex at all
    const int version = 2 + round % 4;
    EquationContext ctx = makeEquationContext(round % 2, round % 3 == 0, 1);
    TranslateEquation(ctx, equationNative(version, "01 00" + records), 4);
    EXPECT_EQ(ctx.depth, 0);
  }
}

}  // namespace
