// .docx throughput: a package of N equation objects (the real corpus repeated, 10,000 by
// default, each with its own embedding and preview) is written to a scratch file; each
// round times `dd bs=64k` copying it and then its conversion from the file to a file, as
// velotrix does it. The conversion runs in a child process so that its peak memory is its
// own, not the benchmark's (which builds the package in memory first).
//   docx_bench [COUNT] [office-math|equation3] [TEXT_MB] [CORPUS_DIR]
// TEXT_MB adds that much text between the equations of document.xml.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "docx/docx.h"
#include "support/docx_builder.h"

int main(int argc, char** argv) {
  const long count = argc > 1 ? std::atol(argv[1]) : 10000;
  const std::string format = argc > 2 ? argv[2] : "office-math";
  const long textMb = argc > 3 ? std::atol(argv[3]) : 0;
  const std::string dir = argc > 4 ? argv[4] : std::string(VELOTRIX_BENCH_CORPUS);
  const int rounds = std::getenv("BENCH_ROUNDS") ? std::atoi(std::getenv("BENCH_ROUNDS")) : 3;

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
  bench::Scratch scratch;
  const std::string input = scratch.file("in.docx"), copy = scratch.file("copy.docx"), output = scratch.file("out.docx");
  {
    std::vector<testdocx::Placed> placed;
    for (long i = 0; i < count; ++i)
      placed.push_back({files[static_cast<std::size_t>(i) % files.size()], "Equation.DSMT4", testdocx::Story::Body,
                        i % 3 == 0 ? testdocx::Layout::Display : testdocx::Layout::Inline});
    testdocx::Parts parts = testdocx::equationParts(placed);
    if (textMb > 0)
      for (auto& [name, bytes] : parts) {
        if (name != "word/document.xml") continue;
        const std::string para = "<w:p><w:r><w:t>" + std::string(1000, 'x') + "</w:t></w:r></w:p>";
        const long perGap = textMb * 1000 / (count > 0 ? count : 1) + 1;
        std::string padded;
        std::size_t at = 0;
        for (std::size_t end; (end = bytes.find("</w:p>", at)) != std::string::npos; at = end + 6) {
          padded.append(bytes, at, end + 6 - at);
          for (long k = 0; k < perGap; ++k) padded += para;
        }
        padded.append(bytes, at, std::string::npos);
        bytes.swap(padded);
      }
    std::ofstream(input, std::ios::binary) << testdocx::zipParts(parts);
  }
  files.clear();
  files.shrink_to_fit();
  malloc_trim(0);  // the child starts from what the parent still holds
  conversion::EquationSettings settings;
  settings.eqVersion = format == "equation3" ? 0 : 1;

  std::vector<double> copies, conversions;
  long peakKb = 0;
  int converted = 0;
  for (int r = 0; r < rounds; ++r) {
    copies.push_back(bench::timeCopy(input, copy));
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return 1;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      close(pipeFd[0]);
      docx::DocxConversion conversion(settings);
      std::FILE* out = std::fopen(output.c_str(), "wb");
      std::string error;
      const bool ok = conversion.convertFile(input) && out &&
                      conversion.write([out](std::string_view piece) {
                        return std::fwrite(piece.data(), 1, piece.size(), out) == piece.size();
                      }, error);
      if (out) std::fclose(out);
      const int n = ok ? conversion.result().converted : -1;
      (void)!write(pipeFd[1], &n, sizeof n);
      _exit(ok ? 0 : 1);
    }
    close(pipeFd[1]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    conversions.push_back(bench::secondsSince(start));
    (void)!read(pipeFd[0], &converted, sizeof converted);
    close(pipeFd[0]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "conversion failed\n");
      return 1;
    }
    peakKb = std::max(peakKb, usage.ru_maxrss);
  }
  std::ifstream sized(input, std::ios::binary | std::ios::ate);
  const double mb = static_cast<double>(sized.tellg()) / 1048576.0;
  const double copySeconds = bench::median(copies), convertSeconds = bench::median(conversions);
  std::printf("%ld equations (%s) in a %.1f MB package, %d converted\n", count, format.c_str(), mb, converted);
  std::printf("equations/s: %.0f\n", converted / convertSeconds);
  std::printf("copy (dd bs=64k): %.3f s; conversion: %.3f s (%.1fx the copy's time)\n", copySeconds,
              convertSeconds, convertSeconds / copySeconds);
  std::printf("peak memory of the conversion (RSS): %.1f MB\n", peakKb / 1024.0);
  return 0;
}
