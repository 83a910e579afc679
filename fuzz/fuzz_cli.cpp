// The whole command-line file path on arbitrary input: the bytes are written to a file,
// velotrix converts it (both formats, with --report) through a temporary output beside
// the target, and the result must be there, complete, whenever the run says it succeeded.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "cli/cli.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string dir = [] {
    char pattern[] = "/tmp/velotrix-fuzz-cli-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    // A Word 97-2003 file is handed to LibreOffice, which takes seconds to start: with
    // no soffice on PATH such an input ends at once with its error.
    ::setenv("PATH", "/nonexistent", 1);
    return std::string(made ? made : "/tmp");
  }();
  const std::string in = dir + "/in.rtf", out = dir + "/out.rtf";
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(data),
                                            static_cast<std::streamsize>(size));
  for (const char* format : {"office-math", "equation3"}) {
    std::remove(out.c_str());
    std::string args[] = {"velotrix", in, "-o", out, "--format", format, "--no-stats", "--report"};
    char* argv[8];
    for (int i = 0; i < 8; ++i) argv[i] = args[i].data();
    // The command line's messages go to /dev/null; the fuzzer's own stay on stderr.
    std::fflush(stderr);
    const int saved = ::dup(2);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 2);
    const int status = RunVelotrix(8, argv);
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(null);
    const bool written = std::ifstream(out).good();
    if (status == kExitOk && !written) __builtin_trap();
    if (status != kExitOk && written) __builtin_trap();  // a failed run leaves no output
  }
  return 0;
}
