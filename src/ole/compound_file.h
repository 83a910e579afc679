// OLE compound files (structured storage), read and written by our own code so that every
// platform handles embedded objects alike and nothing depends on the OS storage services.
//
// Names are passed as UTF-8 and compared case-insensitively the way structured storage
// does it (upper-cased UTF-16 code units). Only the root storage's direct children are
// reachable: equation objects keep all their streams there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using ClassId = std::array<std::uint8_t, 16>;  // a CLSID in its on-disk byte order

// Directory entry types.
constexpr std::uint8_t kEntryStorage = 1;
constexpr std::uint8_t kEntryStream = 2;
constexpr std::uint8_t kEntryRoot = 5;

struct CompoundEntry {
  std::string name;  // UTF-8
  std::uint8_t type = 0;
  std::uint64_t size = 0;
  ClassId classId{};
};

// Reads the root-level stream `name` into `bytes` (binary). False when the data is not a
// well-formed compound file, when the stream is missing, or when its sector chain is
// broken; `bytes` is then empty.
bool readCompoundStream(const std::uint8_t* data, std::size_t size, std::string_view name,
                        std::string& bytes);
// What reading keeps from one compound file to the next: the tables and lists a file's
// reading fills, so that once grown they are not allocated again for every file. One
// serves one thread.
struct CompoundScratch {
  std::vector<std::uint32_t> fatSectors, fat, dirSectors, ids, stack, chain;
  std::vector<std::uint32_t> miniStreamSectors, miniFatSectors, miniFat;
  std::vector<bool> seen;
  std::u16string wanted;  // the name looked for
  std::string bytes;  // a stream gathered from sectors that do not follow one another
};

// The same without copying: `view` refers to the stream where it stands in `data` when
// its sectors follow one another, else to its bytes gathered in `scratch`. The view is
// valid while both are.
bool readCompoundStreamView(const std::uint8_t* data, std::size_t size, std::string_view name,
                            CompoundScratch& scratch, std::string_view& view);

// Lists the root entry itself (first) and then every entry directly below it, in the
// order of the directory. False on a malformed file (entries then empty).
bool listCompoundRootEntries(const std::uint8_t* data, std::size_t size,
                             std::vector<CompoundEntry>& entries);

struct CompoundStream {
  std::string name;  // UTF-8, at most 31 UTF-16 code units
  std::string bytes;
};

// Builds a version 3 compound file (512-byte sectors, 64-byte mini sectors, mini-stream
// cutoff 4096) whose root storage carries `rootClassId` and holds the given streams.
// False (out empty) on names that are empty, too long or duplicated, or when the streams
// do not fit in a version 3 file.
bool writeCompoundFile(std::string& out, const ClassId& rootClassId,
                       const std::vector<CompoundStream>& streams);

// Parses "{0002CE02-0000-0000-C000-000000000046}" (braces optional) into on-disk order.
bool parseClassId(std::string_view text, ClassId& id);
// The inverse, upper-case with braces.
std::string formatClassId(const ClassId& id);
