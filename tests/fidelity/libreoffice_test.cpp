// Fidelity read back by independent clients. LibreOffice: every golden input document converted to
// Office Math and to Equation 3.0 objects, opened by LibreOffice (one headless run for all
// of them) and saved as OpenDocument, where each formula is LibreOffice's own. Every
// formula must be non-empty, and for the corpus objects its letters, digits and Greek
// letters must be those of the corpus structure dump.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ole/equation_object.h"
#include "platform/hex.h"
#include "support/convert.h"
#include "support/corpus.h"
#include "support/docx_builder.h"

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
  // Quoted text is the equation's own; outside it, words of two or more letters are
  // StarMath keywords (matrix, left, lbrace, csub ...) and the equation's letters stand
  // one to a word.
  const std::string formula = std::regex_replace(found[1].str(), std::regex("&quot;"), "\"");
  static const std::regex word("[A-Za-z]{2,}");
  bool quoted = false;
  std::string plain;
  for (char c : formula) {
    if (c == '"') {
      if (!quoted) out += codePoints(std::regex_replace(plain, word, " ")), plain.clear();
      quoted = !quoted;
      continue;
    }
    if (quoted) {
      out += static_cast<unsigned char>(c) < 0x80 ? std::u32string(1, static_cast<char32_t>(c)) : U"";
      if (static_cast<unsigned char>(c) >= 0x80) plain += c;  // multi-byte: decoded below
    } else {
      plain += c;
    }
  }
  out += codePoints(std::regex_replace(plain, word, " "));
  std::u32string kept;
  for (char32_t c : out)
    if (c != ' ' && c != '{' && c != '}' && c != '#' && c != '\n') kept += c;
  return kept;
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
  for (const char* format : {"office-math", "equation3"}) {
    fs::create_directories(work / format);
    ASSERT_EQ(std::system((std::string(VELOTRIX_CLI) + " " + golden.string() + "/*.rtf --output-dir " +
                           (work / format).string() + " --format " + format + " --no-stats 2>/dev/null").c_str()), 0);
    // Distinct names, so that one LibreOffice run converts both sets.
    for (const auto& entry : fs::directory_iterator(work / format))
      fs::rename(entry.path(), work / "rtf" / (entry.path().stem().string() + "." + format + ".rtf"));
  }
  // One LibreOffice run for every document: each start costs seconds.
  const std::string convert = "cd " + work.string() + " && soffice -env:UserInstallation=file://" +
                              (work / "profile").string() + " --headless --convert-to odt --outdir odt rtf/*.rtf >lo.log 2>&1";
  ASSERT_EQ(std::system(convert.c_str()), 0) << readAll(work / "lo.log");
  std::size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(work / "rtf")) {
    const std::string name = entry.path().stem().string();
    const std::string object = name.substr(0, name.find('.'));
    const std::string document = readAll(entry.path());
    // Only documents with a converted equation: Office Math, or an object re-issued as
    // Equation 3.0 (objects of that class stay as they came and are not ours to check).
    const bool equation3 = name.size() > 10 && name.substr(name.size() - 10) == ".equation3";
    if (document.find(equation3 ? "\\objclass Equation.3}" : "\\mmath") == std::string::npos) continue;
    if (equation3 && readAll(golden / (object + ".rtf")).find("\\objclass Equation.3}") != std::string::npos)
      continue;
    const fs::path odt = work / "odt" / (name + ".odt");
    ASSERT_TRUE(fs::exists(odt)) << name;
    const fs::path unpacked = work / "x" / name;
    fs::create_directories(unpacked);
    ASSERT_EQ(std::system(("unzip -q -o '" + odt.string() + "' -d '" + unpacked.string() + "'").c_str()), 0);
    std::u32string read;
    int formulas = 0;
    for (const auto& part : fs::directory_iterator(unpacked)) {
      if (part.path().filename().string().rfind("Object ", 0) != 0) continue;
      read += formulaCharacters(readAll(part.path() / "content.xml"));
      ++formulas;
    }
    EXPECT_GT(formulas, 0) << name << ": no formula";
    const fs::path dump = fs::path(corpusDir()) / "structure" / (object + ".xml");
    if (!fs::exists(dump)) continue;
    const std::u32string expected = expectedFromDump(readAll(dump));
    // A formula that draws something must not come out empty.
    if (!expected.empty()) {
      EXPECT_FALSE(read.empty()) << name << ": an empty formula";
    }
    EXPECT_EQ(missing(expected, read), "") << name;
    ++checked;
  }
  EXPECT_EQ(checked, 37u + 27u);  // the Equation 3.0 objects of the corpus stay as they are
  if (!HasFailure()) fs::remove_all(work);
}

// pandoc reads the Office Math of a package holding every corpus object and every
// equation of the repro documents, one display equation each, and writes each as MathML:
// never empty, and with the letters, digits and Greek letters of its structure dump.
TEST(Fidelity, PandocReadsEveryEquationFromAPackage) {
  SKIP_WITHOUT_CORPUS();
  if (!haveCommand("pandoc")) GTEST_SKIP() << "pandoc missing";
  struct Equation {
    std::string name, embedding, progId;
    std::u32string expected;
  };
  std::vector<Equation> equations;
  for (const CorpusEntry& e : loadCorpus())
    equations.push_back({e.file, e.bytes, e.className,
                         expectedFromDump(readAll(fs::path(corpusDir()) / "structure" /
                                                  (e.file.substr(0, e.file.size() - 4) + ".xml")))});
  for (const char* repro : {"sub_at_row_start.rtf", "mtef3_embellishments_synthetic.rtf"}) {
    const std::string rtf = readAll(fs::path(corpusDir()) / ".." / "repro" / repro);
    for (std::size_t at = rtf.find("\\objdata"); at != std::string::npos; at = rtf.find("\\objdata", at + 1)) {
      std::string hex;
      for (std::size_t i = at + 8; i < rtf.size() && rtf[i] != '}'; ++i)
        if (std::isxdigit(static_cast<unsigned char>(rtf[i]))) hex += rtf[i];
      const std::string record = platform::decodeHex(hex);
      equations.push_back({repro, record.substr(ClassifyObject(record, 1).nativeOffset), ObjectClassName(record), {}});
    }
  }
  const fs::path work = tempPath("fidelity_pandoc");
  fs::create_directories(work);
  std::vector<testdocx::Placed> placed;
  for (const Equation& e : equations)
    placed.push_back({e.embedding, e.progId, testdocx::Story::Body, testdocx::Layout::Display});
  std::ofstream(work / "all.docx", std::ios::binary) << testdocx::zipParts(testdocx::equationParts(placed));
  const std::string run = std::string(VELOTRIX_CLI) + " " + (work / "all.docx").string() + " --no-stats && pandoc " +
                          (work / "all.converted.docx").string() + " -t html --mathml -o " + (work / "out.html").string();
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string html = readAll(work / "out.html");
  std::size_t at = 0;
  for (const Equation& e : equations) {
    at = html.find("<math", at);
    ASSERT_NE(at, std::string::npos) << e.name << ": no formula";
    const std::size_t end = html.find("</math>", at);
    const std::u32string read = formulaCharacters(html.substr(at, end - at));
    at = end;
    // Every repro equation draws something; of the corpus, those with characters.
    if (!e.expected.empty() || e.name.find(".rtf") != std::string::npos) {
      EXPECT_FALSE(read.empty()) << e.name << ": an empty formula";
    }
    EXPECT_EQ(missing(e.expected, read), "") << e.name;
  }
  if (!HasFailure()) fs::remove_all(work);
}

}  // namespace
