// The machine-readable report, the extraction and parallel batches of velotrix, read back
// with Python's json module.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/cli_run.h"
#include "support/docx_builder.h"
#include "support/mtef_builder.h"
#include "support/objects.h"

namespace fs = std::filesystem;
using namespace mtef5;

namespace {

// Each JSON line of `path` read by Python (strict UTF-8, one object per line), as the
// values of `keys` joined by '|'; "INVALID" when a line is not a JSON object.
std::vector<std::string> jsonFields(const std::string& path, const std::string& keys) {
  const std::string out = tempPath("fields");
  const std::string cmd =
      "python3 -c \"import json,sys\nfor l in open(sys.argv[1],encoding='utf-8'):\n"
      " o=json.loads(l)\n print('|'.join(str(o.get(k)) for k in sys.argv[2].split(',')) "
      "if isinstance(o,dict) and l.endswith('\\n') else 'INVALID')\" '" + path + "' " + keys + " >" + out + " 2>&1";
  const int status = std::system(cmd.c_str());
  std::vector<std::string> lines;
  std::ifstream in(out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  std::remove(out.c_str());
  if (status != 0) lines.push_back("INVALID");
  return lines;
}

class Records : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("velotrix-records-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string put(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

const std::string kFraction = rtfObject(
    "Equation.DSMT4", mathTypeObject(equationNative(line({fraction(line({var('x')}), line({num('2')}))}))));

// An RTF document with equations in a header, the body and a footnote, one of them
// damaged, a picture object that is no equation, and a numbered display equation.
std::string storiesDocument() {
  return "{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}}{\\header \\pard " + kFraction +
         "\\par}\\pard Body " + kFraction + " and {\\super\\chftn}{\\footnote \\pard " +
         rtfObject("Equation.DSMT4", "damaged") + "\\par} then " +
         rtfObject("Paint.Picture", "not an equation") + kFraction + "\\par\\pard\\qc " + kFraction +
         "\\tab (1)\\par}";
}

TEST_F(Records, RtfReportNamesStoriesOffsetsAndOutcomes) {
  const std::string doc = storiesDocument();
  const std::string in = put("stories.rtf", doc);
  const CliRun run = velotrix(in + " -o " + path("out.rtf") + " --no-stats --report json=" + path("r.jsonl"));
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const std::vector<std::string> lines = jsonFields(path("r.jsonl"), "index,story,class,mtef,layout,status");
  const std::vector<std::string> expected = {
      "1|header|Equation.DSMT4|5|display|converted", "2|body|Equation.DSMT4|5|inline|converted",
      "3|footnote|Equation.DSMT4|None|display|kept", "4|body|Equation.DSMT4|5|inline|converted",
      "5|body|Equation.DSMT4|5|display|converted"};
  EXPECT_EQ(lines, expected);
  // Positions are the offsets of the object groups; a kept object has its reason.
  std::size_t at = 0;
  std::vector<std::string> positions = jsonFields(path("r.jsonl"), "position,reason");
  ASSERT_EQ(positions.size(), 5u);
  for (std::size_t i = 0; i < positions.size(); ++i) {
    at = doc.find("{\\object", at + 1);
    if (i == 3) at = doc.find("{\\object", at + 1);  // past the picture
    EXPECT_EQ(positions[i].substr(0, positions[i].find('|')), std::to_string(at));
    EXPECT_EQ(positions[i].find("|None") == std::string::npos, i == 2) << positions[i];
  }
  // The same lines go to standard error without a file.
  const CliRun toStderr = velotrix(in + " -o " + path("out2.rtf") + " --no-stats --report json");
  EXPECT_EQ(toStderr.err, readFile(path("r.jsonl")));
}

TEST_F(Records, DocxReportNamesPartsNotesAndLayout) {
  using namespace testdocx;
  const std::string frac = readFile(std::string(VELOTRIX_SOURCE_DIR) + "/samples/equations.docx");
  const CliRun run = velotrix(std::string(VELOTRIX_SOURCE_DIR) + "/samples/equations.docx -o " +
                              path("out.docx") + " --no-stats --report json=" + path("r.jsonl"));
  ASSERT_EQ(run.status, kExitOk) << run.err;
  const std::vector<std::string> expected = {
      "1|body|/word/document.xml#_100000001|inline|converted",
      "2|body|/word/document.xml#_100000002|inline|converted",
      "3|body|/word/document.xml#_100000003|display|converted",
      "4|body|/word/document.xml#_100000006|display|converted",
      "5|header1|/word/header1.xml#_100000004|inline|converted",
      "6|footnote 1|/word/footnotes.xml#_100000005|inline|converted"};
  EXPECT_EQ(jsonFields(path("r.jsonl"), "index,story,position,layout,status"), expected);
}

TEST_F(Records, ExtractionWritesLinesAndFilesButNoDocument) {
  struct Case {
    const char* kind;
    const char* key;
    const char* extension;
  };
  const std::string in = put("stories.rtf", storiesDocument());
  for (const Case& c : {Case{"mathml", "mathml", ".mml"}, Case{"latex", "latex", ".tex"}}) {
    SCOPED_TRACE(c.kind);
    const CliRun plain = velotrix(std::string("--extract ") + c.kind + " " + in);
    ASSERT_EQ(plain.status, kExitOk) << plain.err;
    std::ofstream(path("plain.jsonl"), std::ios::binary) << plain.out;
    const std::string keys = std::string("index,story,status,") + c.key;
    const std::vector<std::string> lines = jsonFields(path("plain.jsonl"), keys);
    ASSERT_EQ(lines.size(), 5u) << plain.out;
    EXPECT_EQ(lines[2], std::string("3|footnote|kept|None"));  // nothing to extract

    const std::string folder = path(std::string("eq-") + c.kind);
    const CliRun toFolder = velotrix(std::string("--extract ") + c.kind + " " + in + " -o " + folder);
    ASSERT_EQ(toFolder.status, kExitOk) << toFolder.err;
    EXPECT_TRUE(toFolder.out.empty());
    EXPECT_EQ(jsonFields(folder + "/equations.jsonl", keys), lines);
    const std::vector<std::string> outputs = jsonFields(folder + "/equations.jsonl", "output");
    EXPECT_EQ(outputs, (std::vector<std::string>{"eq-0001" + std::string(c.extension),
                                                 "eq-0002" + std::string(c.extension), "None",
                                                 "eq-0004" + std::string(c.extension),
                                                 "eq-0005" + std::string(c.extension)}));
    for (const char* n : {"eq-0001", "eq-0002", "eq-0004", "eq-0005"})
      EXPECT_TRUE(fs::exists(folder + "/" + n + c.extension)) << n;
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 5);
    // The display equation is a block.
    if (std::string(c.kind) == "mathml") {
      EXPECT_NE(readFile(folder + "/eq-0005.mml").find("display=\"block\""), std::string::npos);
    }
  }
  EXPECT_FALSE(fs::exists(path("stories.converted.rtf")));
}

// An Equation 3.0 object stays as it is when the output is Equation 3.0, and is read for
// its record all the same: MTEF version and formula.
TEST_F(Records, KeptEquation3ObjectsAreStillRead) {
  const std::string native = equationNative(line({fraction(line({var('x')}), line({num('2')}))}));
  const std::string rtf = put("e3.rtf", "{\\rtf1 " + rtfObject("Equation.3", mathTypeObject(native)) + "}");
  const std::string docx = put("e3.docx", testdocx::zipParts(testdocx::equationParts(
                                              {{mathTypeObject(native), "Equation.3", testdocx::Story::Body,
                                                testdocx::Layout::Inline}})));
  for (const std::string& in : {rtf, docx}) {
    SCOPED_TRACE(in);
    const CliRun run = velotrix("--extract latex --format equation3 " + in);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    std::ofstream(path("e3.jsonl"), std::ios::binary) << run.out;
    EXPECT_EQ(jsonFields(path("e3.jsonl"), "class,mtef,status,latex"),
              std::vector<std::string>{"Equation.3|5|kept|\\frac{x}{2}"});
  }
}

TEST_F(Records, ParallelBatchSaysAndWritesWhatASequentialOneDoes) {
  std::string inputs;
  for (int i = 0; i < 6; ++i)
    inputs += " " + put("doc" + std::to_string(i) + ".rtf", i % 2 ? storiesDocument() : "{\\rtf1 " + kFraction + "}");
  inputs += " " + put("paper.docx", readFile(std::string(VELOTRIX_SOURCE_DIR) + "/samples/equations.docx"));
  inputs += " " + path("missing.rtf");
  // A file name that is not UTF-8 and holds a quote stays valid JSON.
  inputs += " '" + put("odd\"\xff.rtf", "{\\rtf1 " + kFraction + "}") + "'";
  std::vector<CliRun> runs;
  for (const char* jobs : {"1", "3"}) {
    fs::create_directories(path(std::string("out") + jobs));
    runs.push_back(velotrix(inputs + " --output-dir " + path(std::string("out") + jobs) + " --report -j " + jobs +
                            " --report json=" + path(std::string("r") + jobs + ".jsonl")));
    EXPECT_EQ(runs.back().status, kExitInput) << runs.back().err;
    EXPECT_EQ(runs.back().err.find('\r'), std::string::npos);  // no progress line off a terminal
  }
  EXPECT_EQ(runs[0].err, runs[1].err);
  EXPECT_EQ(readFile(path("r1.jsonl")), readFile(path("r3.jsonl")));
  EXPECT_EQ(jsonFields(path("r3.jsonl"), "index").size(), 3u + 3 * 5 + 6 + 1);
  for (const auto& entry : fs::directory_iterator(path("out1")))
    EXPECT_EQ(readFile(entry.path().string()), readFile(path("out3") + "/" + entry.path().filename().string()))
        << entry.path();
  EXPECT_EQ(std::distance(fs::directory_iterator(path("out3")), fs::directory_iterator()), 8);
}

}  // namespace
