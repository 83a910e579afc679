#include "cli/progress_line.h"

#include <cstdio>

ProgressLine::ProgressLine(bool enabled, std::size_t files) : enabled_(enabled), files_(files) {}

void ProgressLine::beginFile(const std::string& name, std::uintmax_t bytes) {
  name_ = name;
  total_ = bytes;
  read_ = 0;
  current_ = 0;
  if (files_ == 1) start_ = Clock::now();
}

void ProgressLine::advance(std::size_t bytes) {
  read_ += bytes;
  show();
}

void ProgressLine::endFile(std::uint64_t equations) {
  ++filesDone_;
  equationsDone_ += equations;
  current_ = 0;
  name_.clear();
  show();
}

void ProgressLine::show() {
  if (!enabled_) return;
  const auto now = Clock::now();
  const auto delay = files_ > 1 ? std::chrono::milliseconds(500) : std::chrono::milliseconds(2000);
  if (now - start_ < delay || (shown_ && now - last_ < std::chrono::milliseconds(200))) return;
  last_ = now;
  shown_ = true;
  std::string line = "\rvelotrix: ";
  char part[64];
  if (files_ > 1) {
    std::snprintf(part, sizeof part, "%zu/%zu files, ", filesDone_, files_);
    line += part;
  }
  std::snprintf(part, sizeof part, "%llu equations",
                static_cast<unsigned long long>(equationsDone_ + current_));
  line += part;
  if (!name_.empty()) {
    line += ", " + name_;
    if (total_ > 0) {
      std::snprintf(part, sizeof part, " %3d%%",
                    static_cast<int>(read_ * 100 / (total_ > read_ ? total_ : read_)));
      line += part;
    }
  }
  line += "\033[K";
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

void ProgressLine::clear() {
  if (!shown_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  shown_ = false;
}
