// Hostile documents through the velotrix binary: every one converts with status 0, and
// the output is the input, as the pass normalises it, everywhere but in the equations it
// replaced.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/convert.h"
#include "support/corpus.h"

namespace {

namespace fs = std::filesystem;

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the number of a control word at `i` (an optional minus and digits), if any.
bool readNumber(const std::string& s, std::size_t& i, long long& value) {
  const std::size_t start = i;
  if (i < s.size() && s[i] == '-') ++i;
  while (i < s.size() && isDigit(s[i])) ++i;
  if (i == start) return false;
  const std::string digits = s.substr(start, i - start);
  value = digits == "-" ? 0 : std::stoll(digits);
  return true;
}

// The document as the pass writes what it copies: line breaks and tabs of text become
// nothing and a blank, a control word ends in exactly one blank (after \fonttbl only when
// text follows), hex escapes are in lower case, control symbols stay as they are (a
// backslash and a line break as a backslash and a line feed) and \bin data is copied
// verbatim.
std::string normalised(const std::string& in) {
  std::string out;
  std::size_t i = 0;
  bool fontTable = false;  // "\fonttbl" was the last token
  while (i < in.size()) {
    const char c = in[i];
    if (c != '\r' && c != '\n') {
      const bool text = c != '\\' && c != '{' && c != '}';
      if (fontTable && text) out += ' ';
      fontTable = false;
    }
    if (c == '\r' || c == '\n') {
      ++i;
    } else if (c == '\t') {
      out += ' ';
      ++i;
    } else if (c != '\\') {
      out += c;
      ++i;
    } else if (i + 1 == in.size()) {
      out += ' ';
      ++i;
    } else if (in[i + 1] == '\'') {
      std::size_t j = i + 2;
      while (j < in.size() && j < i + 4 && std::isxdigit(static_cast<unsigned char>(in[j]))) ++j;
      out += "\\'";
      if (j > i + 2) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", std::stoi(in.substr(i + 2, j - i - 2), nullptr, 16));
        out += hex;
      }
      i = j;
    } else if (!isLetter(in[i + 1])) {
      const char symbol = in[i + 1] == '\r' ? '\n' : in[i + 1];
      out += '\\';
      out += symbol;
      i += 2;
      if (in[i - 1] == '\r' && i < in.size() && in[i] == '\n') ++i;
    } else {
      std::size_t j = i + 1;
      while (j < in.size() && isLetter(in[j])) ++j;
      const std::string word = in.substr(i, j - i);
      long long value = 0;
      const bool hasNumber = readNumber(in, j, value);
      if (j < in.size() && (in[j] == ' ' || in[j] == '\n')) {
        ++j;
      } else if (j < in.size() && in[j] == '\r') {
        ++j;
        if (j < in.size() && in[j] == '\n') ++j;
      }
      out += word;
      if (hasNumber) out += std::to_string(value);
      fontTable = word == "\\fonttbl";
      if (!fontTable) out += ' ';
      if (word == "\\bin") {
        out += in.substr(j, static_cast<std::size_t>(value));
        j += static_cast<std::size_t>(value);
      }
      i = j;
    }
  }
  return out;
}

// The index after the group that opens at `open`, skipping escaped braces and \bin data.
std::size_t groupEnd(const std::string& s, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < s.size(); ++i) {
    if (s[i] == '\\') {
      std::size_t j = i + 1;
      while (j < s.size() && isLetter(s[j])) ++j;
      long long count = 0;
      if (s.compare(i, j - i, "\\bin") == 0 && readNumber(s, j, count)) {
        i = j + static_cast<std::size_t>(count);  // j is at the blank before the data
      } else {
        i = j == i + 1 ? i + 1 : j - 1;
      }
    } else if (s[i] == '{') {
      ++depth;
    } else if (s[i] == '}' && --depth == 0) {
      return i + 1;
    }
  }
  return s.size();
}

// Replaces each equation the pass turned into Office Math by "@", in the output and in
// the normalised input alike: the data group's contents and the {\result} picture after
// it on one side, the Office Math group on the other. Returns the number replaced.
int cutConvertedEquations(std::string& expected, std::string& got) {
  static const std::string kData = "{\\*\\objdata ", kMath = "{\\*{\\dn0\\mmath";
  int converted = 0;
  std::size_t e = 0, g = 0;
  for (;;) {
    const std::size_t inData = expected.find(kData, e);
    if (inData == std::string::npos) return converted;
    const std::size_t outData = got.find(kData, g), outMath = got.find(kMath, g);
    if (outMath == std::string::npos || outMath > outData) {
      e = inData + 1;
      g = outData == std::string::npos ? got.size() : outData + 1;
      continue;
    }
    ++converted;
    std::size_t end = groupEnd(got, outMath + 3);
    while (end < got.size() && (got[end] == '\r' || got[end] == '\n')) ++end;
    got.replace(outMath + 3, end - outMath - 3, "@");
    g = outMath + 4;

    end = groupEnd(expected, inData);
    expected.replace(inData + 3, end - 1 - inData - 3, "@");
    e = inData + 5;  // after "{\*@}"
    std::size_t next = e;
    while (next < expected.size() && expected[next] == ' ') ++next;
    if (expected.compare(next, 8, "{\\result") == 0)
      expected.erase(next, groupEnd(expected, next) - next);
  }
}

std::string firstDifference(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  const std::size_t from = i < 40 ? 0 : i - 40;
  return "at byte " + std::to_string(i) + ":\n  got      [" + a.substr(from, 80) +
         "]\n  expected [" + b.substr(from, 80) + "]";
}

struct HostileCase {
  const char* file;  // below the shared repro folder
  int converted;     // equations replaced by Office Math
};

constexpr HostileCase kCases[] = {
    {"hostile/input_ok.rtf", 1},
    {"hostile/ctrl_symbol_newline.rtf", 0},
    {"hostile/leading_bom.rtf", 0},
    {"hostile/leading_crlf.rtf", 0},
    {"hostile/nul_after_brace.rtf", 0},
    {"hostile/nul_after_open_brace.rtf", 0},
    {"hostile/stray_close_brace.rtf", 0},
    {"hostile/objdata_bin.rtf", 1},
    {"hostile/objdata_nul.rtf", 1},
    {"hostile/result_after_space.rtf", 1},
    {"objdata_newline_merge.rtf", 0},
    // Embellishment chains deeper than the nesting limit: the object is kept.
    {"hostile/char_embell_recursion.rtf", 0},
    {"hostile/char_embell_recursion_mtef3.rtf", 0},
    {"hostile/script_quadratic_4000.rtf", 1},
};

TEST(Hostile, DocumentsPassThroughWholeOutsideReplacedEquations) {
  const fs::path repro = fs::path(corpusDir()) / ".." / "repro";
  if (!fs::exists(repro / "hostile")) GTEST_SKIP() << "no shared repro folder";
  // Every hostile document has its row.
  for (const auto& entry : fs::directory_iterator(repro / "hostile")) {
    if (entry.path().extension() != ".rtf") continue;
    const std::string name = "hostile/" + entry.path().filename().string();
    bool listed = false;
    for (const HostileCase& c : kCases) listed = listed || name == c.file;
    EXPECT_TRUE(listed) << name << " has no row";
  }
  const std::string out = tempPath("hostile.rtf");
  for (const HostileCase& c : kCases) {
    const std::string in = (repro / c.file).string();
    for (const char* chunk : {"", " --chunk-size 5"}) {
      std::remove(out.c_str());
      const std::string cmd = std::string(VELOTRIX_CLI) + " " + in + " -o " + out + chunk +
                              " --no-stats 2>/dev/null";
      const int raw = std::system(cmd.c_str());
      ASSERT_TRUE(WIFEXITED(raw)) << c.file;
      EXPECT_EQ(WEXITSTATUS(raw), 0) << c.file << chunk;
      std::string got = readFile(out);
      std::string expected = normalised(readFile(in));
      EXPECT_EQ(cutConvertedEquations(expected, got), c.converted) << c.file << chunk;
      EXPECT_TRUE(got == expected) << c.file << chunk << " " << firstDifference(got, expected);
    }
  }
  std::remove(out.c_str());
}

}  // namespace
