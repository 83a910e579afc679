// Converted .docx packages read by independent programs: pandoc must find every equation
// of the body and the footnotes as math with the expected characters, and LibreOffice
// must load every equation (header included) as a formula. Skips when a program is
// missing; scripts/deps installs both.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "support/corpus.h"
#include "support/docx_builder.h"

namespace fs = std::filesystem;
using namespace testdocx;

namespace {

bool have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string corpusFile(const std::string& name) { return readFile(corpusDir() + "/equations/" + name); }

struct Expected {
  const char* file;
  const char* progId;
  Story story;
  Layout layout;
  std::vector<std::string> mathml;  // what pandoc's MathML of this equation holds
};

const std::vector<Expected>& equations() {
  static const std::vector<Expected> list = {
      {"mtef3-frac.bin", "Equation.DSMT4", Story::Body, Layout::Inline, {"<mfrac>", "<mn>204</mn>", "%"}},
      {"mtef5-equation3.bin", "Equation.DSMT4", Story::Body, Layout::Display, {"∑", "θ", "π", "⋂", "<mtable>"}},
      {"mtef3-sqrt.bin", "Equation.3", Story::Body, Layout::Numbered, {"<msqrt>", "σ"}},
      {"mtef5-equation1.bin", "Equation.DSMT4", Story::Header, Layout::Inline, {}},
      {"mtef5-integrals.bin", "", Story::Footnote, Layout::Display, {"∫", "∯", "∰"}},
      {"mtef3-ceil.bin", "Equation.3", Story::Footnote, Layout::Inline, {"⌈"}},
  };
  return list;
}

// Every <math>...</math> element of an HTML text, in order.
std::vector<std::string> mathElements(const std::string& html) {
  std::vector<std::string> out;
  for (std::size_t at = html.find("<math"); at != std::string::npos; at = html.find("<math", at + 1)) {
    const std::size_t end = html.find("</math>", at);
    if (end == std::string::npos) break;
    out.push_back(html.substr(at, end - at));
  }
  return out;
}

class DocxClients : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveCorpus()) GTEST_SKIP() << "shared corpus not found";
    dir_ = fs::temp_directory_path() / ("velotrix-docx-clients-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::vector<Placed> placed;
    for (const Expected& e : equations()) placed.push_back({corpusFile(e.file), e.progId, e.story, e.layout});
    std::ofstream(dir_ / "corpus.docx", std::ios::binary) << zipParts(equationParts(placed));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(DocxClients, PandocAndLibreOfficeReadEveryEquation) {
  const bool pandoc = have("pandoc"), soffice = have("soffice");
  if (!pandoc && !soffice) GTEST_SKIP() << "neither pandoc nor soffice installed";

  CliRun office = velotrix(path("corpus.docx") + " --no-stats");
  ASSERT_EQ(office.status, 0) << office.err;
  CliRun eq3 = velotrix(path("corpus.docx") + " -o " + path("equation3.docx") + " --format equation3 --no-stats");
  ASSERT_EQ(eq3.status, 0) << eq3.err;

  if (pandoc) {
    const std::string html = path("converted.html");
    ASSERT_EQ(std::system(("pandoc " + path("corpus.converted.docx") + " -t html --mathml -o " + html).c_str()), 0);
    const std::vector<std::string> maths = mathElements(readFile(html));
    // pandoc does not read headers: the body's equations, then the footnotes'.
    std::vector<const Expected*> read;
    for (Story story : {Story::Body, Story::Footnote})
      for (const Expected& e : equations())
        if (e.story == story) read.push_back(&e);
    ASSERT_EQ(maths.size(), read.size());
    for (std::size_t i = 0; i < read.size(); ++i)
      for (const std::string& part : read[i]->mathml)
        EXPECT_NE(maths[i].find(part), std::string::npos) << read[i]->file << ": no " << part << " in\n" << maths[i];
    const std::string display = "display=\"block\"";
    EXPECT_NE(maths[1].find(display), std::string::npos);
    EXPECT_EQ(maths[0].find(display), std::string::npos);
  }

  if (soffice) {
    // A Word 97-2003 document holding the same objects, made by LibreOffice with its
    // MathType import off, goes through velotrix's LibreOffice path.
    fs::create_directories(dir_ / "profile" / "user");
    std::ofstream(path("profile/user/registrymodifications.xcu"))
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><oor:items xmlns:oor=\"http://openoffice.org/2001/registry\">"
           "<item oor:path=\"/org.openoffice.Office.Common/Filter/Microsoft/Import\"><prop oor:name=\"MathTypeToMath\" "
           "oor:op=\"fuse\"><value>false</value></prop></item></oor:items>";
    const std::string makeDoc = "HOME=" + path("home") + " soffice -env:UserInstallation=file://" + path("profile") +
                                " --headless --convert-to doc --outdir " + path("doc") + " " + path("corpus.docx") +
                                " >" + path("soffice-doc.log") + " 2>&1";
    ASSERT_EQ(std::system(makeDoc.c_str()), 0) << readFile(path("soffice-doc.log"));
    CliRun doc = velotrix(path("doc/corpus.doc") + " -o " + path("from-doc.docx") + " --report --no-stats");
    ASSERT_EQ(doc.status, 0) << doc.err;
    EXPECT_NE(doc.err.find(std::to_string(equations().size()) + " equation(s) converted, 0 left"), std::string::npos)
        << doc.err;

    // One LibreOffice start for every document: each start takes seconds.
    const std::string profile = "file://" + path("profile-odt");
    const std::string cmd = "HOME=" + path("home") + " soffice -env:UserInstallation=" + profile +
                            " --headless --convert-to odt --outdir " + path("odt") + " " +
                            path("corpus.converted.docx") + " " + path("equation3.docx") + " " + path("from-doc.docx") +
                            " >" + path("soffice.log") + " 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << readFile(path("soffice.log"));
    for (const char* odt : {"corpus.converted.odt", "equation3.odt", "from-doc.odt"}) {
      SCOPED_TRACE(odt);
      ASSERT_TRUE(fs::exists(path("odt/") + odt)) << readFile(path("soffice.log"));
      const std::vector<Parts::value_type> parts = unzipParts(readFile(path("odt/") + odt));
      std::size_t formulas = 0;
      for (const auto& [name, bytes] : parts)
        if (name.rfind("Object ", 0) == 0 && name.find("/content.xml") != std::string::npos &&
            bytes.find("http://www.w3.org/1998/Math/MathML") != std::string::npos)
          ++formulas;
      EXPECT_EQ(formulas, equations().size());
    }
  }
}

}  // namespace
