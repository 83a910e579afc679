// The zip container of a .docx package. It is read with minizip, from a file or from
// bytes in memory, one part at a time and in pieces, with limits on sizes and compression
// ratios. The central directory is never held: the reader keeps, for each entry, where
// its directory record starts and a hash of its folded name, and reads a record again
// when a part is asked for. The new package is written by our own zip writer
// (zip_writer.h) straight to the output, so that neither package is ever held whole;
// parts that do not change are copied with their compressed data as it was.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace docx {

// Takes the next piece of a stream; false stops the stream (the consumer has its reason).
using Sink = std::function<bool(std::string_view)>;

struct PackageEntry {
  std::string name;            // zip name, as written (no leading '/' in a sound package)
  std::uint64_t index = 0;     // position in the central directory
  std::uint64_t size = 0;      // declared uncompressed size
  std::uint64_t compressedSize = 0;
  std::uint16_t method = 0;    // compression method as stored (0 stored, 8 deflate)
  std::uint32_t crc = 0;
  std::time_t mtime = 0;
};

// Limits that keep a hostile package from exhausting memory.
struct PackageLimits {
  std::uint64_t maxEntries = 1000000;
  std::uint64_t maxPartSize = 1ull << 30;      // bytes of one part read into memory
  std::uint64_t maxStreamedSize = 1ull << 34;  // bytes of one part read in pieces
  std::uint64_t maxRatio = 1000;               // uncompressed / compressed, for parts over 1 MB
};

class PackageReader {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  PackageReader();
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Opens the zip held in `bytes` (which must outlive the reader), or the zip file at
  // `path`. False with `error` when it is not a zip, is encrypted, holds too many entries
  // or two entries of one name.
  bool open(std::string_view bytes, std::string& error, const PackageLimits& limits = {});
  bool openFile(const std::string& path, std::string& error, const PackageLimits& limits = {});
  std::size_t count() const { return count_; }
  // The entry at a position of the directory, read from its record; false with `error`
  // when the record can no longer be read.
  bool entry(std::size_t index, PackageEntry& out, std::string& error) const;
  // The positions of the entries whose names end in ".rels" (in any case), in order.
  const std::vector<std::uint32_t>& relationshipParts() const { return relationshipParts_; }
  // The position of a part name (case-insensitive, as part names compare), or npos.
  std::size_t indexOf(std::string_view name) const;
  // The entry of a part name, as indexOf finds it; false when there is none.
  bool find(std::string_view name, PackageEntry& out) const;
  // Reads a part whole; false with `error` when it is too large, claims an implausible
  // ratio or its data is damaged.
  bool read(const PackageEntry& entry, std::string& out, std::string& error) const;
  // Reads a part in pieces of at most 64 KB; false with `error` as for read, or when the
  // sink stops (then `error` is left empty).
  bool readPieces(const PackageEntry& entry, const Sink& sink, std::string& error) const;
  // Passes the part's compressed data, as stored, to the sink.
  bool copyCompressed(const PackageEntry& entry, const Sink& sink, std::string& error) const;

  struct Zip;

 private:
  bool index(std::string& error);
  bool withinLimits(const PackageEntry& entry, std::uint64_t limit, std::string& error) const;
  bool stream(const PackageEntry& entry, bool raw, const Sink& sink, std::string& error) const;
  bool copyAsStored(const PackageEntry& entry, const Sink& sink, std::string& error) const;
  bool inflateWhole(const PackageEntry& entry, std::string& out) const;

  std::unique_ptr<Zip> zip_;
  std::uint64_t offset(std::size_t index) const {
    return wideOffsets_.empty() ? firstOffset_ + offsets_[index] : wideOffsets_[index];
  }

  // Where each entry's directory record starts, in directory order: from the first record
  // on, or in full once the directory spans 4 GB (then wideOffsets_ is used alone).
  std::vector<std::uint32_t> offsets_;
  std::vector<std::uint64_t> wideOffsets_;
  std::uint64_t firstOffset_ = 0;
  std::size_t count_ = 0;
  // (folded-name hash, entry position), sorted: a part name is looked up by its hash and
  // confirmed against the names its record holds.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> byHash_;
  std::vector<std::uint32_t> relationshipParts_;
  PackageLimits limits_;
};

// Lower-cased ASCII, for comparing part names.
std::string lowerAscii(std::string_view s);

}  // namespace docx
