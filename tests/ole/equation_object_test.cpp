#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ole/equation_object.h"

namespace {

const std::string kHeader = "01050000020000000b0000004571756174696f6e2e33000000000000000000";

std::string fromHex(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t pos = 0, end; pos < text.size(); pos = end + 2) {
    end = text.find("\r\n", pos);
    lines.push_back(text.substr(pos, end - pos));
    if (end == std::string::npos) break;
  }
  return lines;
}

unsigned le(const std::string& b, std::size_t off, int n) {
  unsigned v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[off + i]);
  return v;
}

// An "Equation Native" stream of n bytes: the usual header, then filler.
std::string nativeBytes(std::size_t n) {
  std::string hex = "1c0000000200c7c20d00000000000000e8571500fc6b150000000000";
  while (hex.size() < 2 * n) hex += "03";
  return fromHex(hex.substr(0, 2 * n));
}

}  // namespace

TEST(Equation3Object, LayoutAndRoundTrip) {
  struct Case {
    std::size_t nativeBytes;
    std::string sizeText;  // the compound file's size, four bytes little-endian
  } cases[] = {
      {41, "000c0000"},      // every stream in one mini-stream sector: 3072 bytes
      {300, "000e0000"},     // mini stream over two sectors: 3584 bytes
      {4096, "001c0000"},    // the stream leaves the mini stream
      {100000, "00960100"},  // beyond 64 KiB the size needs its third byte
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nativeBytes);
    const std::string native = nativeBytes(c.nativeBytes);
    const std::string out = Equation3ObjectText(native);
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
    EXPECT_EQ(out.find("\r\n\r\n"), std::string::npos) << "no blank lines";
    std::vector<std::string> lines = splitLines(out);
    ASSERT_GE(lines.size(), 6u);
    ASSERT_EQ(lines[0], kHeader + c.sizeText);
    const std::size_t fileBytes = le(fromHex(c.sizeText), 0, 4);
    // Compound-file lines of 252 digits, the last one shorter or equal, then four lines.
    const std::size_t fileLines = (fileBytes + 125) / 126;
    ASSERT_EQ(lines.size(), 1 + fileLines + 4);
    std::string flat = lines[0];
    for (std::size_t i = 1; i <= fileLines; ++i) {
      EXPECT_EQ(lines[i].size(), i < fileLines ? 252u : 2 * (fileBytes - 126 * (fileLines - 1)));
      flat += lines[i];
    }
    // The object reader finds the stream again where the document pass cuts native data.
    std::string read;
    EXPECT_TRUE(ReadEquationNative(fromHex(flat.substr(70)), NativeForm::CompoundFile, read));
    EXPECT_EQ(read, native);
  }
}

// The record is a fixed placeholder, so what matters is that it parses: every size field
// agrees with the bytes that follow and the metafile's records chain to its end record.
TEST(Equation3Object, PresentationRecordIsAValidPlaceholderMetafile) {
  const std::string out = Equation3ObjectText(nativeBytes(41));
  const std::string other = Equation3ObjectText(nativeBytes(5000));
  std::vector<std::string> lines = splitLines(out), otherLines = splitLines(other);
  ASSERT_GE(lines.size(), 5u);
  std::vector<std::string> record(lines.end() - 4, lines.end());
  EXPECT_EQ(record, std::vector<std::string>(otherLines.end() - 4, otherLines.end())) << "same for every equation";

  const std::string head = fromHex(record[0]), wmf = fromHex(record[1] + record[2] + record[3]);
  ASSERT_EQ(head.size(), 45u);
  EXPECT_EQ(head.substr(0, 25), fromHex("01050000050000000d000000") + std::string("METAFILEPICT\0", 13));
  EXPECT_EQ(le(head, 33, 4), 8 + wmf.size()) << "data size covers picture header and metafile";
  EXPECT_EQ(le(head, 25, 4), le(head, 39, 2)) << "width matches the picture's x extent";
  EXPECT_EQ(static_cast<int>(le(head, 29, 4)), -static_cast<int>(le(head, 41, 2))) << "height is minus the y extent";
  ASSERT_GE(wmf.size(), 18u);
  EXPECT_EQ(wmf.substr(0, 6), fromHex("010009000003"));
  EXPECT_EQ(le(wmf, 6, 4), wmf.size() / 2);
  std::size_t pos = 18;
  unsigned largest = 0, fonts = 0, func = 1;
  while (pos + 6 <= wmf.size() && func != 0) {
    unsigned words = le(wmf, pos, 4);
    func = le(wmf, pos + 4, 2);
    ASSERT_GE(words, 3u);
    ASSERT_LE(pos + 2 * words, wmf.size());
    largest = std::max(largest, words);
    fonts += func == 0x02FB;  // each created font is one of the header's objects
    pos += 2 * words;
  }
  EXPECT_EQ(func, 0u);
  EXPECT_EQ(pos, wmf.size());
  EXPECT_EQ(largest, le(wmf, 12, 4));
  EXPECT_EQ(fonts, le(wmf, 10, 2));
}

TEST(Equation3Object, AnEmptyStreamGivesNoObject) { EXPECT_TRUE(Equation3ObjectText("").empty()); }
