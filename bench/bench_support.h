// What the RTF benchmarks share: the generated input is written to a file in a private
// folder under $TMPDIR (or /tmp), and each round times a plain userspace copy of that file
// (`dd bs=64k`) and then the conversion of it, read from the file in 64 KiB chunks as
// velotrix reads it and written to a file beside the copy. The figures that count are the
// ratios of the two, measured in the same run, since the machine's speed varies.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "cli/host_simulator.h"
#include "rtf/document.h"

namespace bench {

// A private folder for one benchmark's files, removed with them at the end unless
// BENCH_KEEP is set (to look at or profile the generated inputs).
class Scratch {
 public:
  Scratch() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velotrix-bench-XXXXXX";
    if (mkdtemp(pattern.data())) dir_ = pattern;
  }
  ~Scratch() {
    if (std::getenv("BENCH_KEEP")) {
      std::fprintf(stderr, "kept: %s\n", dir_.c_str());
      return;
    }
    for (const std::string& f : files_) unlink(f.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }
  bool ok() const { return !dir_.empty(); }
  std::string file(const std::string& name) {
    files_.push_back(dir_ + "/" + name);
    return files_.back();
  }

 private:
  std::string dir_;
  std::vector<std::string> files_;
};

// Writes the pieces `next` makes (false: no more) to `path`; returns the size written.
inline std::uint64_t writeInput(const std::string& path, const std::function<bool(std::string&)>& next) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::uint64_t size = 0;
  std::string block, piece;
  while (next(piece)) {
    block += piece;
    piece.clear();
    if (block.size() >= (1u << 20)) {
      size += std::fwrite(block.data(), 1, block.size(), f);
      block.clear();
    }
  }
  size += std::fwrite(block.data(), 1, block.size(), f);
  std::fclose(f);
  return size;
}

inline double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Wall time of `dd bs=64k` copying `in` to a fresh `out`.
inline double timeCopy(const std::string& in, const std::string& out) {
  unlink(out.c_str());
  const std::string command = "dd if='" + in + "' of='" + out + "' bs=64k status=none";
  const auto start = std::chrono::steady_clock::now();
  if (std::system(command.c_str()) != 0) return -1;
  const double seconds = secondsSince(start);
  unlink(out.c_str());
  return seconds;
}

// Seconds of a processor-time reading.
inline double cpuSeconds(const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; }

// Wall time of converting `in` to a fresh `out` in `pass`, reading 64 KiB per callback;
// `user` and `system` get the processor time it took.
inline double timeConvert(const std::string& in, const std::string& out, DocumentPass& pass,
                          double& user, double& system) {
  unlink(out.c_str());
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  std::FILE* input = std::fopen(in.c_str(), "rb");
  if (!input) return -1;
  const auto start = std::chrono::steady_clock::now();
  HostBegin([input](char* dest, std::size_t capacity) -> long {
    return static_cast<long>(std::fread(dest, 1, capacity, input));
  }, 64 * 1024);
  platform::FileHandle file = platform::createOutputFileA(out.c_str());
  const bool ok = RunDocumentPass(pass, HostCallback(), HostBuffer(), file);
  platform::closeFile(file);
  const double seconds = secondsSince(start);
  getrusage(RUSAGE_SELF, &after);
  user = cpuSeconds(after.ru_utime) - cpuSeconds(before.ru_utime);
  system = cpuSeconds(after.ru_stime) - cpuSeconds(before.ru_stime);
  HostEnd();
  std::fclose(input);
  unlink(out.c_str());
  return ok ? seconds : -1;
}

inline double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Timings {
  double copy = 0;     // median seconds of the copy
  double convert = 0;  // median seconds of the conversion
  double user = 0, system = 0;  // the conversion's processor time, medians
  bool ok = true;
};

// Rounds of copy then conversion ($BENCH_ROUNDS, 3 by default); `prepare` readies the
// pass of each conversion.
inline Timings measure(const std::string& in, Scratch& scratch,
                       const std::function<void(DocumentPass&)>& prepare,
                       const std::function<void(const DocumentPass&)>& inspect) {
  const char* env = std::getenv("BENCH_ROUNDS");
  const int rounds = std::max(1, env ? std::atoi(env) : 3);
  const std::string copyOut = scratch.file("copy.out");
  const std::string convertOut = scratch.file("convert.out");
  std::vector<double> copies, converts, users, systems;
  Timings t;
  for (int i = 0; i < rounds; ++i) {
    copies.push_back(timeCopy(in, copyOut));
    DocumentPass pass;
    prepare(pass);
    double user = 0, system = 0;
    converts.push_back(timeConvert(in, convertOut, pass, user, system));
    users.push_back(user);
    systems.push_back(system);
    inspect(pass);
    if (copies.back() < 0 || converts.back() < 0) t.ok = false;
  }
  t.copy = median(copies);
  t.convert = median(converts);
  t.user = median(users);
  t.system = median(systems);
  return t;
}

inline double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

// The lines every RTF benchmark prints.
inline void report(std::uint64_t bytes, const Timings& t) {
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("input: %.1f MB\n", mb);
  std::printf("copy (dd bs=64k): %.3f s, %.0f MB/s\n", t.copy, mb / t.copy);
  std::printf("conversion: %.3f s, %.0f MB/s (processor: %.3f s user, %.3f s system)\n",
              t.convert, mb / t.convert, t.user, t.system);
  std::printf("throughput vs copy: %.2fx (conversion time %.2fx the copy's)\n", t.copy / t.convert,
              t.convert / t.copy);
  std::printf("peak memory (RSS): %.1f MB\n", peakMegabytes());
}

}  // namespace bench
