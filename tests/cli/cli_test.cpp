#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli.h"
#include "cli/cli_run.h"

namespace {

TEST(Cli, ExitCodesAndMessages) {
  struct Case {
    std::string args;
    int status;
    std::string errContains;
  } cases[] = {
      {"--help", kExitOk, ""},
      {"--version", kExitOk, ""},
      {"", kExitUsage, "no input"},
      {"- ", kExitUsage, "no output"},
      {"- -o - --bogus", kExitUsage, "unknown option"},
      {"- -o - --format word", kExitUsage, "unknown format"},
      {"a b -o -", kExitUsage, "more than one input"},
      {"a -o x --output-dir d", kExitUsage, "exclude each other"},
      {"- -o - --lang klingon", kExitUsage, "unknown language"},
      {"- -o - --options /nonexistent/opts.ini", kExitInput, "cannot read '/nonexistent/opts.ini'"},
      {"/nonexistent/in.rtf -o -", kExitInput, "cannot read '/nonexistent/in.rtf'"},
      {"- -o /nonexistent/dir/out.rtf", kExitOutput,
       "cannot create '/nonexistent/dir/out.rtf': the folder '/nonexistent/dir' does not exist"},
      {"- -o /tmp", kExitOutput, "cannot create '/tmp': it is a folder"},
      {"- -o /dev/full", kExitWrite, "error while writing '/dev/full': No space left on device"},
      {"a.rtf - --output-dir d", kExitUsage, "standard input cannot be one of several inputs"},
      {"- -o - --chunk-size 0", kExitUsage, "(expected 1 to 1073741824 bytes)"},
  };
  for (const Case& c : cases) {
    CliRun r = velotrix(c.args, "{\\rtf1 x}");
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.errContains), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.err.find("Latin characters"), std::string::npos) << c.args << "\n" << r.err;
  }
  EXPECT_NE(velotrix("--help").out.find("Usage: velotrix"), std::string::npos);
}

TEST(Cli, ConvertsStandardInputToStandardOutputAndFiles) {
  CliRun r = velotrix("- -o - --chunk-size 3", "{\\rtf1\\ansi\r\n\\par\\'E9}");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "{\\rtf1 \\ansi \\par \\'e9}");

  std::string in = tempPath("in.rtf"), out = tempPath("out.rtf");
  std::ofstream(in, std::ios::binary) << "{\\rtf1 a\\b b}";
  r = velotrix(in + " -o " + out);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(out), "{\\rtf1 a\\b b}");
  std::remove(in.c_str());
  std::remove(out.c_str());
}

TEST(Cli, OutputNamesNeverOverwriteTheInput) {
  std::string dir = tempPath("names");
  std::string outDir = dir + "/out";
  std::filesystem::create_directories(outDir);
  std::ofstream(dir + "/a.rtf", std::ios::binary) << "{\\rtf1 a}";
  std::ofstream(dir + "/b.doc.rtf", std::ios::binary) << "{\\rtf1 b}";

  CliRun r = velotrix(dir + "/a.rtf --no-stats");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir + "/a.converted.rtf"), "{\\rtf1 a}");

  r = velotrix(dir + "/a.rtf " + dir + "/b.doc.rtf --output-dir " + outDir + " --no-stats");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(outDir + "/a.rtf"), "{\\rtf1 a}");
  EXPECT_EQ(readFile(outDir + "/b.doc.rtf"), "{\\rtf1 b}");

  // Refused before anything is written: an output that replaces an input, or one that two
  // inputs would share.
  std::filesystem::create_directories(dir + "/sub");
  std::ofstream(dir + "/sub/a.rtf", std::ios::binary) << "{\\rtf1 sub}";
  std::filesystem::remove_all(outDir);
  std::filesystem::create_directories(outDir);
  struct Case {
    std::string args;
    std::string errContains;
  } refused[] = {
      {dir + "/a.rtf -o " + dir + "/a.rtf", "refusing to overwrite the input"},
      {dir + "/a.rtf -o " + dir + "/./a.rtf", "refusing to overwrite the input"},
      {dir + "/a.rtf --output-dir " + dir, "refusing to overwrite the input"},
      {dir + "/sub/a.rtf " + dir + "/a.rtf --output-dir " + dir,
       "overwrite the input '" + dir + "/a.rtf' with the result of '" + dir + "/sub/a.rtf'"},
      {dir + "/a.rtf " + dir + "/sub/a.rtf --output-dir " + outDir, "would both be written to"},
      {dir + "/a.rtf " + dir + "/sub/../a.rtf --output-dir " + outDir, "would both be written to"},
      // The report file too: it is made before the first input is read.
      {dir + "/a.rtf -o " + outDir + "/a.rtf --report json=" + dir + "/a.rtf",
       "refusing to overwrite the input '" + dir + "/a.rtf' with the report"},
      {dir + "/a.rtf --output-dir " + outDir + " --report json=" + outDir + "/a.rtf",
       "the report and the result of '" + dir + "/a.rtf' would both be written to"},
  };
  for (const Case& c : refused) {
    r = velotrix(c.args + " --no-stats");
    EXPECT_EQ(r.status, kExitUsage) << c.args;
    EXPECT_NE(r.err.find(c.errContains), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(readFile(dir + "/a.rtf"), "{\\rtf1 a}");
    EXPECT_EQ(readFile(dir + "/sub/a.rtf"), "{\\rtf1 sub}");
    EXPECT_TRUE(std::filesystem::is_empty(outDir)) << c.args;
  }
  // One failing input does not stop the others; the status reports the failure.
  r = velotrix("/nonexistent/x.rtf " + dir + "/b.doc.rtf --output-dir " + outDir + " --no-stats");
  EXPECT_EQ(r.status, kExitInput);
  EXPECT_EQ(readFile(outDir + "/b.doc.rtf"), "{\\rtf1 b}");
  std::filesystem::remove_all(dir);
}

TEST(Cli, OptionsReachTheConverterThroughTheOptionsModule) {
  std::string opts = tempPath("opts.ini");
  std::ofstream(opts, std::ios::binary) << "  eqVersion = 0\npathLanguage=french\n";
  struct Case {
    std::string args;
    std::string errContains;  // in the statistics
    bool stats;
  } cases[] = {
      {"", "Equation format: Microsoft Equation [0];\n(+) Force Unicode;\n(-) Allow MathType fonts.", true},
      {"--euclid --no-force-unicode --format equation3",
       "Equation format: Equation Editor 3.x [0];\n(-) Force Unicode;\n(+) Allow MathType fonts.", true},
      {"--lang German", "Formelformat: Microsoft Equation [0]", true},
      {"--lang german --lang english", "Equation format: Microsoft Equation [0]", true},
      {"--options " + opts, "Format des \xc3\xa9quations : Equation Editor 3.x [0]", true},
      {"--no-stats", "", false},
  };
  for (const Case& c : cases) {
    CliRun r = velotrix("- -o - " + c.args, "{\\rtf1 x}");
    EXPECT_EQ(r.status, 0) << c.args << r.err;
    EXPECT_EQ(r.out, "{\\rtf1 x}");
    EXPECT_NE(r.err.find(c.errContains), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_EQ(r.err.find("statistics") != std::string::npos, c.stats) << c.args << "\n" << r.err;
  }
  std::remove(opts.c_str());
}

}  // namespace

namespace {

TEST(Cli, ReportListsUnconvertedEquations) {
  // A damaged MathType object and a picture: only the equation is listed.
  const std::string equation =
      "{\\object{\\*\\objclass Equation.DSMT4}{\\*\\objdata "
      "01050000020000000f0000004571756174696f6e2e44534d543400000000000000000004000000d0cf11e0}}";
  const std::string doc = "{\\rtf1 " + equation +
                          "{\\object{\\*\\objdata 01050000020000000e0000005061696e742e506963747572650000000000}}}";
  CliRun r = velotrix("- -o - --report --no-stats", doc);
  EXPECT_EQ(r.status, 0);
  const std::string offset = std::to_string(doc.find("\\objdata") + 9);
  EXPECT_NE(r.err.find("(standard input): byte " + offset + ": Equation.DSMT4: not converted: no \"Equation Native\""),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("Paint"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("0 equation(s) converted, 1 left unconverted"), std::string::npos) << r.err;

  // Data too short to name its class, or none: the \objclass tells that it was an equation.
  for (const auto& [data, reason] : {std::pair{"0105000002000000", "the object data is too short to name its class"},
                                     std::pair{"", "the object has no data"}}) {
    const std::string cut = std::string("{\\rtf1 {\\object {\\*\\objclass Equation.DSMT4}{\\*\\objdata ") + data + "}}}";
    r = velotrix("- -o - --report --no-stats", cut);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, cut);
    EXPECT_NE(r.err.find(std::string("Equation.DSMT4: not converted: ") + reason), std::string::npos) << r.err;
  }
}

}  // namespace
