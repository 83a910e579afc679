// The buffered sink every writer of the document pass goes through. It is flushed when it
// fills and when the run ends; a failed write is remembered and reported at the end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"

struct RtfOutput {
  platform::FileHandle file = platform::kInvalidFile;
  std::string buffer;
  bool failed = false;
  std::uint64_t drains = 0;  // how often the buffer was written out and emptied
};

// Starts a fresh sink on `file`.
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
// Writes what is buffered; returns false when any write of the run failed.
bool FlushOutput(RtfOutput& out);
