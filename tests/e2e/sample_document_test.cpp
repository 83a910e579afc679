// The sample document of the repository: its equations are built here from readable MTEF,
// so that the file can be regenerated (VELOTRIX_UPDATE_SAMPLES=1) and checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "docx/docx.h"
#include "rtf/document.h"
#include "settings/settings.h"
#include "support/convert.h"
#include "support/docx_builder.h"
#include "support/mtef_builder.h"

namespace {

using namespace mtef5;

struct Sample {
  const char* caption;
  std::string records;
};

std::vector<Sample> samples() {
  return {
      {"A sum of variables: ", line({var('a'), sym('+'), var('b'), sym('='), var('c')})},
      {"Numbers and a Greek letter: ", line({var('C'), sym('='), num('2'), greek(0x03C0, 'p'), var('r')})},
      {"Operators: ", line({var('x'), sym(0x2264), var('y'), sym(0x2212), num('1'), sym(0x00D7), var('z')})},
      {"A pile: ", pile({line({var('x'), sym('='), num('1')}), line({var('y'), sym('='), num('2')})})},
      {"A matrix: ", line({matrix(2, 2, {line({var('a')}), line({var('b')}), line({var('c')}), line({var('d')})})})},
      {"A fraction: ", line({fraction(line({var('x'), sym('+'), num('1')}), line({var('y'), sym(0x2212), num('1')}))})},
  };
}

std::string sampleDocument() {
  std::string doc =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman Times New Roman;}"
      "{\\f1\\fnil Cambria Math Greek;}}\r\n\\pard\\fs24 Equations built by the Korvane Velotrix "
      "tests as MathType objects.\\par\r\n";
  for (const Sample& s : samples())
    doc += std::string("\\pard ") + s.caption +
           rtfObject("Equation.DSMT4", mathTypeObject(equationNative(s.records))) + "\\par\r\n";
  return doc + "}\r\n";
}

const std::string kSamplePath = std::string(VELOTRIX_SOURCE_DIR) + "/samples/equations.rtf";
const std::string kSamplePackagePath = std::string(VELOTRIX_SOURCE_DIR) + "/samples/equations.docx";

// The same equations in a Word package: inline and display in the body, one in the header
// and one in a footnote.
std::string samplePackage() {
  using namespace testdocx;
  const Story stories[] = {Story::Body, Story::Body, Story::Body, Story::Header, Story::Footnote, Story::Body};
  const Layout layouts[] = {Layout::Inline, Layout::Inline, Layout::Display, Layout::Inline, Layout::Inline,
                            Layout::Numbered};
  std::vector<Placed> placed;
  std::size_t i = 0;
  for (const Sample& s : samples()) {
    placed.push_back({mathTypeObject(equationNative(s.records)), "Equation.DSMT4", stories[i], layouts[i]});
    ++i;
  }
  return zipParts(equationParts(placed));
}

TEST(SampleDocument, PackageMatchesTheBuiltEquationsAndConverts) {
  const std::string built = samplePackage();
  if (std::getenv("VELOTRIX_UPDATE_SAMPLES")) std::ofstream(kSamplePackagePath, std::ios::binary) << built;
  EXPECT_EQ(readFile(kSamplePackagePath), built) << "regenerate with VELOTRIX_UPDATE_SAMPLES=1";
  const docx::DocxResult result = docx::convertDocx(built, conversion::EquationSettings{});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.converted, 6);
  EXPECT_TRUE(result.unconverted.empty());
}

TEST(SampleDocument, MatchesTheBuiltEquations) {
  const std::string built = sampleDocument();
  if (std::getenv("VELOTRIX_UPDATE_SAMPLES")) std::ofstream(kSamplePath, std::ios::binary) << built;
  EXPECT_EQ(readFile(kSamplePath), built) << "regenerate with VELOTRIX_UPDATE_SAMPLES=1";
}

TEST(SampleDocument, EveryEquationConverts) {
  for (std::uint32_t format : {1u, 0u}) {
    gSettings.eqVersion = format;
    std::string out = convertDocument(sampleDocument());
    EXPECT_EQ(lastPass().converted, 6) << "format " << format;
    if (format == 1) {
      EXPECT_NE(out.find("{\\mm {\\mmPr"), std::string::npos);
      EXPECT_NE(out.find("{\\mf{\\mfPr"), std::string::npos);
      EXPECT_NE(out.find("\\f1\\'f0"), std::string::npos);  // pi through the Greek font
    }
  }
  gSettings = ConverterSettings{};
}

}  // namespace
