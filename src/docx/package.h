// The zip container of a .docx package. It is read with libzip, from a file or from bytes
// in memory, one part at a time and in pieces, with limits on sizes and compression
// ratios. The new package is written by our own zip writer (zip_writer.h) straight to
// the output, so that neither package is ever held whole; parts that do not change are
// copied with their compressed data as it was.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace docx {

// Takes the next piece of a stream; false stops the stream (the consumer has its reason).
using Sink = std::function<bool(std::string_view)>;

struct PackageEntry {
  std::string name;            // zip name, as written (no leading '/' in a sound package)
  std::uint64_t index = 0;
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
  PackageReader();
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Opens the zip held in `bytes` (which must outlive the reader), or the zip file at
  // `path`. False with `error` when it is not a zip, is encrypted, holds too many entries
  // or two entries of one name.
  bool open(std::string_view bytes, std::string& error, const PackageLimits& limits = {});
  bool openFile(const std::string& path, std::string& error, const PackageLimits& limits = {});
  const std::vector<PackageEntry>& entries() const { return entries_; }
  // The entry of a part name (case-insensitive, as part names compare), or nullptr.
  const PackageEntry* find(std::string_view name) const;
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

  std::unique_ptr<Zip> zip_;
  std::vector<PackageEntry> entries_;
  struct NameHash {
    std::size_t operator()(std::string_view name) const;
  };
  struct NameEqual {
    bool operator()(std::string_view a, std::string_view b) const;
  };
  // Entry names without a leading '/', compared as part names are (ASCII case folded).
  std::unordered_map<std::string_view, std::size_t, NameHash, NameEqual> byName_;
  PackageLimits limits_;
};

// Lower-cased ASCII, for comparing part names.
std::string lowerAscii(std::string_view s);

}  // namespace docx
