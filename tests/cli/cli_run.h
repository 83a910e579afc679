// Runs the velotrix binary through the shell, as a user would, and captures its streams.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/convert.h"

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

// `shellPrefix` runs before velotrix in the same shell (a limit, a variable).
inline CliRun velotrix(const std::string& args, const std::string& stdinText = "",
                       const std::string& shellPrefix = "") {
  std::string in = tempPath("stdin"), out = tempPath("stdout"), err = tempPath("stderr");
  std::ofstream(in, std::ios::binary) << stdinText;
  std::string cmd = shellPrefix + " " + std::string(VELOTRIX_CLI) + " " + args + " <" + in +
                    " >" + out + " 2>" + err;
  int raw = std::system(cmd.c_str());
  CliRun r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(out), readFile(err)};
  std::remove(in.c_str());
  std::remove(out.c_str());
  std::remove(err.c_str());
  return r;
}
