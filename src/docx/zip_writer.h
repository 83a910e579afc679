// Writes a zip archive front to back into a sink, never seeking: each entry's sizes and
// CRC are known before its data (copied compressed data, or data deflated beforehand), so
// every local header is final when it is written. Zip64 records are written where counts,
// sizes or offsets outgrow the classic fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

#include "docx/package.h"
#include "platform/platform.h"

struct libdeflate_compressor;

namespace docx {

struct ZipEntryInfo {
  std::string name;
  std::uint16_t method = 8;
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0;
  std::uint64_t size = 0;
  std::time_t mtime = 0;
};

class ZipWriter {
 public:
  explicit ZipWriter(Sink sink) : sink_(std::move(sink)) {}
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;
  // Starts an entry; its data (exactly compressedSize bytes) follows through data().
  bool begin(const ZipEntryInfo& info);
  bool data(std::string_view bytes);
  // Writes the central directory; false when the sink failed at any point.
  bool finish();

 private:
  bool put(std::string_view bytes);

  Sink sink_;
  std::uint64_t offset_ = 0;
  std::uint64_t count_ = 0;
  // Central directory records, written at the end. A package of many parts has many of
  // them: past 64 KB they go to a temporary file (kept in memory if none can be made).
  std::string directory_;
  std::FILE* spill_ = nullptr;
  bool spillTried_ = false;
  std::uint64_t spilled_ = 0;
  bool failed_ = false;
};

// Raw deflate (as zip stores it) into a sink, counting the CRC and both sizes. In the
// background (where a second thread can be started), the bytes written are gathered into
// blocks and each block is compressed, and handed to the sink, on that thread while the
// caller makes the next; the figures are then final after finish().
class Deflater {
 public:
  explicit Deflater(Sink sink, bool inBackground = false);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  bool write(std::string_view bytes);
  bool finish();
  std::uint32_t crc() const { return crc_; }
  std::uint64_t size() const { return size_; }
  std::uint64_t compressedSize() const { return compressed_; }

  struct Stream;

 private:
  bool compress(std::string_view bytes, int flush);
  bool run(int flush);
  bool handOver(int flush);

  Sink sink_;
  std::unique_ptr<Stream> z_;
  std::uint32_t crc_ = 0;
  std::uint64_t size_ = 0, compressed_ = 0;
  bool failed_ = false;
  // The background's: the block being filled, the one being compressed, and whether a
  // block has failed (set on the worker, read after waiting for it).
  platform::Worker* worker_ = nullptr;
  std::string filling_, inFlight_;
  bool blockFailed_ = false;
};

// Raw deflate of bytes held whole, in one call (libdeflate, at zlib's default level): for
// the many small parts made in memory, which zlib's stream compresses at half the speed.
class WholeDeflater {
 public:
  WholeDeflater();
  ~WholeDeflater();
  WholeDeflater(const WholeDeflater&) = delete;
  WholeDeflater& operator=(const WholeDeflater&) = delete;
  // The compressed bytes into `out` (replacing what it held) and the CRC of `bytes`;
  // false when they cannot be made.
  bool compress(std::string_view bytes, std::string& out, std::uint32_t& crc);

 private:
  libdeflate_compressor* c_;
};

}  // namespace docx
