// Compound-file reader and writer.
//
// The reader trusts nothing in the file: every sector number is checked against the
// sectors the buffer actually holds, every chain is walked with a visited map so that a
// loop stops it at once, every size is checked against the file size before anything is
// allocated, and the directory tree is walked with an explicit stack.
#include "ole/compound_file.h"

#include "platform/unicode.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kDirEntrySize = 128;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kMiniStreamCutoff = 4096;
constexpr std::size_t kMaxNameUnits = 31;  // plus the terminating zero: 64 bytes

const std::uint8_t kSignature[8] = {0xd0, 0xcf, 0x11, 0xe0, 0xa1, 0xb1, 0x1a, 0xe1};

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t le64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(le32(p)) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
}
void put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// ---- Names ------------------------------------------------------------------------------

// UTF-8 to UTF-16 code units into `out`; malformed sequences become U+FFFD rather than
// failing.
void utf8ToUnits(std::string_view s, std::u16string& out) {
  out.clear();
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
      len = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < s.size()) {
      cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
      len = 4;
    }
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp);
    }
    i += len;
  }
}

std::u16string utf8ToUnits(std::string_view s) {
  std::u16string out;
  utf8ToUnits(s, out);
  return out;
}

// Structured storage compares names upper-cased; this covers the Latin, Greek and
// Cyrillic letters that stream names use in practice.
char16_t upperUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

// The directory's sort order: shorter names first, then unit by unit upper-cased.
int compareNames(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = upperUnit(a[i]), y = upperUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// ---- Reader -----------------------------------------------------------------------------

struct DirEntry {
  std::u16string name;
  std::uint8_t type = 0;
  std::uint32_t left = kNoStream, right = kNoStream, child = kNoStream;
  ClassId classId{};
  std::uint32_t start = 0;
  std::uint64_t size = 0;
};

struct Reader {
  explicit Reader(CompoundScratch& scratch) : work(scratch), fat(scratch.fat), dirSectors(scratch.dirSectors) {}
  CompoundScratch& work;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::uint16_t majorVersion = 0;
  std::uint32_t sectorSize = 0;
  std::uint32_t sectorCount = 0;  // sectors after the header that the buffer holds (last may be partial)
  std::vector<std::uint32_t>& fat;
  std::uint32_t firstMiniFat = kEndOfChain;
  std::vector<std::uint32_t>& dirSectors;
  std::uint32_t dirCount = 0;
};

std::uint64_t sectorOffset(const Reader& r, std::uint32_t sector) {
  return (static_cast<std::uint64_t>(sector) + 1) * r.sectorSize;
}

// The bytes of a whole sector, or null when it does not lie completely inside the buffer.
const std::uint8_t* fullSector(const Reader& r, std::uint32_t sector) {
  if (sector >= r.sectorCount) return nullptr;
  std::uint64_t off = sectorOffset(r, sector);
  if (off + r.sectorSize > r.size) return nullptr;
  return r.data + off;
}

// Walks a chain through `table` from `start`, collecting at most `limit` links. A link
// outside [0, unitCount), a repeated link or a chain longer than `limit` fails. With
// `exact`, the chain must reach `limit` links (it may continue after them); otherwise it
// must end with the end-of-chain mark within `limit` links.
bool followChain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                 std::uint32_t unitCount, std::size_t limit, bool exact,
                 std::vector<std::uint32_t>& chain) {
  chain.clear();
  // A short chain is searched for a repeat; a long one marks its links in a table made
  // when it gets long.
  constexpr std::size_t kShortChain = 32;
  std::vector<bool> seen;
  std::uint32_t cur = start;
  while (chain.size() < limit) {
    if (cur == kEndOfChain) return !exact;
    if (cur >= unitCount || cur >= table.size()) return false;
    if (chain.size() < kShortChain) {
      if (std::find(chain.begin(), chain.end(), cur) != chain.end()) return false;
    } else {
      if (seen.empty()) {
        seen.assign(unitCount, false);
        for (std::uint32_t link : chain) seen[link] = true;
      }
      if (seen[cur]) return false;
      seen[cur] = true;
    }
    chain.push_back(cur);
    cur = table[cur];
  }
  return exact || cur == kEndOfChain;
}

bool openReader(Reader& r, const std::uint8_t* data, std::size_t size) {
  if (!data || size < kHeaderSize || std::memcmp(data, kSignature, 8) != 0) return false;
  r.data = data;
  r.size = size;
  r.majorVersion = le16(data + 26);
  std::uint16_t byteOrder = le16(data + 28);
  std::uint16_t sectorShift = le16(data + 30);
  std::uint16_t miniShift = le16(data + 32);
  if (byteOrder != 0xFFFE || miniShift != 6) return false;
  if (!((r.majorVersion == 3 && sectorShift == 9) || (r.majorVersion == 4 && sectorShift == 12)))
    return false;
  if (le32(data + 56) != kMiniStreamCutoff) return false;
  r.sectorSize = 1u << sectorShift;
  if (size < r.sectorSize) return false;  // a version 4 header fills a whole 4096-byte sector
  std::uint64_t sectors = (size - r.sectorSize + r.sectorSize - 1) / r.sectorSize;
  r.sectorCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(sectors, kMaxRegularSector));

  // FAT sector numbers: the first 109 in the header, the rest in the DIFAT chain.
  std::uint32_t fatSectorCount = le32(data + 44);
  if (fatSectorCount == 0 || fatSectorCount > r.sectorCount) return false;
  std::vector<std::uint32_t>& fatSectors = r.work.fatSectors;
  fatSectors.clear();
  for (std::size_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < fatSectorCount; ++i)
    fatSectors.push_back(le32(data + 76 + 4 * i));
  std::uint32_t difat = le32(data + 68);
  std::vector<bool> seenDifat(fatSectors.size() < fatSectorCount ? r.sectorCount : 0, false);
  const std::uint32_t perDifat = r.sectorSize / 4 - 1;
  while (fatSectors.size() < fatSectorCount) {
    if (difat >= r.sectorCount || seenDifat[difat]) return false;
    seenDifat[difat] = true;
    const std::uint8_t* s = fullSector(r, difat);
    if (!s) return false;
    for (std::uint32_t i = 0; i < perDifat && fatSectors.size() < fatSectorCount; ++i)
      fatSectors.push_back(le32(s + 4 * i));
    difat = le32(s + 4 * perDifat);
  }
  const std::uint32_t perSector = r.sectorSize / 4;
  r.fat.resize(static_cast<std::size_t>(fatSectorCount) * perSector);
  std::uint32_t* fat = r.fat.data();
  for (std::uint32_t fs : fatSectors) {
    const std::uint8_t* s = fullSector(r, fs);
    if (!s) return false;
    for (std::uint32_t i = 0; i < perSector; ++i) *fat++ = le32(s + 4 * i);
  }

  // The directory chain; entry 0 must be the root.
  if (!followChain(r.fat, le32(data + 48), r.sectorCount, r.sectorCount, false, r.dirSectors) ||
      r.dirSectors.empty())
    return false;
  for (std::uint32_t ds : r.dirSectors)
    if (!fullSector(r, ds)) return false;
  r.dirCount = static_cast<std::uint32_t>(r.dirSectors.size() * (r.sectorSize / kDirEntrySize));
  r.firstMiniFat = le32(data + 60);
  return true;
}

// Reads entry `id` into `e`; its name only `withName` (walking the tree needs none), into
// the string `e` already holds.
void readEntryInto(const Reader& r, std::uint32_t id, DirEntry& e, bool withName) {
  const std::uint32_t perSector = r.sectorSize / kDirEntrySize;
  const std::uint8_t* p = r.data + sectorOffset(r, r.dirSectors[id / perSector]) +
                          (id % perSector) * kDirEntrySize;
  std::size_t units = withName ? std::min<std::size_t>(le16(p + 64) / 2, kMaxNameUnits + 1) : 0;
  e.name.resize(units);
  for (std::size_t i = 0; i < units; ++i) {
    const auto c = static_cast<char16_t>(le16(p + 2 * i));
    if (c == 0) {
      e.name.resize(i);
      break;
    }
    e.name[i] = c;
  }
  e.type = p[66];
  e.left = le32(p + 68);
  e.right = le32(p + 72);
  e.child = le32(p + 76);
  std::memcpy(e.classId.data(), p + 80, 16);
  e.start = le32(p + 116);
  e.size = le64(p + 120);
  // Version 3 files only define the low half; some writers leave junk in the high one.
  if (r.majorVersion == 3) e.size &= 0xFFFFFFFFu;
}

DirEntry readEntry(const Reader& r, std::uint32_t id, bool withName = true) {
  DirEntry e;
  readEntryInto(r, id, e, withName);
  return e;
}

// The ids of the root's children, in directory order. The red-black tree is walked with
// an explicit stack; an id outside the directory, an entry reached twice (a loop, or the
// root pointing back at itself) or an unused entry in the tree fails.
bool rootChildren(const Reader& r, std::vector<std::uint32_t>& ids) {
  ids.clear();
  DirEntry root = readEntry(r, 0, false);
  if (root.type != kEntryRoot) return false;
  std::vector<bool>& seen = r.work.seen;
  seen.assign(r.dirCount, false);
  seen[0] = true;
  std::vector<std::uint32_t>& stack = r.work.stack;
  stack.assign(1, root.child);
  while (!stack.empty()) {
    std::uint32_t id = stack.back();
    stack.pop_back();
    if (id == kNoStream) continue;
    if (id >= r.dirCount || seen[id]) return false;
    seen[id] = true;
    DirEntry e = readEntry(r, id, false);
    if (e.type != kEntryStorage && e.type != kEntryStream) return false;
    ids.push_back(id);
    stack.push_back(e.right);
    stack.push_back(e.left);
  }
  std::sort(ids.begin(), ids.end());
  return true;
}

// Collects `size` bytes from `count` pieces of `unit` bytes (the last one partial) at the
// file offsets `offsetOf` gives. When the pieces follow one another the view refers to the
// file itself and nothing is copied.
template <typename OffsetOf>
bool gather(const Reader& r, std::size_t size, std::size_t count, std::size_t unit,
            const OffsetOf& offsetOf, std::string& bytes, std::string_view& view) {
  bool contiguous = true;
  std::uint64_t first = 0, expected = 0;
  std::size_t left = size;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t take = std::min(unit, left);
    const std::uint64_t off = offsetOf(i);
    if (off + take > r.size) return false;
    if (i == 0) first = off;
    else if (off != expected) contiguous = false;
    expected = off + take;
    left -= take;
  }
  if (contiguous) {
    view = std::string_view(reinterpret_cast<const char*>(r.data + first), size);
    return true;
  }
  bytes.reserve(size);
  left = size;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t take = std::min(unit, left);
    bytes.append(reinterpret_cast<const char*>(r.data + offsetOf(i)), take);
    left -= take;
  }
  view = bytes;
  return true;
}

// The stream's bytes: `view` refers to them where they stand in the file when its sectors
// follow one another (as they do in the files equation objects carry); otherwise they are
// gathered in `bytes` and `view` refers to that.
bool readStreamBytes(const Reader& r, const DirEntry& e, std::string& bytes, std::string_view& view) {
  bytes.clear();
  view = {};
  if (e.size == 0) return true;
  if (e.size > r.size) return false;  // no stream can hold more than the whole file
  const auto size = static_cast<std::size_t>(e.size);
  std::vector<std::uint32_t>& chain = r.work.chain;

  if (e.size >= kMiniStreamCutoff) {
    std::size_t need = (size + r.sectorSize - 1) / r.sectorSize;
    if (!followChain(r.fat, e.start, r.sectorCount, need, true, chain)) return false;
    return gather(r, size, chain.size(), r.sectorSize,
                  [&](std::size_t i) { return sectorOffset(r, chain[i]); }, bytes, view);
  }

  // Small streams live in the mini stream, which is itself a regular chain from the root.
  DirEntry root = readEntry(r, 0, false);
  if (root.size > r.size) return false;
  const auto miniStreamSize = static_cast<std::size_t>(root.size);
  std::vector<std::uint32_t>& miniStreamSectors = r.work.miniStreamSectors;
  if (!followChain(r.fat, root.start, r.sectorCount,
                   (miniStreamSize + r.sectorSize - 1) / r.sectorSize, true, miniStreamSectors))
    return false;
  std::vector<std::uint32_t>& miniFatSectors = r.work.miniFatSectors;
  if (!followChain(r.fat, r.firstMiniFat, r.sectorCount, r.sectorCount, false, miniFatSectors))
    return false;
  std::vector<std::uint32_t>& miniFat = r.work.miniFat;
  miniFat.resize(miniFatSectors.size() * (r.sectorSize / 4));
  std::uint32_t* entry = miniFat.data();
  for (std::uint32_t s : miniFatSectors) {
    const std::uint8_t* p = fullSector(r, s);
    if (!p) return false;
    for (std::uint32_t i = 0; i < r.sectorSize / 4; ++i) *entry++ = le32(p + 4 * i);
  }
  auto miniCount = static_cast<std::uint32_t>(miniStreamSize / kMiniSectorSize);
  std::size_t need = (size + kMiniSectorSize - 1) / kMiniSectorSize;
  if (!followChain(miniFat, e.start, miniCount, need, true, chain)) return false;
  return gather(r, size, chain.size(), kMiniSectorSize, [&](std::size_t i) {
    const std::uint64_t inMini = static_cast<std::uint64_t>(chain[i]) * kMiniSectorSize;
    return sectorOffset(r, miniStreamSectors[inMini / r.sectorSize]) + inMini % r.sectorSize;
  }, bytes, view);
}

}  // namespace

bool readCompoundStream(const std::uint8_t* data, std::size_t size, std::string_view name,
                        std::string& bytes) {
  bytes.clear();
  CompoundScratch scratch;
  std::string_view view;
  if (!readCompoundStreamView(data, size, name, scratch, view)) return false;
  bytes.assign(view);
  return true;
}

bool readCompoundStreamView(const std::uint8_t* data, std::size_t size, std::string_view name,
                            CompoundScratch& scratch, std::string_view& view) {
  std::string& bytes = scratch.bytes;
  view = {};
  bytes.clear();
  try {
    Reader r(scratch);
    if (!openReader(r, data, size)) return false;
    std::vector<std::uint32_t>& ids = scratch.ids;
    if (!rootChildren(r, ids)) return false;
    utf8ToUnits(name, scratch.wanted);
    DirEntry e;
    for (std::uint32_t id : ids) {
      readEntryInto(r, id, e, true);
      if (e.type != kEntryStream || compareNames(e.name, scratch.wanted) != 0) continue;
      if (readStreamBytes(r, e, bytes, view)) return true;
      bytes.clear();
      view = {};
      return false;
    }
  } catch (const std::bad_alloc&) {
    bytes.clear();
    view = {};
  }
  return false;
}

bool listCompoundRootEntries(const std::uint8_t* data, std::size_t size,
                             std::vector<CompoundEntry>& entries) {
  entries.clear();
  try {
    CompoundScratch scratch;
    Reader r(scratch);
    if (!openReader(r, data, size)) return false;
    std::vector<std::uint32_t>& ids = scratch.ids;
    if (!rootChildren(r, ids)) return false;
    ids.insert(ids.begin(), 0);
    for (std::uint32_t id : ids) {
      DirEntry e = readEntry(r, id);
      entries.push_back(CompoundEntry{platform::utf16ToUtf8(e.name), e.type, e.size, e.classId});
    }
    return true;
  } catch (const std::bad_alloc&) {
    entries.clear();
    return false;
  }
}

// ---- Writer -----------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kWriteSectorSize = 512;
constexpr std::uint32_t kIdsPerSector = kWriteSectorSize / 4;
constexpr std::uint32_t kEntriesPerSector = kWriteSectorSize / kDirEntrySize;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

struct TreeNode {
  std::uint32_t left = kNoStream, right = kNoStream;
  std::uint8_t color = 1;  // 0 red, 1 black
};

// Links the sorted ids [lo, hi) into a balanced tree and returns its root. Splitting at
// the middle fills every level except the deepest, so colouring that deepest level red
// (when it is not full) and everything else black satisfies the red-black rules. The
// depth of the recursion is the tree height, at most log2 of the entry count.
std::uint32_t linkTree(const std::vector<std::uint32_t>& sorted, std::size_t lo, std::size_t hi,
                       int depth, int redDepth, std::vector<TreeNode>& nodes) {
  if (lo >= hi) return kNoStream;
  std::size_t mid = lo + (hi - lo) / 2;
  std::uint32_t id = sorted[mid];
  nodes[id].left = linkTree(sorted, lo, mid, depth + 1, redDepth, nodes);
  nodes[id].right = linkTree(sorted, mid + 1, hi, depth + 1, redDepth, nodes);
  nodes[id].color = depth == redDepth ? 0 : 1;
  return id;
}

bool validName(const std::u16string& name) {
  if (name.empty() || name.size() > kMaxNameUnits) return false;
  for (char16_t c : name)
    if (c == 0 || c == u'/' || c == u'\\' || c == u':' || c == u'!') return false;
  return true;
}

void writeEntry(std::uint8_t* p, const std::u16string& name, std::uint8_t type,
                std::uint8_t color, std::uint32_t left, std::uint32_t right, std::uint32_t child,
                const ClassId* classId, std::uint32_t start, std::uint64_t size) {
  for (std::size_t i = 0; i < name.size(); ++i) put16(p + 2 * i, name[i]);
  put16(p + 64, static_cast<std::uint32_t>((name.size() + 1) * 2));
  p[66] = type;
  p[67] = color;
  put32(p + 68, left);
  put32(p + 72, right);
  put32(p + 76, child);
  if (classId) std::memcpy(p + 80, classId->data(), 16);
  put32(p + 116, start);
  put32(p + 120, static_cast<std::uint32_t>(size));
  put32(p + 124, static_cast<std::uint32_t>(size >> 32));
}

bool writeCompoundFileImpl(std::string& out, const ClassId& rootClassId,
                           const std::vector<CompoundStream>& streams) {
  const std::size_t n = streams.size();
  std::vector<std::u16string> names(n + 1);
  names[0] = u"Root Entry";
  for (std::size_t i = 0; i < n; ++i) {
    names[i + 1] = utf8ToUnits(streams[i].name);
    if (!validName(names[i + 1])) return false;
    // Version 3 stream sizes are 32-bit.
    if (streams[i].bytes.size() > 0xFFFFFFFFull) return false;
  }

  // Sort the stream entries (ids 1..n) in directory order; equal neighbours are duplicates.
  std::vector<std::uint32_t> sorted;
  for (std::uint32_t id = 1; id <= n; ++id) sorted.push_back(id);
  std::sort(sorted.begin(), sorted.end(), [&](std::uint32_t a, std::uint32_t b) {
    return compareNames(names[a], names[b]) < 0;
  });
  for (std::size_t i = 1; i < sorted.size(); ++i)
    if (compareNames(names[sorted[i - 1]], names[sorted[i]]) == 0) return false;

  // Space each part needs, in sectors (mini sectors for small streams).
  std::vector<std::uint64_t> start(n + 1, kEndOfChain);
  std::uint64_t miniSectors = 0, bigSectors = 0;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint64_t size = streams[i].bytes.size();
    if (size == 0) continue;
    if (size < kMiniStreamCutoff) {
      start[i + 1] = miniSectors;
      miniSectors += ceilDiv(size, kMiniSectorSize);
    } else {
      bigSectors += ceilDiv(size, kWriteSectorSize);
    }
  }
  const std::uint64_t dirSectors = ceilDiv(n + 1, kEntriesPerSector);
  const std::uint64_t miniFatSectors = ceilDiv(miniSectors, kIdsPerSector);
  const std::uint64_t miniStreamBytes = miniSectors * kMiniSectorSize;
  const std::uint64_t miniStreamSectors = ceilDiv(miniStreamBytes, kWriteSectorSize);
  const std::uint64_t dataSectors = dirSectors + miniFatSectors + miniStreamSectors + bigSectors;

  // The FAT must also map its own sectors and the DIFAT sectors; grow both until stable.
  std::uint64_t fatSectors = 0, difatSectors = 0;
  for (;;) {
    std::uint64_t total = dataSectors + fatSectors + difatSectors;
    std::uint64_t f = ceilDiv(total, kIdsPerSector);
    std::uint64_t d = f > kHeaderDifatEntries ? ceilDiv(f - kHeaderDifatEntries, kIdsPerSector - 1) : 0;
    if (f == fatSectors && d == difatSectors) break;
    fatSectors = f;
    difatSectors = d;
  }
  const std::uint64_t totalSectors = dataSectors + fatSectors + difatSectors;
  if (totalSectors >= kMaxRegularSector) return false;
  const std::uint64_t fileSize = (totalSectors + 1) * kWriteSectorSize;
  if (fileSize > out.max_size()) return false;

  // Sector layout: FAT, DIFAT, directory, mini FAT, mini stream, then the large streams.
  const std::uint64_t difatStart = fatSectors;
  const std::uint64_t dirStart = difatStart + difatSectors;
  const std::uint64_t miniFatStart = dirStart + dirSectors;
  const std::uint64_t miniStreamStart = miniFatStart + miniFatSectors;
  std::uint64_t next = miniStreamStart + miniStreamSectors;
  for (std::size_t i = 0; i < n; ++i) {
    if (streams[i].bytes.size() >= kMiniStreamCutoff) {
      start[i + 1] = next;
      next += ceilDiv(streams[i].bytes.size(), kWriteSectorSize);
    }
  }

  out.assign(static_cast<std::size_t>(fileSize), '\0');
  auto* base = reinterpret_cast<std::uint8_t*>(out.data());
  auto sectorPtr = [&](std::uint64_t s) { return base + (s + 1) * kWriteSectorSize; };

  std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatSectors * kIdsPerSector), kFreeSector);
  auto chain = [&](std::uint64_t first, std::uint64_t count) {
    for (std::uint64_t s = first; s < first + count; ++s)
      fat[s] = static_cast<std::uint32_t>(s + 1 == first + count ? kEndOfChain : s + 1);
  };
  for (std::uint64_t s = 0; s < fatSectors; ++s) fat[s] = kFatSector;
  for (std::uint64_t s = difatStart; s < dirStart; ++s) fat[s] = kDifatSector;
  chain(dirStart, dirSectors);
  chain(miniFatStart, miniFatSectors);
  chain(miniStreamStart, miniStreamSectors);

  std::vector<std::uint32_t> miniFat(static_cast<std::size_t>(miniFatSectors * kIdsPerSector), kFreeSector);
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& bytes = streams[i].bytes;
    if (bytes.empty()) continue;
    const std::uint64_t first = start[i + 1];
    if (bytes.size() < kMiniStreamCutoff) {
      std::uint64_t count = ceilDiv(bytes.size(), kMiniSectorSize);
      for (std::uint64_t m = first; m < first + count; ++m)
        miniFat[m] = static_cast<std::uint32_t>(m + 1 == first + count ? kEndOfChain : m + 1);
      std::memcpy(sectorPtr(miniStreamStart) + first * kMiniSectorSize, bytes.data(), bytes.size());
    } else {
      chain(first, ceilDiv(bytes.size(), kWriteSectorSize));
      std::memcpy(sectorPtr(first), bytes.data(), bytes.size());
    }
  }

  // Header.
  std::memcpy(base, kSignature, 8);
  put16(base + 24, 0x003E);
  put16(base + 26, 3);
  put16(base + 28, 0xFFFE);
  put16(base + 30, 9);
  put16(base + 32, 6);
  put32(base + 44, static_cast<std::uint32_t>(fatSectors));
  put32(base + 48, static_cast<std::uint32_t>(dirStart));
  put32(base + 56, kMiniStreamCutoff);
  put32(base + 60, miniFatSectors ? static_cast<std::uint32_t>(miniFatStart) : kEndOfChain);
  put32(base + 64, static_cast<std::uint32_t>(miniFatSectors));
  put32(base + 68, difatSectors ? static_cast<std::uint32_t>(difatStart) : kEndOfChain);
  put32(base + 72, static_cast<std::uint32_t>(difatSectors));
  for (std::size_t i = 0; i < kHeaderDifatEntries; ++i)
    put32(base + 76 + 4 * i, i < fatSectors ? static_cast<std::uint32_t>(i) : kFreeSector);

  // DIFAT sectors: 127 FAT sector numbers each, then the next DIFAT sector.
  for (std::uint64_t d = 0; d < difatSectors; ++d) {
    std::uint8_t* p = sectorPtr(difatStart + d);
    for (std::uint32_t i = 0; i < kIdsPerSector - 1; ++i) {
      std::uint64_t f = kHeaderDifatEntries + d * (kIdsPerSector - 1) + i;
      put32(p + 4 * i, f < fatSectors ? static_cast<std::uint32_t>(f) : kFreeSector);
    }
    put32(p + 4 * (kIdsPerSector - 1),
          d + 1 < difatSectors ? static_cast<std::uint32_t>(difatStart + d + 1) : kEndOfChain);
  }

  // Both tables fill whole sectors, one sector after another.
  const auto putTable = [&](const std::vector<std::uint32_t>& table, std::uint64_t firstSector) {
    for (std::size_t at = 0; at < table.size(); at += kIdsPerSector) {
      std::uint8_t* p = sectorPtr(firstSector + at / kIdsPerSector);
      for (std::size_t i = 0; i < kIdsPerSector; ++i) put32(p + 4 * i, table[at + i]);
    }
  };
  putTable(fat, 0);
  putTable(miniFat, miniFatStart);

  // Directory: root, the streams in the given order, then unused entries.
  std::vector<TreeNode> nodes(n + 1);
  int height = 0;
  while ((std::uint64_t{2} << height) - 1 < n) ++height;  // levels 0..height
  const bool lastLevelFull = n == (std::uint64_t{2} << height) - 1;
  const std::uint32_t treeRoot = linkTree(sorted, 0, n, 0, lastLevelFull ? -1 : height, nodes);
  auto entryPtr = [&](std::uint64_t id) {
    return sectorPtr(dirStart + id / kEntriesPerSector) + (id % kEntriesPerSector) * kDirEntrySize;
  };
  writeEntry(entryPtr(0), names[0], kEntryRoot, 1, kNoStream, kNoStream, treeRoot, &rootClassId,
             miniStreamSectors ? static_cast<std::uint32_t>(miniStreamStart) : kEndOfChain,
             miniStreamBytes);
  for (std::size_t id = 1; id <= n; ++id)
    writeEntry(entryPtr(id), names[id], kEntryStream, nodes[id].color, nodes[id].left,
               nodes[id].right, kNoStream, nullptr, static_cast<std::uint32_t>(start[id]),
               streams[id - 1].bytes.size());
  for (std::uint64_t id = n + 1; id < dirSectors * kEntriesPerSector; ++id) {
    std::uint8_t* p = entryPtr(id);
    put32(p + 68, kNoStream);
    put32(p + 72, kNoStream);
    put32(p + 76, kNoStream);
  }
  return true;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool writeCompoundFile(std::string& out, const ClassId& rootClassId,
                       const std::vector<CompoundStream>& streams) {
  out.clear();
  try {
    if (writeCompoundFileImpl(out, rootClassId, streams)) return true;
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  out.clear();
  out.shrink_to_fit();
  return false;
}

bool parseClassId(std::string_view text, ClassId& id) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') text = text.substr(1, 36);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    return false;
  std::uint8_t raw[16];
  std::size_t k = 0;
  for (std::size_t i = 0; i < 36; i += 2) {
    if (i == 8 || i == 13 || i == 18 || i == 23) ++i;
    int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    raw[k++] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  if (k != 16) return false;
  // The first three groups are stored little-endian, the last two as written.
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) id[i] = raw[order[i]];
  return true;
}

std::string formatClassId(const ClassId& id) {
  static const char* digits = "0123456789ABCDEF";
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string s = "{";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s += '-';
    s += digits[id[order[i]] >> 4];
    s += digits[id[order[i]] & 15];
  }
  return s + "}";
}
