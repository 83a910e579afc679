// The zip container of a .docx package, read and written with libzip. Parts are read
// one at a time with limits on their size and compression ratio; the new package copies
// every part it does not change with its compressed data as it was.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace docx {

struct PackageEntry {
  std::string name;            // zip name, without a leading '/'
  std::uint64_t index = 0;
  std::uint64_t size = 0;      // declared uncompressed size
  std::uint64_t compressedSize = 0;
};

// Limits that keep a hostile package from exhausting memory.
struct PackageLimits {
  std::uint64_t maxEntries = 100000;
  std::uint64_t maxPartSize = 1ull << 30;  // bytes of one part read into memory
  std::uint64_t maxRatio = 1000;           // uncompressed / compressed, for parts over 1 MB
};

class PackageReader {
 public:
  PackageReader();
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Opens the zip held in `bytes` (which must outlive the reader). False with `error`
  // when it is not a zip, holds too many entries or two entries of one name.
  bool open(std::string_view bytes, std::string& error, const PackageLimits& limits = {});
  const std::vector<PackageEntry>& entries() const { return entries_; }
  // The entry of a part name (case-insensitive, as part names compare), or nullptr.
  const PackageEntry* find(std::string_view name) const;
  // Reads a part; false with `error` when it is too large, claims an implausible ratio
  // or its data is damaged.
  bool read(const PackageEntry& entry, std::string& out, std::string& error) const;

  struct Zip;
  Zip* zip() const { return zip_.get(); }

 private:
  std::unique_ptr<Zip> zip_;
  std::vector<PackageEntry> entries_;
  std::map<std::string, std::size_t> byName_;  // lower-cased name -> entry
  PackageLimits limits_;
};

// What becomes of a part in the new package; parts without a change are copied as is.
struct PartChange {
  bool remove = false;
  std::string bytes;  // the new content, when not removed
};

// Writes the package: the reader's entries in their order, changed or removed as
// `changes` says (keys are zip names). False with `error` on a failure.
bool writePackage(const PackageReader& in, const std::map<std::string, PartChange>& changes,
                  std::string& out, std::string& error);

// Lower-cased ASCII, for comparing part names.
std::string lowerAscii(std::string_view s);

}  // namespace docx
