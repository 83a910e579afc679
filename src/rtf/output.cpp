#include "rtf/output.h"

#include <string>

platform::FileHandle outputFile = platform::kInvalidFile;

namespace {

constexpr std::size_t kSinkSize = 256 * 1024;

struct OutputSink {
  std::string buffer;
  bool failed = false;
};

OutputSink sink;

void drain() {
  if (sink.buffer.empty()) return;
  if (!sink.failed && !platform::writeFile(outputFile, sink.buffer.data(), sink.buffer.size()))
    sink.failed = true;
  sink.buffer.clear();
}

}  // namespace

void BeginOutput() {
  sink.buffer.clear();
  sink.buffer.reserve(kSinkSize);
  sink.failed = false;
}

void WriteOutput(std::string_view bytes) {
  if (sink.buffer.size() + bytes.size() > kSinkSize) {
    drain();
    if (bytes.size() >= kSinkSize) {
      if (!sink.failed && !platform::writeFile(outputFile, bytes.data(), bytes.size()))
        sink.failed = true;
      return;
    }
  }
  sink.buffer.append(bytes);
}

void WriteOutputByte(char byte) {
  if (sink.buffer.size() >= kSinkSize) drain();
  sink.buffer.push_back(byte);
}

bool FlushOutput() {
  drain();
  return !sink.failed;
}

bool OutputFailed() { return sink.failed; }
