// velotrix on Word packages: recognised by content, named like their input, reported and
// refused as the RTF path is.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli.h"
#include "cli/cli_run.h"
#include "support/corpus.h"
#include "support/docx_builder.h"

namespace fs = std::filesystem;
using namespace testdocx;

namespace {

class DocxCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveCorpus()) GTEST_SKIP() << "shared corpus not found";
    dir_ = fs::temp_directory_path() / ("velotrix-docx-cli-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const std::string frac = readFile(corpusDir() + "/equations/mtef3-frac.bin");
    package_ = zipParts(equationParts({{frac, "Equation.DSMT4", Story::Body, Layout::Inline},
                                       {"broken", "Equation.DSMT4", Story::Header, Layout::Inline}}));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string put(const std::string& name, const std::string& bytes) {
    const std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary) << bytes;
    return p;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
  std::string package_;
};

TEST_F(DocxCli, OutputNamesFollowTheInputAndItsContent) {
  struct Case {
    const char* input;
    const char* output;
    std::string before = {};  // bytes before the zip, as a self-extractor's stub puts there
  };
  const Case cases[] = {{"paper.docx", "paper.converted.docx"},
                        {"macros.docm", "macros.converted.docm"},
                        {"form.DOTX", "form.converted.DOTX"},
                        {"thesis.dat", "thesis.converted.docx"},
                        {"stub.docx", "stub.converted.docx", std::string(5000, 'M')}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    const CliRun run = velotrix(put(c.input, c.before + package_) + " --no-stats");
    EXPECT_EQ(run.status, kExitOk) << run.err;
    const std::string out = readFile(path(c.output));
    EXPECT_EQ(unzipParts(out).size(), unzipParts(package_).size() - 2);  // one embedding, one preview gone
    EXPECT_EQ(out, readFile(path("paper.converted.docx")));
  }
  // A name given with -o is kept even when it says the other kind; a warning says so.
  const std::string rtf = put("plain.rtf", "{\\rtf1 x}");
  for (const auto& [args, warning] :
       {std::pair{path("paper.docx") + " -o " + path("result.rtf"), "will hold a Word package, though its name says RTF"},
        std::pair{rtf + " -o " + path("result.DOCX"), "will hold RTF, though its name says a Word package"},
        std::pair{rtf + " -o " + path("result.txt"), ""}}) {
    const CliRun run = velotrix(args + " --no-stats");
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.err.find("warning") != std::string::npos, *warning != 0) << run.err;
    EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
  }
}

TEST_F(DocxCli, ReportNamesPartAndObject) {
  const CliRun run = velotrix(put("in.docx", package_) + " -o " + path("out.docx") + " --report --no-stats");
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_NE(run.err.find("in.docx: /word/header1.xml: object _100000002: Equation.DSMT4: not converted:"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("1 equation(s) converted, 1 left unconverted"), std::string::npos) << run.err;
}

TEST_F(DocxCli, StatisticsStandardStreamsAndOutputDir) {
  const std::string in = put("in.docx", package_);
  CliRun run = velotrix(in + " -o " + path("a.docx"));
  EXPECT_EQ(run.status, kExitOk);
  // As an RTF conversion's message box prints: the caption, then the text.
  EXPECT_NE(run.err.find("Korvane Math Utilities  statistics:\nEquation format: Microsoft Equation [1];"),
            std::string::npos)
      << run.err;
  for (const std::string& before : {std::string(), std::string(300, 'M')}) {
    run = velotrix("- -o - --no-stats", before + package_);
    EXPECT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, readFile(path("a.docx")));
  }
  fs::create_directories(dir_ / "outdir");
  run = velotrix(in + " --output-dir " + path("outdir") + " --no-stats");
  EXPECT_EQ(run.status, kExitOk) << run.err;
  EXPECT_EQ(readFile(path("outdir/in.docx")), readFile(path("a.docx")));
}

TEST_F(DocxCli, PackagesThatAreNotWordDocumentsAreRefused) {
  struct Case {
    const char* what;
    std::string bytes;
    const char* message;
  };
  const Case cases[] = {
      {"zip of something else", zipParts({{"mimetype", "application/vnd.oasis.opendocument.text"}}),
       "not a Word document"},
      {"damaged zip", package_.substr(0, 700), "not a zip"},
      // Bytes between the parts and the directory move the parts away from where the
      // directory says they are.
      {"bytes inside the zip",
       package_.substr(0, package_.find("PK\x01\x02")) + "junk" + package_.substr(package_.find("PK\x01\x02")),
       "the part '[Content_Types].xml' cannot be opened: damaged zip structure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CliRun run = velotrix(put("bad.docx", c.bytes) + " --no-stats");
    EXPECT_EQ(run.status, kExitInput);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(path("bad.converted.docx")));
  }
}

TEST_F(DocxCli, Word97DocumentsNeedLibreOffice) {
  // Any compound file starts like a .doc; without soffice on PATH the run stops early.
  const std::string doc = put("old.doc", readFile(corpusDir() + "/equations/mtef3-frac.bin"));
  const CliRun run = velotrix(doc + " --no-stats", "", "PATH=/nonexistent");
  EXPECT_EQ(run.status, kExitInstall);
  EXPECT_NE(run.err.find("soffice is not on PATH"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(path("old.converted.docx")));
}

}  // namespace
