// One updating line on standard error while a batch or a long document is converted:
// files done of the batch, equations done, and how far into the current file the input
// has been read. Drawn only when standard error is a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class ProgressLine {
 public:
  // `files` is the number of inputs; a batch shows the line after half a second, a single
  // document after two.
  ProgressLine(bool enabled, std::size_t files);

  // A file begins (`bytes` its size, 0 when unknown).
  void beginFile(const std::string& name, std::uintmax_t bytes);
  // Input read, for the percentage of the current file.
  void advance(std::size_t bytes);
  // A file ended after `equations` equation objects.
  void endFile(std::uint64_t equations);
  // Equations of the current file so far (shown with those of the files done).
  void setCurrentEquations(std::uint64_t equations) { current_ = equations; }
  // Redraws the line when it is due.
  void show();
  // Erases the line, before anything else is written to standard error.
  void clear();
  void disable() { enabled_ = shown_ = false; }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  std::size_t files_;
  std::size_t filesDone_ = 0;
  std::uint64_t equationsDone_ = 0;
  std::uint64_t current_ = 0;
  std::string name_;
  std::uintmax_t total_ = 0;
  std::uintmax_t read_ = 0;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_{};
  bool shown_ = false;
};
