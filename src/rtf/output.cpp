#include "rtf/output.h"

#include <utility>

namespace {

constexpr std::size_t kSinkSize = 256 * 1024;

void drain(RtfOutput& out) {
  if (out.buffer.empty()) return;
  if (out.writer) {
    if (!out.failed && !platform::writeBehind(out.writer, out.buffer.data(), out.buffer.size()))
      out.failed = true;
    std::swap(out.buffer, out.spare);
  } else if (!out.failed && !platform::writeFile(out.file, out.buffer.data(), out.buffer.size())) {
    out.failed = true;
  }
  out.buffer.clear();
  ++out.drains;
}

void endWriter(RtfOutput& out) {
  if (!out.writer) return;
  if (!platform::endWriteBehind(out.writer)) out.failed = true;
  out.writer = nullptr;
}

}  // namespace

void BeginOutput(RtfOutput& out, platform::FileHandle file) {
  endWriter(out);
  out.file = file;
  out.buffer.allocate(kSinkSize);
  out.failed = false;
  out.writer = platform::startWriteBehind(file);
  if (out.writer) out.spare.allocate(kSinkSize);
}

void WriteOutputSlow(RtfOutput& out, std::string_view bytes) {
  if (out.buffer.size() + bytes.size() >= out.buffer.capacity()) {
    drain(out);
    if (bytes.size() >= out.buffer.capacity()) {
      ++out.drains;
      if (out.writer && !platform::waitWriteBehind(out.writer)) out.failed = true;
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
  endWriter(out);
  return !out.failed;
}
