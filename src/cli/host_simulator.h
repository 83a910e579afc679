// A stand-in for the word processor's side of the converter interface: it owns the
// transfer buffer and serves a document through the RTF callback in chunks of a chosen
// size, recording how it was called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/platform.h"

// Fills up to `capacity` bytes at `dest`; returns how many it wrote (0 at the end) or a
// negative number on a read error.
using HostSource = std::function<long(char* dest, std::size_t capacity)>;

struct HostRecord {
  std::uint64_t calls = 0;          // callback calls
  std::uint64_t unexpectedArgs = 0; // calls whose arguments were not (1, 0)
  std::uint64_t bytesServed = 0;
  bool readError = false;
};

// Prepares a transfer buffer of `chunkSize` bytes and serves `source` through it.
bool HostBegin(HostSource source, std::size_t chunkSize);
// Serves a document made piece by piece: `next` fills in the next piece and returns
// false when there is none, so that a large document never needs to be held whole.
bool HostBeginPieces(std::function<bool(std::string& piece)> next, std::size_t chunkSize);
// Convenience: serves a document held in memory.
bool HostBeginString(std::string document, std::size_t chunkSize);
void HostEnd();

platform::MemHandle HostBuffer();
platform::RtfCallback HostCallback();
const HostRecord& HostCallsRecord();
