// .docx throughput: a package of N equation objects (the real corpus repeated, 10,000 by
// default, each with its own embedding and preview) is built in memory and converted.
// Reports equations per second and the process's peak memory.
//   docx_bench [COUNT] [office-math|equation3] [CORPUS_DIR]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "docx/docx.h"
#include "support/docx_builder.h"

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 10000;
  const std::string format = argc > 2 ? argv[2] : "office-math";
  const std::string dir = argc > 3 ? argv[3] : std::string(VELOTRIX_BENCH_CORPUS);

  std::vector<std::string> files;
  std::ifstream manifest(dir + "/manifest.tsv");
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::ifstream f(dir + "/equations/" + line.substr(0, line.find('\t')), std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    files.push_back(ss.str());
  }
  if (files.empty()) {
    std::fprintf(stderr, "no corpus objects found in %s\n", dir.c_str());
    return 1;
  }
  std::vector<testdocx::Placed> placed;
  for (long i = 0; i < count; ++i)
    placed.push_back({files[static_cast<std::size_t>(i) % files.size()], "Equation.DSMT4",
                      testdocx::Story::Body,
                      i % 3 == 0 ? testdocx::Layout::Display : testdocx::Layout::Inline});
  const std::string package = testdocx::zipParts(testdocx::equationParts(placed));
  placed.clear();

  rusage built{};
  getrusage(RUSAGE_SELF, &built);
  if (const char* keep = std::getenv("DOCX_BENCH_KEEP")) std::ofstream(keep, std::ios::binary) << package;

  conversion::EquationSettings settings;
  settings.eqVersion = format == "equation3" ? 0 : 1;
  const auto start = std::chrono::steady_clock::now();
  const docx::DocxResult result = docx::convertDocx(package, settings);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!result.ok) {
    std::fprintf(stderr, "conversion failed: %s\n", result.error.c_str());
    return 1;
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("%ld equations (%s) in a %.1f MB package: %d converted in %.2f s, %.0f equations/s, "
              "peak memory %.1f MB (%.1f MB before the conversion)\n",
              count, format.c_str(), package.size() / 1048576.0, result.converted, seconds,
              result.converted / seconds, usage.ru_maxrss / 1024.0, built.ru_maxrss / 1024.0);
  return 0;
}
