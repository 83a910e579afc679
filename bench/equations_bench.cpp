// Equation throughput: a document of N equation objects (the real corpus repeated,
// 10,000 by default) is written to a scratch file and converted, next to a plain copy of
// the same file (see bench_support.h). Reports equations per second, the time against
// the copy's and the process's peak memory.
//   equations_bench [COUNT] [office-math|equation3] [CORPUS_DIR]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "settings/settings.h"
#include "support/objects.h"

namespace {

// The corpus objects as RTF object groups, ready to repeat.
struct BenchObject {
  std::string group;
  std::string className;
};

std::vector<BenchObject> loadObjects(const std::string& dir) {
  std::vector<BenchObject> groups;
  std::ifstream manifest(dir + "/manifest.tsv");
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string file, cls;
    std::getline(fields, file, '\t');
    std::getline(fields, cls, '\t');
    std::ifstream f(dir + "/equations/" + file, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    std::string native = ss.str();
    groups.push_back({rtfObject(cls, native) + "\\par\r\n", cls});
  }
  return groups;
}

}  // namespace

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 10000;
  const std::string format = argc > 2 ? argv[2] : "office-math";
  const std::string dir = argc > 3 ? argv[3] : std::string(VELOTRIX_BENCH_CORPUS);
  gSettings.eqVersion = format == "equation3" ? 0 : 1;

  std::vector<BenchObject> objects = loadObjects(dir);
  if (objects.empty()) {
    std::fprintf(stderr, "no corpus objects found in %s\n", dir.c_str());
    return 1;
  }

  long emitted = 0;
  bool started = false, closed = false;
  bench::Scratch scratch;
  if (!scratch.ok()) return 1;
  const std::string input = scratch.file("equations.rtf");
  const std::uint64_t size = bench::writeInput(input, [&](std::string& piece) {
    if (!started) {
      started = true;
      piece = "{\\rtf1\\ansi{\\fonttbl{\\f0 Times New Roman;}}\r\n";
    } else if (emitted < count) {
      piece = objects[static_cast<std::size_t>(emitted++) % objects.size()].group;
    } else if (!closed) {
      closed = true;
      piece = "}";
    }
    return !piece.empty();
  });

  std::int32_t converted = -1;
  bool same = true;  // every round converted as many
  const bench::Timings t = bench::measure(
      input, scratch, [](DocumentPass& pass) { pass.equations.eqVersion = gSettings.eqVersion; },
      [&](const DocumentPass& pass) {
        if (converted >= 0 && converted != pass.converted) same = false;
        converted = pass.converted;
      });
  std::printf("format: %s\n", format.c_str());
  std::printf("equations: %ld in document, %d converted\n", count, converted);
  std::printf("equations/s: %.0f\n", count / t.convert);
  bench::report(size, t);
  // Equation 3.0 objects stay as they are when the output is Equation 3.0.
  long expected = 0;
  for (long i = 0; i < count; ++i)
    expected += gSettings.eqVersion == 1 || objects[static_cast<std::size_t>(i) % objects.size()].className != "Equation.3";
  std::printf("expected to convert: %ld\n", expected);
  return t.ok && same && converted == expected ? 0 : 2;
}
