#include "rtf/output.h"

namespace {

constexpr std::size_t kSinkSize = 256 * 1024;

void drain(RtfOutput& out) {
  if (out.buffer.empty()) return;
  if (!out.failed && !platform::writeFile(out.file, out.buffer.data(), out.buffer.size()))
    out.failed = true;
  out.buffer.clear();
  ++out.drains;
}

}  // namespace

void BeginOutput(RtfOutput& out, platform::FileHandle file) {
  out.file = file;
  out.buffer.allocate(kSinkSize);
  out.failed = false;
}

void WriteOutputSlow(RtfOutput& out, std::string_view bytes) {
  if (out.buffer.size() + bytes.size() >= out.buffer.capacity()) {
    drain(out);
    if (bytes.size() >= out.buffer.capacity()) {
      ++out.drains;
      if (!out.failed && !platform::writeFile(out.file, bytes.data(), bytes.size()))
        out.failed = true;
      return;
    }
  }
  out.buffer.append(bytes.data(), bytes.size());
}

char* ReserveOutput(RtfOutput& out, std::size_t n) {
  if (out.buffer.size() + n >= out.buffer.capacity()) drain(out);
  return out.buffer.end();
}

bool FlushOutput(RtfOutput& out) {
  drain(out);
  return !out.failed;
}
