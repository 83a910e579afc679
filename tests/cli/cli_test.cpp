#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "cli/cli.h"
#include "support/convert.h"

namespace {

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the velotrix binary with a shell command line and captures both streams.
CliRun velotrix(const std::string& args, const std::string& stdinText = "") {
  std::string in = tempPath("stdin"), out = tempPath("stdout"), err = tempPath("stderr");
  std::ofstream(in, std::ios::binary) << stdinText;
  std::string cmd = std::string(VELOTRIX_CLI) + " " + args + " <" + in + " >" + out + " 2>" + err;
  int raw = std::system(cmd.c_str());
  CliRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}

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
      {"- -o - --chunk-size 0", kExitUsage, "bad chunk size"},
      {"a b -o -", kExitUsage, "more than one input"},
      {"/nonexistent/in.rtf -o -", kExitInput, "cannot read '/nonexistent/in.rtf'"},
      {"- -o /nonexistent/dir/out.rtf", kExitOutput, "cannot create '/nonexistent/dir/out.rtf'"},
      {"- -o /dev/full", kExitWrite, "error while writing"},
  };
  for (const Case& c : cases) {
    CliRun r = velotrix(c.args, "{\\rtf1 x}");
    EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.errContains), std::string::npos) << c.args << "\n" << r.err;
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

}  // namespace
