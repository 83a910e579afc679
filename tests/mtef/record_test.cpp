// The record reader: modes and results, size and definition records, nudges, future
// records, and the structural records LINE, PILE and MATRIX.
#include <gtest/gtest.h>

#include "mtef_test_support.h"

using namespace mtef_test;

namespace {

struct ReaderCase {
  const char* what;
  int version;
  const char* records;
  int mode;
  int result;
  int bytes;          // bytes consumed
  const char* mtef3;  // output for the MTEF 3 target
  bool failed;
};

const ReaderCase kReaderCases[] = {
    {"END", 5, "00", -1, -1, 1, "", false},
    {"no data where a record is due", 5, "", -1, 1, 0, "", true},
    {"no data at the top level is normal", 5, "", -3, 1, 0, "", false},
    {"unknown type", 5, "25 00", -1, 3, 1, "", true},
    {"unexpected type consumes the tag only", 5, "01 00", 0, 2, 1, "", false},
    {"MTEF 3 type is the low digit", 3, "10", 0, -1, 1, "", false},
    {"MTEF 5 type is the whole byte", 5, "10", 0, 2, 1, "", false},
    {"SIZE then END gives 4", 5, "09 64 01 02 03 00", -1, 4, 6, "0964010203", false},
    {"SIZE 101 has three operands", 5, "09 65 01 02 01 01", -1, 0, 6, "0965010211", false},
    {"SIZE other has two operands", 5, "09 03 07 01 01", -1, 0, 5, "09030711", false},
    {"size record last in the stream is not copied", 5, "0b 00", -1, -1, 2, "", false},
    {"definitions stand alone at the top level", 5, "0f 05 01 01", -3, 0, 2, "", false},
    {"definitions take the next record when nested", 5, "0f 05 01 01", -1, 0, 4, "11", false},
    {"a chain of definitions", 5, "0f ff 01 02 0a 0b 01 01", -1, 0, 8, "0a0b11", false},
    {"COLOR_DEF rgb, cmyk, named", 5, "10 00 010203040506 10 01 0102030405060708 10 04 010203040506 414200 01 01",
     -1, 0, 31, "11", false},
    {"EQN_PREFS", 5, "12 00 02 1f 2f 01 8f 03 01 00 00 02 05 01 01", -1, 0, 15, "11", false},
    {"EQN_PREFS: ff ends two dimensions", 5, "12 00 02 ff 00 00", -3, 0, 6, "", false},
    {"EQN_PREFS cut inside the dimensions", 5, "12 00 03 1f 2f", -3, 4, 5, "", true},
    {"future record 255 skips two bytes first", 5, "ff 01 02 02 aa bb", -1, 0, 6, "", false},
    {"future record long length, high byte first", 5, "65 ff 00 02 aa bb 00", -1, 0, 6, "", false},
    {"future record long length stored low byte first", 5, "65 ff 02 00 aa bb 00", -1, 0, 6, "", false},
    {"future record longer than the data", 5, "65 ff 02 02 aa bb 00", -1, 4, 7, "", true},
    {"future record cut short", 5, "64 05 aa", -1, 4, 3, "", true},
    {"FONT (MTEF 3) drops the option digit", 3, "18 05 01 41 00 11", -1, 0, 6, "080501410011", false},
    {"short nudge", 5, "02 08 81 7f 83 78 00", -1, 0, 7, "82817f837800", false},
    {"long nudge", 5, "02 08 80 80 10 00 f0 ff 83 78 00", -1, 0, 11, "8280801000f0ff837800", false},
    {"MTEF 3 null line", 3, "11", -1, 0, 1, "11", false},
    {"line nudge", 5, "01 08 81 7f 00", -1, 0, 5, "81817f00", false},
    {"line spacing", 5, "01 04 aa bb 00", -1, 0, 5, "0100", false},
    {"MTEF 3 line with ruler", 3, "21 01 01 00 01 00", -1, 0, 6, "0100", false},
    {"line keeps a failure inside to itself", 5, "01 00 25 00", -1, 0, 3, "0100", true},
    {"FULL END ends the enclosing line", 5, "01 00 0a 00 02 00", -1, 0, 4, "010a00", false},
    {"pile", 5, "04 00 02 01 01 01 01 00 00 00", -1, 0, 10, "040201110100" "00", false},
    {"pile ruler is dropped", 5, "04 02 01 01 01 aa bb cc 00", -1, 0, 9, "04010100", false},
    {"pile nudge", 5, "04 08 81 7f 01 01 00", -1, 0, 7, "84817f010100", false},
    {"matrix 2x3", 5, "05 00 01 02 03 02 03 00 00 01 01 01 01 01 01 01 01 01 01 01 01 00", -1, 0, 22,
     "0501020302030000111111111111" "00", false},
    {"matrix nudge", 5, "05 08 81 7f 00 00 00 00 00 00 00 00", -1, 0, 12, "85817f000000000000" "0000", false},
    {"matrix cut short", 5, "05 00 00 00 00 02 02 00 00 01 01", -1, 4, 11, "050000000202000011", true},
    {"matrix without END", 5, "05 00 00 00 00 01 01 00 00 01 01 01 01", -1, 0, 12, "050000000101000011" "00", true},
};

TEST(MtefRecordReader, ModesResultsAndRecords) {
  for (const ReaderCase& c : kReaderCases) {
    SCOPED_TRACE(c.what);
    EquationContext ctx = readerFor(0, c.version, c.records);
    std::string out;
    EXPECT_EQ(readRecord(ctx, &out, c.mode), c.result);
    EXPECT_EQ(bytesRead(ctx), c.bytes);
    EXPECT_EQ(out, c.mtef3);
    EXPECT_EQ(ctx.failed, c.failed) << ctx.failReason;
    EXPECT_EQ(ctx.depth, 0);
  }
}

TEST(MtefRecordReader, AdvanceModeAndEndOfData) {
  EquationContext ctx = readerFor(1, 5, "7F");
  EXPECT_EQ(readRecord(ctx, nullptr, kModeAdvance), 0);
  EXPECT_EQ(ctx.currentByte, "7f");
  for (int i = 0; i < 3; ++i) {  // every read past the end keeps failing the same way
    EXPECT_EQ(readRecord(ctx, nullptr, kModeAdvance), 1);
    EXPECT_EQ(ctx.currentByte, "00");
    EXPECT_TRUE(ctx.endOfData);
  }
  EXPECT_EQ(ctx.failReason.rfind("data ran out", 0), 0u);
}

TEST(MtefRecordReader, FirstFailureReasonWins) {
  EquationContext ctx = readerFor(1, 5, "01 00 25 26 00");
  readRecord(ctx, nullptr, kModeNested);
  EXPECT_EQ(ctx.failReason, "unknown record type 37 at byte 2");
}

TEST(MtefRecordReader, SizeRecordIsRemembered) {
  const struct {
    const char* records;
    const char* sizeRecord;
  } cases[] = {{"09 64 01 02 03 01 01", "0964010203"},
               {"09 65 01 02 01 01", "09650102"},
               {"0d 01 01", "0d"},
               {"0b", "0b"}};
  for (const auto& c : cases) {
    EquationContext ctx = readerFor(0, 5, c.records);
    readRecord(ctx, nullptr, kModeNested);
    EXPECT_EQ(ctx.sizeRecord, c.sizeRecord) << c.records;
  }
}

TEST(MtefRecordReader, FontDefinitionKinds) {
  const std::string winAnsi = "13 " + name("WinANSI");
  const std::string allPages = "13 " + name("WinAllBasicCodePages");
  const std::string eastEurope = "13 " + name("WinEastEurope");
  const std::string other = "13 " + name("MacRoman");
  const struct {
    std::string records;
    int kind;
  } cases[] = {
      {winAnsi + "11 05" + name("Times"), 1},
      {allPages + "11 05" + name("Times"), 1},
      {eastEurope + "11 05" + name("Times"), -1},
      {other + "11 05" + name("Times"), 0},
      {eastEurope + "11 04" + name("Times"), 0},  // a predefined encoding
      {"11 00" + name("Times"), 0},               // index 0
      {"11 09" + name("Times"), 0},               // beyond the list
      {eastEurope + "11 05" + name("Symbol"), 1},
      {"11 00" + name("MT Extra"), 1},
  };
  for (const auto& c : cases) {
    EquationContext ctx = readerFor(1, 5, c.records);
    while (readRecord(ctx, nullptr, kModeTopLevel) == 0) {
    }
    ASSERT_EQ(ctx.fontDefs.size(), 1u) << c.records;
    EXPECT_EQ(ctx.fontDefs[0].encodingKind, c.kind) << c.records;
    EXPECT_EQ(ctx.preambleFontCount, 1);
    EXPECT_FALSE(ctx.failed);
  }
  // A FONT_DEF inside the equation is a font, but not a preamble font.
  EquationContext ctx = readerFor(1, 5, "01 00 11 01" + name("Arial") + "01 01 00");
  readRecord(ctx, nullptr, kModeTopLevel);
  EXPECT_EQ(ctx.fontDefs.size(), 1u);
  EXPECT_EQ(ctx.preambleFontCount, 0);
}

TEST(MtefRecordReader, OfficeMathPilesAndMatrices) {
  const std::string pileHead = R"(<{\mm {\mmPr{\mplcHide on}{\mmcs{\mmc{\mmcPr{\mmcJc )";
  const struct {
    const char* records;
    std::string officeMath;
  } cases[] = {
      {"04 00 01 01 01 01 00", pileHead + R"(left}{\mcount 1}}}}}{\mmr {\me }}}>)"},
      {"04 00 02 01 01 01 00", pileHead + R"(center}{\mcount 1}}}}}{\mmr {\me }}}>)"},
      {"04 00 03 01 01 01 00", pileHead + R"(right}{\mcount 1}}}}}{\mmr {\me }}}>)"},
      {"04 00 05 01 01 01 01 01 00",
       pileHead + R"(left}{\mcount 1}}}}}{\mmr {\me }}{\mmr {\me }}}>)"},
      {"05 00 01 02 03 02 03 00 00 01 01 01 01 01 01 01 01 01 01 01 01 00",
       pileHead + R"(center}{\mcount 3}}}}}{\mmr {\me }{\me }{\me }}{\mmr {\me }{\me }{\me }}}>)"},
      {"05 00 01 03 03 01 01 00 00 01 01 00", pileHead + R"(right}{\mcount 1}}}}}{\mmr {\me }}}>)"},
  };
  for (const auto& c : cases) {
    EquationContext ctx = readerFor(1, 5, c.records);
    std::string out;
    EXPECT_EQ(readRecord(ctx, &out, kModeNested), 0);
    EXPECT_EQ(visible(out), c.officeMath) << c.records;
    EXPECT_FALSE(ctx.failed) << ctx.failReason;
  }
}

TEST(MtefRecordReader, MatrixPartitionBytes) {
  // Partition lines are two bits each, rows + 1 and columns + 1 of them, four to a byte.
  const struct {
    int rows, columns, partitionBytes;
  } cases[] = {{2, 3, 2}, {3, 3, 2}, {4, 1, 3}, {0, 7, 3}, {7, 7, 4}};
  for (const auto& c : cases) {
    std::string records = "05 00 00 00 00 " + hexByte(c.rows) + hexByte(c.columns);
    for (int i = 0; i < c.partitionBytes; ++i) records += "ff";
    for (int i = 0; i < c.rows * c.columns; ++i) records += "0101";
    records += "00";
    EquationContext ctx = readerFor(1, 5, records);
    EXPECT_EQ(readRecord(ctx, nullptr, kModeNested), 0);
    EXPECT_EQ(bytesRead(ctx) * 2, static_cast<int>(ctx.mtefHex.size())) << records;
    EXPECT_FALSE(ctx.failed) << records << ": " << ctx.failReason;
  }
}

}  // namespace
