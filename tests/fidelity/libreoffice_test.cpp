// Fidelity read back by an independent client: every golden input document converted to
// Office Math, opened by LibreOffice (one headless run for all of them) and saved as
// OpenDocument, where each formula becomes MathML. Every formula must be non-empty, and
// for the corpus objects its letters, digits and Greek letters must be those of the
// corpus structure dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/convert.h"
#include "support/corpus.h"

namespace {

namespace fs = std::filesystem;

bool haveCommand(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::u32string codePoints(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t v = n == 1 ? c : c & (0x7F >> n);
    for (int k = 1; k < n && i + k < utf8.size(); ++k) v = (v << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    out += v;
    i += static_cast<std::size_t>(n);
  }
  return out;
}

bool counts(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         (c >= 0x391 && c <= 0x3C9);
}

// The letters, digits and Greek letters of a structure dump, in order.
std::u32string expectedFromDump(const std::string& dump) {
  std::u32string out;
  static const std::regex code("<mt_code_value>0x([0-9A-Fa-f]+)</mt_code_value>");
  for (auto it = std::sregex_iterator(dump.begin(), dump.end(), code); it != std::sregex_iterator(); ++it) {
    const auto c = static_cast<char32_t>(std::stoul((*it)[1].str(), nullptr, 16));
    if (counts(c)) out += c;
  }
  return out;
}

// The characters of a formula as LibreOffice holds it: its StarMath text without the
// keywords (LibreOffice's MathML export loses parts that its own formula keeps), or the
// tokens of its MathML when there is no StarMath text.
std::u32string formulaCharacters(const std::string& content) {
  std::u32string out;
  static const std::regex annotation("<annotation encoding=\"StarMath 5.0\">([^<]*)</annotation>");
  static const std::regex token("<m(?:i|n|o|text)[^>]*>([^<]*)</m(?:i|n|o|text)>");
  std::smatch found;
  if (!std::regex_search(content, found, annotation)) {
    for (auto it = std::sregex_iterator(content.begin(), content.end(), token); it != std::sregex_iterator(); ++it)
      out += codePoints((*it)[1].str());
    return out;
  }
  // Words of two or more letters are StarMath keywords (matrix, left, lbrace, csub ...);
  // the equation's own letters stand one to a word.
  static const std::regex word("[A-Za-z]{2,}");
  const std::string text = std::regex_replace(found[1].str(), word, " ");
  for (char32_t c : codePoints(text))
    if (c != ' ' && c != '{' && c != '}' && c != '#') out += c;
  return out;
}

// The characters of `part` missing from `whole` (each counted as often as it stands).
// Order is not compared: MTEF keeps an operator's limits after its operand.
std::string missing(const std::u32string& part, std::u32string whole) {
  std::string lost;
  for (char32_t c : part) {
    const auto at = whole.find(c);
    if (at == std::u32string::npos) {
      lost += "U+" + std::to_string(static_cast<unsigned>(c)) + " ";
    } else {
      whole.erase(at, 1);
    }
  }
  return lost;
}

std::string readAll(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

TEST(Fidelity, LibreOfficeReadsEveryFormulaWithItsCharacters) {
  if (!haveCommand("soffice") || !haveCommand("unzip")) GTEST_SKIP() << "LibreOffice or unzip missing";
  const fs::path golden = fs::path(VELOTRIX_SOURCE_DIR) / "tests/golden/in";
  const fs::path work = tempPath("fidelity_lo");
  fs::remove_all(work);
  fs::create_directories(work / "rtf");
  ASSERT_EQ(std::system((std::string(VELOTRIX_CLI) + " " + golden.string() + "/*.rtf --output-dir " +
                         (work / "rtf").string() + " --no-stats 2>/dev/null").c_str()), 0);
  // One LibreOffice run for every document: each start costs seconds.
  const std::string convert = "cd " + work.string() + " && soffice -env:UserInstallation=file://" +
                              (work / "profile").string() + " --headless --convert-to odt --outdir odt rtf/*.rtf >lo.log 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0) << readAll(work / "lo.log");
  std::size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(work / "rtf")) {
    const std::string name = entry.path().stem().string();
    if (readAll(entry.path()).find("\\mmath") == std::string::npos) continue;  // no equation
    const fs::path odt = work / "odt" / (name + ".odt");
    ASSERT_TRUE(fs::exists(odt)) << name;
    const fs::path unpacked = work / "x" / name;
    fs::create_directories(unpacked);
    ASSERT_EQ(std::system(("unzip -q -o " + odt.string() + " -d " + unpacked.string()).c_str()), 0);
    std::u32string read;
    int formulas = 0;
    for (const auto& object : fs::directory_iterator(unpacked)) {
      if (object.path().filename().string().rfind("Object ", 0) != 0) continue;
      read += formulaCharacters(readAll(object.path() / "content.xml"));
      ++formulas;
    }
    EXPECT_GT(formulas, 0) << name << ": no formula";
    const fs::path dump = fs::path(corpusDir()) / "structure" / (name + ".xml");
    if (!fs::exists(dump)) continue;
    const std::u32string expected = expectedFromDump(readAll(dump));
    // A formula that draws something must not come out empty.
    if (!expected.empty()) EXPECT_FALSE(read.empty()) << name << ": an empty formula";
    EXPECT_EQ(missing(expected, read), "") << name;
    ++checked;
  }
  EXPECT_EQ(checked, 37u);
  if (!HasFailure()) fs::remove_all(work);
}

}  // namespace
