#include "cli/host_simulator.h"

#include <algorithm>
#include <memory>

namespace {

struct HostState {
  HostSource source;
  std::size_t chunkSize = 0;
  platform::MemHandle buffer = nullptr;
  HostRecord record;
};

HostState host;

#if defined(_WIN32)
std::int32_t __stdcall hostCallback(std::int32_t options, std::int32_t reserved) {
#else
std::int32_t hostCallback(std::int32_t options, std::int32_t reserved) {
#endif
  ++host.record.calls;
  if (options != 1 || reserved != 0) ++host.record.unexpectedArgs;
  if (!host.source || !host.buffer) return 0;
  auto* dest = static_cast<char*>(platform::memLock(host.buffer));
  if (!dest) return 0;
  long n = host.source(dest, host.chunkSize);
  platform::memUnlock(host.buffer);
  if (n < 0) {
    host.record.readError = true;
    return 0;
  }
  host.record.bytesServed += static_cast<std::uint64_t>(n);
  return static_cast<std::int32_t>(n);
}

}  // namespace

bool HostBegin(HostSource source, std::size_t chunkSize) {
  HostEnd();
  if (chunkSize == 0 || chunkSize > 0x40000000) return false;
  host.buffer = platform::memAlloc(chunkSize);
  if (!host.buffer) return false;
  host.source = std::move(source);
  host.chunkSize = chunkSize;
  host.record = HostRecord{};
  return true;
}

bool HostBeginString(std::string document, std::size_t chunkSize) {
  auto doc = std::make_shared<std::string>(std::move(document));
  auto offset = std::make_shared<std::size_t>(0);
  return HostBegin(
      [doc, offset](char* dest, std::size_t capacity) -> long {
        std::size_t n = std::min(capacity, doc->size() - *offset);
        doc->copy(dest, n, *offset);
        *offset += n;
        return static_cast<long>(n);
      },
      chunkSize);
}

bool HostBeginPieces(std::function<bool(std::string& piece)> next, std::size_t chunkSize) {
  struct Pieces {
    std::function<bool(std::string&)> next;
    std::string piece;
    std::size_t offset = 0;
    bool done = false;
  };
  auto state = std::make_shared<Pieces>();
  state->next = std::move(next);
  return HostBegin(
      [state](char* dest, std::size_t capacity) -> long {
        std::size_t n = 0;
        while (n < capacity) {
          if (state->offset == state->piece.size()) {
            state->piece.clear();
            state->offset = 0;
            if (state->done || !state->next(state->piece)) {
              state->done = true;
              break;
            }
            continue;
          }
          std::size_t take = std::min(capacity - n, state->piece.size() - state->offset);
          state->piece.copy(dest + n, take, state->offset);
          state->offset += take;
          n += take;
        }
        return static_cast<long>(n);
      },
      chunkSize);
}

void HostEnd() {
  if (host.buffer) platform::memFree(host.buffer);
  host.buffer = nullptr;
  host.source = nullptr;
}

platform::MemHandle HostBuffer() { return host.buffer; }
platform::RtfCallback HostCallback() { return &hostCallback; }
const HostRecord& HostCallsRecord() { return host.record; }
