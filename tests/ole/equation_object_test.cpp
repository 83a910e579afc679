#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ole/compound_file.h"
#include "ole/equation_object.h"
#include "../support/corpus.h"

namespace {

const std::string kHeader = "01050000020000000b0000004571756174696f6e2e33000000000000000000";

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

unsigned le(const std::string& b, std::size_t off, int n) {
  unsigned v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[off + i]);
  return v;
}

// An "Equation Native" stream of n bytes: the usual header, then filler MTEF.
std::string nativeHex(std::size_t n) {
  std::string hex = "1c0000000200c7c20d00000000000000e8571500fc6b150000000000";
  while (hex.size() < 2 * n) hex += "03";
  return hex.substr(0, 2 * n);
}

struct Parsed {
  std::string sizeText;
  std::vector<std::string> compoundLines;
  std::vector<std::string> presentation;
  std::string file;
};

// Splits object data into its header line, compound-file lines and presentation lines.
Parsed parseObject(const std::string& text) {
  Parsed p;
  std::vector<std::string> lines = splitLines(text);
  EXPECT_GE(lines.size(), 6u);
  if (lines.size() < 6) return p;
  EXPECT_EQ(lines[0].substr(0, kHeader.size()), kHeader);
  p.sizeText = lines[0].substr(kHeader.size());
  p.compoundLines.assign(lines.begin() + 1, lines.end() - 4);
  p.presentation.assign(lines.end() - 4, lines.end());
  for (const auto& l : p.compoundLines) p.file += fromHex(l);
  return p;
}

}  // namespace

TEST(Equation3Object, LayoutAndRoundTrip) {
  struct Case {
    std::size_t nativeBytes;
    std::string sizeText;  // the compound file's size, four bytes little-endian
  } cases[] = {
      {41, "000c0000"},      // all streams in one mini-stream sector: 3072 bytes
      {300, "000e0000"},     // mini stream over two sectors: 3584 bytes
      {4096, "001c0000"},    // the stream leaves the mini stream: 8 sectors of its own
      {100000, "00960100"},  // beyond 64 KiB the size needs its third byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nativeBytes);
    const std::string native = nativeHex(c.nativeBytes);
    HexBytes out;
    ASSERT_EQ(WriteEquation3Object(out, native), 0);
    ASSERT_EQ(out.substr(out.size() - 2), "\r\n");
    EXPECT_EQ(out.find("\r\n\r\n"), std::string::npos) << "no blank lines";
    Parsed p = parseObject(out);
    EXPECT_EQ(p.sizeText, c.sizeText);
    EXPECT_EQ(le(fromHex(p.sizeText), 0, 4), p.file.size());
    for (std::size_t i = 0; i + 1 < p.compoundLines.size(); ++i) EXPECT_EQ(p.compoundLines[i].size(), 252u);
    ASSERT_FALSE(p.compoundLines.empty());
    EXPECT_GT(p.compoundLines.back().size(), 0u);
    EXPECT_LE(p.compoundLines.back().size(), 252u);

    // The compound file holds the object's streams, and the object reader finds the
    // stream again in the object data as the document pass cuts it (native data at 70).
    std::vector<CompoundEntry> entries;
    ASSERT_TRUE(listCompoundRootEntries(reinterpret_cast<const std::uint8_t*>(p.file.data()),
                                        p.file.size(), entries));
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(formatClassId(entries[0].classId), kEquation3ClassId);
    std::string flat;
    for (const auto& l : splitLines(out)) flat += l;
    HexBytes read;
    EXPECT_EQ(ReadEquationNative(read, flat.substr(70, 2 * p.file.size()), 3), 0);
    EXPECT_EQ(read, native);
  }
}

TEST(Equation3Object, StandardStreams) {
  std::string file = buildEquation3CompoundFile(fromHex(nativeHex(41)));
  ASSERT_FALSE(file.empty());
  auto stream = [&](const char* name) {
    std::string bytes;
    EXPECT_TRUE(readCompoundStream(reinterpret_cast<const std::uint8_t*>(file.data()), file.size(),
                                   name, bytes))
        << name;
    return toHex(bytes);
  };
  EXPECT_EQ(stream("\x01Ole"), "0100000208000000000000000000000000000000");
  EXPECT_EQ(stream("\x03ObjInfo"), "000003000400");
  const std::string compObj = stream("\x01" "CompObj");
  EXPECT_EQ(compObj.size(), 204u);
  EXPECT_EQ(compObj.substr(0, 56), "0100feff030a0000ffffffff02ce020000000000c000000000000046");
  // user type, clipboard format and program id, each with a length that counts the zero
  EXPECT_NE(compObj.find("170000004d6963726f736f6674204571756174696f6e20332e3000"), std::string::npos);
  EXPECT_NE(compObj.find("0c0000004453204571756174696f6e00"), std::string::npos);
  EXPECT_NE(compObj.find("0b0000004571756174696f6e2e3300f439b271"), std::string::npos);
  EXPECT_EQ(compObj.substr(compObj.size() - 32), "f439b271000000000000000000000000");
}

TEST(Equation3Object, PresentationRecordIsAValidPlaceholderMetafile) {
  HexBytes out;
  ASSERT_EQ(WriteEquation3Object(out, nativeHex(41)), 0);
  Parsed p = parseObject(out);
  ASSERT_EQ(p.presentation.size(), 4u);
  const std::string head = fromHex(p.presentation[0]);
  ASSERT_EQ(head.size(), 45u);
  EXPECT_EQ(le(head, 0, 4), 0x501u);
  EXPECT_EQ(le(head, 4, 4), 5u);
  EXPECT_EQ(le(head, 8, 4), 13u);
  EXPECT_EQ(head.substr(12, 13), std::string("METAFILEPICT\0", 13));
  EXPECT_EQ(le(head, 25, 4), 353u);
  EXPECT_EQ(static_cast<int>(le(head, 29, 4)), -388);
  EXPECT_EQ(le(head, 33, 4), 322u);
  EXPECT_EQ(le(head, 37, 2), 8u);    // anisotropic
  EXPECT_EQ(le(head, 39, 2), 353u);
  EXPECT_EQ(le(head, 41, 2), 388u);

  std::string wmf;
  for (int i = 1; i < 4; ++i) wmf += fromHex(p.presentation[i]);
  ASSERT_EQ(wmf.size(), 314u);
  ASSERT_EQ(le(head, 33, 4), 8 + wmf.size()) << "data size covers the picture header and metafile";
  EXPECT_EQ(le(wmf, 0, 2), 1u);
  EXPECT_EQ(le(wmf, 2, 2), 9u);
  EXPECT_EQ(le(wmf, 4, 2), 0x300u);
  EXPECT_EQ(le(wmf, 6, 4), wmf.size() / 2);
  EXPECT_EQ(le(wmf, 10, 2), 2u);

  // Walk the records: sizes must chain exactly to the end-of-file record, the largest must
  // match the header, and the text record must draw "a" at (58, 256).
  std::size_t pos = 18;
  unsigned largest = 0, fonts = 0, comments = 0;
  bool drewA = false, ended = false;
  while (pos + 6 <= wmf.size() && !ended) {
    unsigned words = le(wmf, pos, 4), func = le(wmf, pos + 4, 2);
    ASSERT_GE(words, 3u);
    ASSERT_LE(pos + 2 * words, wmf.size());
    largest = std::max(largest, words);
    if (func == 0x02FB) ++fonts;
    if (func == 0x0626) ++comments;
    if (func == 0x0521)
      drewA = le(wmf, pos + 6, 2) == 1 && wmf[pos + 8] == 'a' && le(wmf, pos + 10, 2) == 256 &&
              le(wmf, pos + 12, 2) == 58;
    ended = func == 0;
    pos += 2 * words;
  }
  EXPECT_TRUE(ended);
  EXPECT_EQ(pos, wmf.size());
  EXPECT_EQ(largest, le(wmf, 12, 4));
  EXPECT_EQ(fonts, 2u);
  EXPECT_EQ(comments, 3u);
  EXPECT_TRUE(drewA);
  EXPECT_NE(wmf.find("Times New Roman"), std::string::npos);
  EXPECT_NE(wmf.find("MathType"), std::string::npos);

  // The record is the same for every equation.
  HexBytes other;
  ASSERT_EQ(WriteEquation3Object(other, nativeHex(5000)), 0);
  EXPECT_EQ(parseObject(other).presentation, p.presentation);
}

TEST(Equation3Object, FailuresLeaveOutEmpty) {
  struct Case {
    const char* what;
    std::string input;
    int code;
  } cases[] = {
      {"empty stream", "", 2},
      {"single digit", "1", 2},
      {"not hex", "1c00zz", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HexBytes out = "stale";
    EXPECT_EQ(WriteEquation3Object(out, c.input), c.code);
    EXPECT_TRUE(out.empty());
  }
}

TEST(Equation3Object, CorpusStreamsSurviveRewrapping) {
  SKIP_WITHOUT_CORPUS();
  for (const auto& e : loadCorpus()) {
    SCOPED_TRACE(e.file);
    HexBytes native, object, again;
    ASSERT_EQ(ReadEquationNative(native, toHex(e.bytes), 5), 0);
    ASSERT_EQ(WriteEquation3Object(object, native), 0);
    std::string flat;
    for (const auto& l : splitLines(object)) flat += l;
    unsigned size = le(fromHex(flat.substr(62, 8)), 0, 4);
    EXPECT_EQ(ReadEquationNative(again, flat.substr(70, 2 * size), 3), 0);
    EXPECT_EQ(again, native);
  }
}
