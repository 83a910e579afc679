// The buffered sink every writer of the document pass goes through. It is flushed when it
// fills and when the run ends; a failed write is remembered and reported at the end.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/platform.h"

// The sink's bytes: a block filled from the front, never zeroed in advance; it grows only
// through room().
class OutputBytes {
 public:
  const char* data() const { return bytes_.get(); }
  char* data() { return bytes_.get(); }
  std::size_t size() const { return used_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return used_ == 0; }
  void clear() { used_ = 0; }
  void allocate(std::size_t capacity) {
    if (capacity_ < capacity) {
      bytes_.reset(new char[capacity]);
      capacity_ = capacity;
    }
    used_ = 0;
  }
  // The caller has checked that `n` bytes fit.
  void append(const char* p, std::size_t n) {
    std::memcpy(bytes_.get() + used_, p, n);
    used_ += n;
  }
  void push_back(char c) { bytes_[used_++] = c; }
  // Makes room for `n` more bytes, keeping those held, and returns where they go; the
  // caller then moves the end with setEnd.
  char* room(std::size_t n) {
    if (capacity_ - used_ < n) {
      const std::size_t capacity = std::max(used_ + n, 2 * capacity_);
      std::unique_ptr<char[]> grown = std::make_unique_for_overwrite<char[]>(capacity);
      if (used_ != 0) std::memcpy(grown.get(), bytes_.get(), used_);
      bytes_ = std::move(grown);
      capacity_ = capacity;
    }
    return end();
  }
  std::string_view view() const { return {bytes_.get(), used_}; }
  // Where the next byte goes, and the end the caller has filled up to.
  char* end() { return bytes_.get() + used_; }
  void setEnd(char* end) { used_ = static_cast<std::size_t>(end - bytes_.get()); }
  // Replaces `count` bytes at `at` with `with`, when the result still fits.
  bool replace(std::size_t at, std::size_t count, std::string_view with) {
    if (at + count > used_ || used_ - count + with.size() > capacity_) return false;
    std::memmove(bytes_.get() + at + with.size(), bytes_.get() + at + count, used_ - at - count);
    std::memcpy(bytes_.get() + at, with.data(), with.size());
    used_ = used_ - count + with.size();
    return true;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t used_ = 0;
  std::size_t capacity_ = 0;
};

struct RtfOutput {
  platform::FileHandle file = platform::kInvalidFile;
  OutputBytes buffer;
  // With a writer behind, a full buffer is handed to it and filling goes on in the spare.
  platform::WriteBehind* writer = nullptr;
  OutputBytes spare;
  bool failed = false;
  std::uint64_t drains = 0;  // how often the buffer was written out and emptied
};

// Starts a fresh sink on `file`; a regular file is written behind while the pass goes on.
void BeginOutput(RtfOutput& out, platform::FileHandle file);
// Writes `bytes` when they do not fit in what is left of the buffer.
void WriteOutputSlow(RtfOutput& out, std::string_view bytes);
inline void WriteOutput(RtfOutput& out, std::string_view bytes) {
  if (out.buffer.size() + bytes.size() < out.buffer.capacity()) out.buffer.append(bytes.data(), bytes.size());
  else WriteOutputSlow(out, bytes);
}
inline void WriteOutputByte(RtfOutput& out, char byte) {
  if (out.buffer.size() + 1 >= out.buffer.capacity()) WriteOutputSlow(out, std::string_view(&byte, 1));
  else out.buffer.push_back(byte);
}
// Makes room for `n` more bytes (at most the sink's size), writing out what is buffered if
// they do not fit, and returns where they go; the caller then moves the end with setEnd.
char* ReserveOutput(RtfOutput& out, std::size_t n);
// The most ReserveOutput can make room for.
constexpr std::size_t kOutputReserveLimit = 64 * 1024;
// Writes what is buffered and waits for it; returns false when any write of the run failed.
bool FlushOutput(RtfOutput& out);
