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
#include "support/fidelity.h"

namespace {

namespace fs = std::filesystem;

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
