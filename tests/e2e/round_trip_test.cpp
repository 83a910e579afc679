// Equation 3.0 output read back: each corpus equation converted to an Equation 3.0 object
// and that object converted to Office Math carries the same characters as the direct
// conversion.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "conversion/equation_conversion.h"
#include "platform/hex.h"
#include "support/corpus.h"

namespace {

std::string convertObject(const std::string& objectHex, std::uint32_t eqVersion) {
  conversion::EquationSettings settings;
  settings.eqVersion = eqVersion;
  return conversion::convertObject(platform::decodeHex(objectHex), settings, "\\f382").replacement;
}

// The text of every run ({\mr ...}) in order, without the run's style words.
std::string runCharacters(const std::string& math) {
  std::string chars;
  for (std::size_t at = math.find("{\\mr"); at != std::string::npos; at = math.find("{\\mr", at)) {
    std::size_t i = at + 4;
    if (i < math.size() && std::isalpha(static_cast<unsigned char>(math[i]))) {  // \mrad, \mrPr ...
      at = i;
      continue;
    }
    // Style words: \mscrN \mstyN \b \i, ended by a blank.
    while (i < math.size() && math[i] == '\\' && i + 1 < math.size() &&
           std::isalpha(static_cast<unsigned char>(math[i + 1]))) {
      ++i;
      while (i < math.size() && std::isalnum(static_cast<unsigned char>(math[i]))) ++i;
    }
    if (i < math.size() && math[i] == ' ') ++i;
    // The run's content up to its closing brace, nested escape groups included.
    int depth = 1;
    for (; i < math.size() && depth > 0; ++i) {
      char c = math[i];
      if (c == '\\' && i + 1 < math.size()) {
        chars += c;
        chars += math[++i];
        continue;
      }
      if (c == '{') ++depth;
      if (c == '}' && --depth == 0) break;
      chars += c;
    }
    chars += '|';
    at = i;
  }
  return chars;
}

// Writes every character as its Unicode value: a Greek letter through the Greek font
// ("\\f382\\'ee", code page 1253) and a "\\u" escape of the same letter are the same character.
std::string unifyEscapes(const std::string& chars) {
  std::string out;
  for (std::size_t i = 0; i < chars.size();) {
    if (chars.compare(i, 7, "\\f382\\'") == 0 && i + 9 <= chars.size()) {
      out += "U" + std::to_string(0x2D0 + std::stoi(chars.substr(i + 7, 2), nullptr, 16)) + ";";
      i += 9;
    } else if (chars.compare(i, 7, "{\\uc1\\u") == 0) {
      std::size_t end = chars.find("\\'3f}", i);
      if (end == std::string::npos) break;
      out += "U" + chars.substr(i + 7, end - i - 7) + ";";
      i = end + 5;
    } else {
      out += chars[i++];
    }
  }
  return out;
}

std::vector<std::string> splitRuns(const std::string& chars) {
  std::vector<std::string> runs;
  std::size_t start = 0;
  for (std::size_t bar = chars.find('|'); bar != std::string::npos; bar = chars.find('|', start)) {
    runs.push_back(chars.substr(start, bar - start));
    start = bar + 1;
  }
  return runs;
}

// True when every run of `part` is in `whole`, as often as it is in `part`.
bool containsAll(std::vector<std::string> part, std::vector<std::string> whole) {
  std::multiset<std::string> left(whole.begin(), whole.end());
  for (const std::string& run : part) {
    auto at = left.find(run);
    if (at == left.end()) return false;
    left.erase(at);
  }
  return true;
}

// Equations whose MTEF 3 form carries more runs than the direct Office Math: MTEF 3 draws
// arrows and embellishment marks as characters of their own, and puts the lower label of
// an arrow with two labels before the upper one.
const std::set<std::string> kMarksBecomeCharacters = {
    "mtef5-arrows.bin",          // arrow characters; labels of two-label arrows
    "mtef5-embellishments.bin",  // dots, tildes and arrows stacked over their character
    "mtef5-equation5.bin",       // a harpoon with labels above and below
};

std::string withoutLineBreaks(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\r' && c != '\n') out += c;
  return out;
}

TEST(RoundTrip, Equation3ObjectsKeepTheCharacters) {
  SKIP_WITHOUT_CORPUS();
  for (const CorpusEntry& e : loadCorpus()) {
    // Equation 3.0 objects stay as they are when the output is Equation 3.0, so their
    // compound files are offered as MathType objects here.
    const std::string original =
        objectRecordHex(e.className == "Equation.3" ? "Equation.DSMT4" : e.className, e.bytes);
    const std::string direct = convertObject(original, 1);
    const std::string equation3 = withoutLineBreaks(convertObject(original, 0));
    ASSERT_FALSE(equation3.empty()) << e.file;
    const std::string again = convertObject(equation3, 1);
    ASSERT_FALSE(again.empty()) << e.file;
    const std::vector<std::string> viaEquation3 = splitRuns(unifyEscapes(runCharacters(again)));
    const std::vector<std::string> directRuns = splitRuns(unifyEscapes(runCharacters(direct)));
    if (kMarksBecomeCharacters.count(e.file)) {
      // Every letter and digit of the direct conversion is still there (the marks are
      // drawn with other characters).
      std::vector<std::string> letters;
      for (const std::string& run : directRuns)
        if (std::regex_match(run, std::regex("[A-Za-z0-9]+")))
          letters.push_back(run);
      EXPECT_TRUE(containsAll(letters, viaEquation3)) << e.file;
      EXPECT_GT(viaEquation3.size(), directRuns.size()) << e.file;
    } else {
      EXPECT_EQ(viaEquation3, directRuns) << e.file;
    }
  }
}

}  // namespace
