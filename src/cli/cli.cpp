#include "cli/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "cli/host_simulator.h"
#include "rtf/document.h"
#include "rtf/objects.h"
#include "rtf/output.h"
#include "settings/settings.h"

#ifndef VELOTRIX_VERSION
#define VELOTRIX_VERSION "dev"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: velotrix IN.rtf -o OUT.rtf [options]\n"
    "Converts the equation objects (MathType, Equation Editor 3.x) of an RTF document\n"
    "into native Word equations or Equation 3.0 objects; everything else is copied.\n"
    "Use - for IN or OUT to read standard input or write standard output.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE        where to write the converted document\n"
    "  --format office-math     equations become native Word equations (default)\n"
    "  --format equation3       equations become Equation 3.0 objects\n"
    "  --euclid                 allow MathType (Euclid) fonts\n"
    "  --no-force-unicode       keep apostrophes and primes as plain characters\n"
    "  --chunk-size N           bytes the host hands over per call (default 65536)\n"
    "  -h, --help               show this text\n"
    "  --version                show the version\n";

struct Options {
  std::string input;
  std::string output;
  std::size_t chunkSize = 64 * 1024;
};

int usageError(const std::string& message) {
  std::fprintf(stderr, "velotrix: %s\nTry 'velotrix --help'.\n", message.c_str());
  return kExitUsage;
}

// Parses the arguments into `opts` and the settings record; returns -1 to go on, or an
// exit code.
int parseArguments(int argc, char** argv, Options& opts) {
  bool haveInput = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitOk;
    }
    if (arg == "--version") {
      std::printf("velotrix %s\n", VELOTRIX_VERSION);
      return kExitOk;
    }
    if (arg == "-o" || arg == "--output") {
      if (!value(opts.output)) return usageError("option " + std::string(arg) + " needs a file");
    } else if (arg == "--format") {
      std::string format;
      if (!value(format)) return usageError("option --format needs a value");
      if (format == "office-math")
        gSettings.eqVersion = 1;
      else if (format == "equation3")
        gSettings.eqVersion = 0;
      else
        return usageError("unknown format '" + format + "' (office-math or equation3)");
    } else if (arg == "--euclid") {
      gSettings.isEuclid = 1;
    } else if (arg == "--no-force-unicode") {
      gSettings.isUniPrime = 0;
    } else if (arg == "--chunk-size") {
      std::string n;
      if (!value(n)) return usageError("option --chunk-size needs a number");
      char* end = nullptr;
      unsigned long long size = std::strtoull(n.c_str(), &end, 10);
      if (n.empty() || *end != 0 || size == 0 || size > (1u << 30))
        return usageError("bad chunk size '" + n + "'");
      opts.chunkSize = static_cast<std::size_t>(size);
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option '" + std::string(arg) + "'");
    } else if (!haveInput) {
      opts.input = arg;
      haveInput = true;
    } else {
      return usageError("more than one input given");
    }
  }
  if (!haveInput) return usageError("no input file given");
  if (opts.output.empty()) return usageError("no output given (use -o OUT.rtf or -o -)");
  return -1;
}

}  // namespace

int RunVelotrix(int argc, char** argv) {
  Options opts;
  int early = parseArguments(argc, argv, opts);
  if (early >= 0) return early;

  std::FILE* in = opts.input == "-" ? stdin : std::fopen(opts.input.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "velotrix: cannot read '%s': %s\n", opts.input.c_str(), std::strerror(errno));
    return kExitInput;
  }
  outputFile = opts.output == "-" ? platform::standardOutput()
                                  : platform::createOutputFileA(opts.output.c_str());
  if (outputFile == platform::kInvalidFile) {
    std::fprintf(stderr, "velotrix: cannot create '%s': %s\n", opts.output.c_str(), std::strerror(errno));
    if (in != stdin) std::fclose(in);
    return kExitOutput;
  }

  HostBegin(
      [in](char* dest, std::size_t capacity) -> long {
        std::size_t n = std::fread(dest, 1, capacity, in);
        if (n == 0 && std::ferror(in)) return -1;
        return static_cast<long>(n);
      },
      opts.chunkSize);
  bool written = RunDocumentPass(HostCallback(), HostBuffer());
  bool readError = HostCallsRecord().readError;
  HostEnd();
  platform::closeFile(outputFile);
  outputFile = platform::kInvalidFile;
  if (in != stdin) std::fclose(in);

  if (readError) {
    std::fprintf(stderr, "velotrix: error while reading '%s'\n", opts.input.c_str());
    return kExitInput;
  }
  if (!written) {
    std::fprintf(stderr, "velotrix: error while writing '%s'\n", opts.output.c_str());
    return kExitWrite;
  }
  std::fprintf(stderr, "velotrix: %d equation(s) converted\n", convertedCount);
  return kExitOk;
}
