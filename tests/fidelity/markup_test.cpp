// The MathML and LaTeX of every corpus object, read by independent clients: expat and
// xmllint (against the MathML 3 DTD of Debian's w3c-sgml-lib) parse the MathML, pandoc
// reads it back, and KaTeX renders the LaTeX (one node process for every formula). The
// letters, digits and Greek letters of each formula as a client reads it must be those of
// the object's structure dump.
#include <expat.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "equation/char_tables.h"
#include "ole/compound_file.h"
#include "support/convert.h"
#include "support/corpus.h"
#include "support/fidelity.h"
#include "support/mtef_builder.h"
#include "writers/latex.h"
#include "writers/mathml.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kMathMLDtd = "/usr/share/xml/w3c-sgml-lib/schema/dtd/REC-MathML3-20101021/mathml3.dtd";
constexpr const char* kKatex = "/usr/share/nodejs/katex";

struct Formula {
  std::string name, mathml, latex;
  std::u32string expected;
  std::string variables;  // the ASCII letters the dump has only in the variable typeface
};

std::string variableLetters(const std::string& dump) {
  static const std::regex letter(
      "<typeface>(\\d+)</typeface>\\s*<mt_code_value>0x00([46][1-9A-F]|[57][0-9A])</mt_code_value>");
  std::string variable, other;
  for (auto it = std::sregex_iterator(dump.begin(), dump.end(), letter); it != std::sregex_iterator(); ++it) {
    const char c = static_cast<char>(std::stoi((*it)[2].str(), nullptr, 16));
    ((*it)[1].str() == "3" ? variable : other) += c;
  }
  std::string only;
  for (char c : variable)
    if (other.find(c) == std::string::npos && only.find(c) == std::string::npos) only += c;
  return only;
}

std::vector<Formula> corpusFormulas() {
  std::vector<Formula> formulas;
  for (const CorpusEntry& e : loadCorpus()) {
    std::string native;
    EXPECT_TRUE(readCompoundStream(reinterpret_cast<const std::uint8_t*>(e.bytes.data()), e.bytes.size(),
                                   "Equation Native", native)) << e.file;
    const equation::ReadResult read = equation::readEquationNative(native);
    EXPECT_FALSE(read.failed) << e.file << ": " << read.failure.reason;
    const std::string stem = e.file.substr(0, e.file.size() - 4);
    const std::string dump = readAll(fs::path(corpusDir()) / "structure" / (stem + ".xml"));
    formulas.push_back({stem, writers::writeMathML(read.equation, true), writers::writeLatex(read.equation),
                        expectedFromDump(dump), variableLetters(dump)});
  }
  return formulas;
}

// Empty when `xml` is well-formed, else expat's reason.
std::string xmlError(const std::string& xml) {
  XML_Parser parser = XML_ParserCreate("UTF-8");
  std::string error;
  if (XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) != XML_STATUS_OK)
    error = XML_ErrorString(XML_GetErrorCode(parser));
  XML_ParserFree(parser);
  return error;
}

TEST(MarkupFidelity, MathMLIsWellFormedValidAndKeepsTheCharacters) {
  SKIP_WITHOUT_CORPUS();
  // One document for the DTD (it is read once per document): every formula's content in
  // an mrow of one math element.
  std::string all = R"(<math xmlns="http://www.w3.org/1998/Math/MathML" display="block">)";
  for (const Formula& f : corpusFormulas()) {
    EXPECT_EQ(xmlError(f.mathml), "") << f.name;
    EXPECT_EQ(missing(f.expected, formulaCharacters(f.mathml)), "") << f.name;
    // Variables are italic: single-letter identifiers with no variant.
    for (char c : f.variables) {
      EXPECT_NE(f.mathml.find(std::string("<mi>") + c + "</mi>"), std::string::npos) << f.name << ": " << c;
      EXPECT_EQ(f.mathml.find(std::string("mathvariant=\"normal\">") + c), std::string::npos) << f.name << ": " << c;
    }
    const std::size_t open = f.mathml.find('>') + 1;
    all += "<mrow>" + f.mathml.substr(open, f.mathml.rfind("</math>") - open) + "</mrow>";
  }
  all += "</math>";
  if (!fs::exists(kMathMLDtd) || !haveCommand("xmllint")) GTEST_SKIP() << "xmllint or the MathML 3 DTD missing";
  const fs::path work = tempPath("mathml_valid");
  fs::create_directories(work);
  std::ofstream(work / "all.mml") << all;
  const std::string validate = std::string("xmllint --nonet --noout --dtdvalid ") + kMathMLDtd + " " +
                               (work / "all.mml").string() + " 2>" + (work / "log").string();
  EXPECT_EQ(std::system(validate.c_str()), 0) << readAll(work / "log");
  if (!HasFailure()) fs::remove_all(work);
}

TEST(MarkupFidelity, PandocReadsOurMathMLWithTheCharacters) {
  SKIP_WITHOUT_CORPUS();
  if (!haveCommand("pandoc")) GTEST_SKIP() << "pandoc missing";
  const std::vector<Formula> formulas = corpusFormulas();
  const fs::path work = tempPath("mathml_pandoc");
  fs::create_directories(work);
  {
    std::ofstream html(work / "in.html");
    html << "<html><body>";
    for (const Formula& f : formulas) html << "<p>" << f.mathml << "</p>\n";
    html << "</body></html>";
  }
  const std::string run = "pandoc -f html -t html --mathml " + (work / "in.html").string() + " -o " +
                          (work / "out.html").string();
  ASSERT_EQ(std::system(run.c_str()), 0);
  const std::string out = readAll(work / "out.html");
  std::size_t at = 0;
  for (const Formula& f : formulas) {
    at = out.find("<math", at);
    ASSERT_NE(at, std::string::npos) << f.name << ": no formula";
    const std::size_t end = out.find("</math>", at);
    const std::u32string read = formulaCharacters(out.substr(at, end - at));
    at = end;
    if (!f.expected.empty()) {
      EXPECT_FALSE(read.empty()) << f.name;
    }
    EXPECT_EQ(missing(f.expected, read), "") << f.name;
  }
  if (!HasFailure()) fs::remove_all(work);
}

// Every character the MTEF character tables can give, in one line: each must reach
// LaTeX as something KaTeX knows (no "unrecognized character" warning).
std::string everyTableCharacter() {
  std::string chars;
  for (int b = 33; b < 256; ++b)
    for (std::uint16_t code : {mapSymbolChar(b), mapExtraChar(b), mapExpandChar(b)}) chars += mtef5::sym(code);
  const equation::ReadResult read = equation::readEquationNative(mtef5::equationNative(mtef5::line({chars})));
  EXPECT_FALSE(read.failed);
  return writers::writeLatex(read.equation);
}

// Renders each line of the input file; prints per formula "OK", KaTeX's MathML and the
// warnings it gave that concern the input (not its fonts), or "ERR" and the error.
constexpr const char* kRender = R"(
const katex = require(process.argv[2]);
const lines = require('fs').readFileSync(process.argv[3], 'utf8').split('\n');
lines.pop();
for (const tex of lines) {
  const warnings = [];
  console.warn = (...args) => { const m = args.join(' '); if (!m.includes('No character metrics')) warnings.push(m); };
  try {
    const html = katex.renderToString(tex, {throwOnError: true, displayMode: true});
    const math = html.match(/<math[\s\S]*?<\/math>/);
    console.log('OK\t' + (math ? math[0].replace(/\n/g, ' ') : '') + '\t' + warnings.join(' | '));
  } catch (e) {
    console.log('ERR\t' + String(e.message).replace(/\n/g, ' '));
  }
}
)";

TEST(MarkupFidelity, KatexAcceptsEveryLatexAndReadsItsCharacters) {
  SKIP_WITHOUT_CORPUS();
  if (!haveCommand("node") || !fs::exists(kKatex)) GTEST_SKIP() << "node or KaTeX (Debian package katex) missing";
  std::vector<Formula> formulas = corpusFormulas();
  formulas.push_back({"every table character", "", everyTableCharacter(), {}});
  const fs::path work = tempPath("latex_katex");
  fs::create_directories(work);
  std::ofstream(work / "render.js") << kRender;
  {
    std::ofstream tex(work / "in.tex");
    for (const Formula& f : formulas) tex << f.latex << "\n";
  }
  const std::string run = "node " + (work / "render.js").string() + " " + kKatex + " " + (work / "in.tex").string() +
                          " >" + (work / "out.txt").string();
  ASSERT_EQ(std::system(run.c_str()), 0);
  std::ifstream results(work / "out.txt");
  std::string line;
  for (const Formula& f : formulas) {
    ASSERT_TRUE(std::getline(results, line)) << f.name << ": no result";
    const std::size_t tab = line.find('\t'), last = line.rfind('\t');
    ASSERT_EQ(line.substr(0, tab), "OK") << f.name << ": " << line << "\n" << f.latex;
    EXPECT_EQ(line.substr(last + 1), "") << f.name << " warned\n" << f.latex;
    EXPECT_EQ(missing(f.expected, formulaCharacters(line.substr(tab + 1, last - tab - 1))), "") << f.name << "\n"
                                                                                                 << f.latex;
  }
  if (!HasFailure()) fs::remove_all(work);
}

}  // namespace
