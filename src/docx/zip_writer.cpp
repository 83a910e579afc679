#include "docx/zip_writer.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <climits>

namespace docx {
namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;

void le16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
void le32(std::string& out, std::uint32_t v) {
  le16(out, v & 0xFFFF);
  le16(out, v >> 16);
}
void le64(std::string& out, std::uint64_t v) {
  le32(out, static_cast<std::uint32_t>(v));
  le32(out, static_cast<std::uint32_t>(v >> 32));
}

// Zip keeps local time in MS-DOS form; libzip reads it back the same way.
void dosTime(std::time_t t, std::uint32_t& time, std::uint32_t& date) {
  std::tm tm{};
  if (t == 0 || !localtime_r(&t, &tm) || tm.tm_year < 80) {
    time = 0;
    date = (1 << 5) | 1;  // 1980-01-01
    return;
  }
  time = static_cast<std::uint32_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  date = static_cast<std::uint32_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

}  // namespace

bool ZipWriter::put(std::string_view bytes) {
  if (failed_) return false;
  if (!sink_(bytes)) failed_ = true;
  offset_ += bytes.size();
  return !failed_;
}

bool ZipWriter::begin(const ZipEntryInfo& e) {
  std::uint32_t time = 0, date = 0;
  dosTime(e.mtime, time, date);
  const bool bigSizes = e.size >= kMax32 || e.compressedSize >= kMax32;
  const bool bigOffset = offset_ >= kMax32;
  const std::uint32_t version = bigSizes || bigOffset ? 45 : 20;
  const std::uint32_t flags = 1u << 11;  // names in UTF-8

  // The fields the local header and the directory record share, from the version needed
  // to the name's length.
  const auto shared = [&](std::string& out) {
    le16(out, version);
    le16(out, flags);
    le16(out, e.method);
    le16(out, time);
    le16(out, date);
    le32(out, e.crc);
    le32(out, bigSizes ? kMax32 : static_cast<std::uint32_t>(e.compressedSize));
    le32(out, bigSizes ? kMax32 : static_cast<std::uint32_t>(e.size));
    le16(out, static_cast<std::uint32_t>(e.name.size()));
  };
  std::string local;
  le32(local, 0x04034b50);
  shared(local);
  le16(local, bigSizes ? 20 : 0);
  local += e.name;
  if (bigSizes) {
    le16(local, 1);
    le16(local, 16);
    le64(local, e.size);
    le64(local, e.compressedSize);
  }

  std::string extra;
  if (bigSizes) {
    le64(extra, e.size);
    le64(extra, e.compressedSize);
  }
  if (bigOffset) le64(extra, offset_);
  std::string& d = directory_;
  le32(d, 0x02014b50);
  le16(d, (3u << 8) | version);  // made by: Unix
  shared(d);
  le16(d, extra.empty() ? 0 : static_cast<std::uint32_t>(extra.size() + 4));
  le16(d, 0);  // comment
  le16(d, 0);  // disk
  le16(d, 0);  // internal attributes
  le32(d, 0100644u << 16);  // external attributes: a regular file
  le32(d, bigOffset ? kMax32 : static_cast<std::uint32_t>(offset_));
  d += e.name;
  if (!extra.empty()) {
    le16(d, 1);
    le16(d, static_cast<std::uint32_t>(extra.size()));
    d += extra;
  }
  ++count_;
  if (d.size() > (1u << 16) && !spillTried_) {
    spillTried_ = true;
    spill_ = std::tmpfile();
  }
  if (spill_ && d.size() > (1u << 16)) {
    if (std::fwrite(d.data(), 1, d.size(), spill_) != d.size()) failed_ = true;
    spilled_ += d.size();
    d.clear();
  }
  return put(local);
}

ZipWriter::~ZipWriter() {
  if (spill_) std::fclose(spill_);
}

bool ZipWriter::data(std::string_view bytes) { return put(bytes); }

bool ZipWriter::finish() {
  const std::uint64_t start = offset_;
  if (spill_) {
    if (std::fflush(spill_) != 0 || std::fseek(spill_, 0, SEEK_SET) != 0) failed_ = true;
    char piece[1 << 16];
    for (std::uint64_t left = spilled_; left > 0 && !failed_;) {
      const std::size_t want = left < sizeof piece ? static_cast<std::size_t>(left) : sizeof piece;
      if (std::fread(piece, 1, want, spill_) != want) failed_ = true;
      else if (!put(std::string_view(piece, want))) return false;
      left -= want;
    }
  }
  if (!put(directory_)) return false;
  const std::uint64_t size = spilled_ + directory_.size();
  directory_.clear();
  directory_.shrink_to_fit();
  std::string end;
  const bool zip64 = count_ >= 0xFFFF || start >= kMax32 || size >= kMax32;
  if (zip64) {
    const std::uint64_t at = offset_;
    le32(end, 0x06064b50);
    le64(end, 44);
    le16(end, (3u << 8) | 45);
    le16(end, 45);
    le32(end, 0);
    le32(end, 0);
    le64(end, count_);
    le64(end, count_);
    le64(end, size);
    le64(end, start);
    le32(end, 0x07064b50);
    le32(end, 0);
    le64(end, at);
    le32(end, 1);
  }
  le32(end, 0x06054b50);
  le16(end, 0);
  le16(end, 0);
  le16(end, zip64 ? 0xFFFF : static_cast<std::uint32_t>(count_));
  le16(end, zip64 ? 0xFFFF : static_cast<std::uint32_t>(count_));
  le32(end, zip64 ? kMax32 : static_cast<std::uint32_t>(size));
  le32(end, zip64 ? kMax32 : static_cast<std::uint32_t>(start));
  le16(end, 0);
  return put(end);
}

struct Deflater::Stream {
  z_stream z{};
  bool ready = false;
};

namespace {
constexpr std::size_t kDeflateBlock = 256 * 1024;
}  // namespace

Deflater::Deflater(Sink sink, bool inBackground) : sink_(std::move(sink)), z_(std::make_unique<Stream>()) {
  z_->ready = deflateInit2(&z_->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
  failed_ = !z_->ready;
  crc_ = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
  if (inBackground && !failed_) {
    worker_ = platform::startWorker();
    if (worker_) filling_.reserve(kDeflateBlock);
  }
}

Deflater::~Deflater() {
  if (worker_) platform::endWorker(worker_);
  if (z_->ready) deflateEnd(&z_->z);
}

// Compresses what the stream has been given; false when zlib or the sink fails.
bool Deflater::run(int flush) {
  unsigned char out[1 << 16];
  do {
    z_->z.next_out = out;
    z_->z.avail_out = sizeof out;
    const int rc = deflate(&z_->z, flush);
    if (rc == Z_STREAM_ERROR) return false;
    const std::size_t n = sizeof out - z_->z.avail_out;
    compressed_ += n;
    if (n && !sink_(std::string_view(reinterpret_cast<char*>(out), n))) return false;
    if (flush == Z_FINISH && rc == Z_STREAM_END) break;
  } while (z_->z.avail_out == 0 || (flush == Z_FINISH));
  return true;
}

bool Deflater::compress(std::string_view bytes, int flush) {
  while (!bytes.empty()) {
    const std::size_t n = bytes.size() > (1u << 30) ? (1u << 30) : bytes.size();
    crc_ = static_cast<std::uint32_t>(crc32(crc_, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n)));
    size_ += n;
    z_->z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z_->z.avail_in = static_cast<uInt>(n);
    if (!run(Z_NO_FLUSH)) return false;
    bytes.remove_prefix(n);
  }
  if (flush != Z_FINISH) return true;
  z_->z.next_in = nullptr;
  z_->z.avail_in = 0;
  return run(Z_FINISH);
}

// Waits for the block in flight, then starts compressing the one filled.
bool Deflater::handOver(int flush) {
  platform::waitWorker(worker_);
  if (blockFailed_) return !(failed_ = true);
  inFlight_.swap(filling_);
  filling_.clear();
  platform::runOnWorker(worker_, [this, flush] {
    if (!compress(inFlight_, flush)) blockFailed_ = true;
  });
  return true;
}

bool Deflater::write(std::string_view bytes) {
  if (failed_) return false;
  if (!worker_) return compress(bytes, Z_NO_FLUSH) || !(failed_ = true);
  while (!bytes.empty()) {
    const std::size_t n = std::min(bytes.size(), kDeflateBlock - filling_.size());
    filling_.append(bytes.data(), n);
    bytes.remove_prefix(n);
    if (filling_.size() == kDeflateBlock && !handOver(Z_NO_FLUSH)) return false;
  }
  return true;
}

bool Deflater::finish() {
  if (failed_) return false;
  if (!worker_) return compress({}, Z_FINISH) || !(failed_ = true);
  if (!handOver(Z_FINISH)) return false;
  platform::waitWorker(worker_);
  return !blockFailed_ || !(failed_ = true);
}

WholeDeflater::WholeDeflater() : c_(libdeflate_alloc_compressor(6)) {}

WholeDeflater::~WholeDeflater() {
  if (c_) libdeflate_free_compressor(c_);
}

bool WholeDeflater::compress(std::string_view bytes, std::string& out, std::uint32_t& crc) {
  if (!c_) return false;
  out.resize(libdeflate_deflate_compress_bound(c_, bytes.size()));
  const std::size_t n = libdeflate_deflate_compress(c_, bytes.data(), bytes.size(), out.data(), out.size());
  if (n == 0) return false;
  out.resize(n);
  crc = libdeflate_crc32(0, bytes.data(), bytes.size());
  return true;
}

}  // namespace docx
