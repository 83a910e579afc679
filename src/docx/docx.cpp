// The .docx stage. Parts are changed by splicing their text: the XML streams through once
// with byte offsets, the equation objects and the paragraphs around them are noted, and
// only the spans that change are rewritten, so everything else in a part stays byte for
// byte. Memory holds the open paragraph or run around an equation, never a whole part.
#include "docx/docx.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <unordered_map>

#include "conversion/embedding_conversion.h"
#include "docx/package.h"
#include "docx/xml_scan.h"
#include "docx/zip_writer.h"
#include "writers/office_math_xml.h"

namespace docx {
namespace {

constexpr std::string_view kWordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
constexpr std::string_view kMathNs = "http://schemas.openxmlformats.org/officeDocument/2006/math";
constexpr std::string_view kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr std::string_view kOfficeNs = "urn:schemas-microsoft-com:office:office";
constexpr std::string_view kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr std::string_view kContentTypesNs = "http://schemas.openxmlformats.org/package/2006/content-types";

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// ---- Relationships and content types ---------------------------------------------------

enum class RelationshipKind : std::uint8_t { Other, Story, OfficeDocument };

bool isStoryType(std::string_view type);

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// One <Relationship>, compactly: a package of many objects has hundreds of thousands of
// them. An id of the usual form, a prefix and a number ("rId7", "rIdOle12"), is kept as
// the number and the prefix's place in a short list; any other id, and the target of a
// relationship that names no package entry, is kept in its part's text store.
struct Relationship {
  std::uint32_t id = 0;     // prefix << 24 | number, or with kTextId the id's place in the store
  // The package entry the target names; when there is none (an external target, or a
  // part that is missing), the place in the store of the target as a zip name, or as
  // written if external.
  std::uint32_t target = kNone;
  RelationshipKind kind = RelationshipKind::Other;
  bool external = false;
  bool hasEntry = false;
  bool removed = false;     // its element goes from the part

  static constexpr std::uint32_t kTextId = 0x80000000u;
};

// A growing array kept in blocks, so that growing never copies it (and never holds it
// twice): the relationships of a package of many objects fill megabytes.
template <typename T>
class BlockArray {
 public:
  std::size_t size() const { return size_; }
  T& operator[](std::size_t i) { return blocks_[i / kBlock][i % kBlock]; }
  const T& operator[](std::size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
  void push_back(const T& value) {
    if (size_ % kBlock == 0) blocks_.push_back(std::make_unique<T[]>(kBlock));
    blocks_[size_ / kBlock][size_ % kBlock] = value;
    ++size_;
  }

 private:
  static constexpr std::size_t kBlock = 4096;
  std::vector<std::unique_ptr<T[]>> blocks_;
  std::size_t size_ = 0;
};

struct RelationshipPart {
  std::uint32_t entry = kNone;   // the .rels part
  BlockArray<Relationship> rels;  // in the part's order
  std::vector<std::uint32_t> byId;  // positions in rels, ordered by id (then position)
  std::string text;              // ids and targets not kept inline, each after its length
  std::vector<std::string> prefixes;  // of the ids kept inline, at most 127
  bool anyRemoved = false;

  std::string_view stored(std::uint32_t at) const {
    std::uint32_t n = 0;
    std::memcpy(&n, text.data() + at, sizeof n);
    return std::string_view(text).substr(at + sizeof n, n);
  }
  std::uint32_t store(std::string_view s) {
    const std::uint32_t at = static_cast<std::uint32_t>(text.size()), n = static_cast<std::uint32_t>(s.size());
    text.append(reinterpret_cast<const char*>(&n), sizeof n);
    text.append(s);
    return at;
  }
  // The id's inline form when it has one: a number below 2^24 without a leading zero after
  // a known prefix; learnId also takes a new prefix while there is room.
  bool inlineId(std::string_view id, std::uint32_t& code) const {
    std::string_view prefix;
    std::uint32_t n = 0;
    if (!split(id, prefix, n)) return false;
    const auto p = std::find(prefixes.begin(), prefixes.end(), prefix);
    if (p == prefixes.end()) return false;
    code = static_cast<std::uint32_t>(p - prefixes.begin()) << 24 | n;
    return true;
  }
  bool learnId(std::string_view id, std::uint32_t& code) {
    std::string_view prefix;
    std::uint32_t n = 0;
    if (inlineId(id, code)) return true;
    if (!split(id, prefix, n) || prefixes.size() >= 127) return false;
    prefixes.emplace_back(prefix);
    code = static_cast<std::uint32_t>(prefixes.size() - 1) << 24 | n;
    return true;
  }
  static bool split(std::string_view id, std::string_view& prefix, std::uint32_t& n) {
    std::size_t digits = id.size();
    while (digits > 0 && id[digits - 1] >= '0' && id[digits - 1] <= '9') --digits;
    const std::string_view number = id.substr(digits);
    if (number.empty() || number.size() > 7 || number[0] == '0') return false;
    n = 0;
    for (char c : number) n = n * 10 + static_cast<std::uint32_t>(c - '0');
    prefix = id.substr(0, digits);
    return n < (1u << 24);
  }
  // Orders ids: inline ones first, by their codes, then the others as text.
  struct Key {
    bool inlined;
    std::uint32_t code;
    std::string_view text;
  };
  int compare(const Relationship& r, const Key& k) const {
    const bool inlined = !(r.id & Relationship::kTextId);
    if (inlined != k.inlined) return inlined ? -1 : 1;
    if (inlined) return r.id < k.code ? -1 : r.id > k.code ? 1 : 0;
    return stored(r.id & ~Relationship::kTextId).compare(k.text);
  }
  void index() {
    byId.resize(rels.size());
    for (std::size_t i = 0; i < rels.size(); ++i) byId[i] = static_cast<std::uint32_t>(i);
    std::stable_sort(byId.begin(), byId.end(), [&](std::uint32_t a, std::uint32_t b) {
      const Relationship &x = rels[a], &y = rels[b];
      const bool xi = !(x.id & Relationship::kTextId), yi = !(y.id & Relationship::kTextId);
      if (xi != yi) return xi;
      if (xi) return x.id < y.id;
      return stored(x.id & ~Relationship::kTextId) < stored(y.id & ~Relationship::kTextId);
    });
  }
  // The position of the first relationship of an id, or kNone.
  std::uint32_t find(std::string_view id) const {
    Key key{false, 0, id};
    key.inlined = inlineId(id, key.code);
    auto it = std::lower_bound(byId.begin(), byId.end(), key,
                               [&](std::uint32_t at, const Key& k) { return compare(rels[at], k) < 0; });
    return it != byId.end() && compare(rels[*it], key) == 0 ? *it : kNone;
  }
};

// The folder of a zip name, with its trailing '/'.
std::string folderOf(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(name.substr(0, slash + 1));
}

// A relationship target as a zip name: relative to the source part's folder, '.' and
// '..' resolved.
std::string resolveTarget(std::string_view sourceFolder, std::string_view target) {
  std::string path;
  if (!target.empty() && target.front() == '/') {
    path.assign(target.substr(1));
  } else {
    path.reserve(sourceFolder.size() + target.size());
    path.append(sourceFolder).append(target);
  }
  // The segments are joined as they come; ".." takes the last one back (none holds a '/').
  std::string out;
  out.reserve(path.size());
  std::size_t at = 0;
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    if (slash == std::string::npos) slash = path.size();
    const std::string_view seg(path.data() + at, slash - at);
    if (seg == "..") {
      const std::size_t cut = out.rfind('/');
      out.resize(cut == std::string::npos ? 0 : cut);
    } else if (!seg.empty() && seg != ".") {
      if (!out.empty()) out += '/';
      out.append(seg);
    }
    at = slash + 1;
  }
  return out;
}

// A part name or relationship target as the zip names the part: a target is a URI, whose
// %XX escapes (a space, a byte of a non-ASCII letter's UTF-8) stand for the bytes of the
// name. An escape that is not two hex digits stays as it is.
std::string unescapedName(std::string_view name) {
  if (name.find('%') == std::string_view::npos) return std::string(name);
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size() && hex(name[i + 1]) >= 0 && hex(name[i + 2]) >= 0) {
      out += static_cast<char>(hex(name[i + 1]) * 16 + hex(name[i + 2]));
      i += 2;
    } else {
      out += name[i];
    }
  }
  return out;
}

// The part a .rels part belongs to: "word/_rels/document.xml.rels" -> "word/document.xml".
bool relsSource(std::string_view relsName, std::string& source) {
  if (!endsWith(lowerAscii(relsName), ".rels")) return false;
  const std::string folder = folderOf(relsName);
  if (!endsWith(lowerAscii(folder), "_rels/")) return false;
  const std::string file(relsName.substr(folder.size(), relsName.size() - folder.size() - 5));
  source = folder.substr(0, folder.size() - 6) + file;
  return true;
}

bool isRelationship(const XmlStart& s) { return s.depth == 1 && s.ns == kPackageRelNs && s.local == "Relationship"; }

// Reads a relationship part as it streams from the package.
bool parseRelationships(const PackageReader& package, const PackageEntry& entry, const std::string& source,
                        RelationshipPart& part, std::string& error) {
  XmlHandlers h;
  const std::string folder = folderOf(source);
  h.start = [&](const XmlStart& s) {
    if (!isRelationship(s)) return;
    Relationship r;
    std::string_view id, type, target;
    for (const XmlAttribute& a : s.attributes) {
      if (!a.ns.empty()) continue;
      if (a.local == "Id") id = a.value;
      if (a.local == "Type") type = a.value;
      if (a.local == "Target") target = a.value;
      if (a.local == "TargetMode") r.external = a.value == "External";
    }
    r.kind = isStoryType(type) ? RelationshipKind::Story
             : endsWith(type, "/officeDocument") ? RelationshipKind::OfficeDocument
                                                 : RelationshipKind::Other;
    if (!part.learnId(id, r.id)) r.id = part.store(id) | Relationship::kTextId;
    const std::string resolved = r.external ? std::string(target) : resolveTarget(folder, target);
    // The name the target stands for; a zip that holds the escapes themselves is found too.
    std::size_t at = r.external ? PackageReader::npos : package.indexOf(unescapedName(resolved));
    if (at == PackageReader::npos && !r.external && resolved.find('%') != std::string::npos)
      at = package.indexOf(resolved);
    r.hasEntry = at != PackageReader::npos;
    r.target = r.hasEntry ? static_cast<std::uint32_t>(at) : part.store(resolved);
    part.rels.push_back(r);
  };
  XmlStream xml(h);
  std::string xmlError;
  const bool read = package.readPieces(entry, [&](std::string_view piece) {
    return xml.feed(piece, false, xmlError) && part.text.size() < Relationship::kTextId;
  }, error);
  if (part.text.size() >= Relationship::kTextId) xmlError = "its ids and targets are too long";
  if (!xmlError.empty() || !read || !xml.feed({}, true, xmlError)) {
    error = "'" + entry.name + "': " + (xmlError.empty() ? error : xmlError);
    return false;
  }
  part.text.shrink_to_fit();
  part.index();
  return true;
}

// Writes a relationship part again without the elements of its removed relationships,
// as it streams from the package, into a deflater.
bool rewriteRelationships(const PackageReader& package, const PackageEntry& entry, const RelationshipPart& part,
                          Deflater& out, std::string& error) {
  std::string pending;      // input from `base` on; what lies before `next` is passed on
  std::size_t base = 0, next = 0;
  std::size_t safe = 0;     // input before this has been seen by the parser
  std::size_t ordinal = 0;
  bool skipping = false;
  bool failed = false;
  const auto passOn = [&](std::size_t upTo) {
    if (upTo <= next) return;
    if (!out.write(std::string_view(pending).substr(next - base, upTo - next))) failed = true;
    next = upTo;
  };
  XmlHandlers h;
  h.start = [&](const XmlStart& s) {
    safe = s.tagEnd;
    if (!isRelationship(s)) return;
    if (ordinal < part.rels.size() && part.rels[ordinal].removed) {
      passOn(s.begin);
      skipping = true;
    }
    ++ordinal;
  };
  h.end = [&](const XmlEnd& e) {
    safe = e.end;
    if (e.depth == 1 && skipping) {
      next = e.end;
      skipping = false;
    }
  };
  XmlStream xml(h);
  std::string xmlError;
  const bool read = package.readPieces(entry, [&](std::string_view piece) {
    pending.append(piece);
    if (!xml.feed(piece, false, xmlError)) return false;
    if (!skipping) passOn(safe);
    pending.erase(0, next - base);
    base = next;
    return !failed;
  }, error);
  if (read && xml.feed({}, true, xmlError) && !skipping) passOn(base + pending.size());
  if (!read || !xmlError.empty() || failed || skipping) {
    if (error.empty()) error = xmlError;
    error = "'" + entry.name + "' cannot be written again" + (error.empty() ? "" : ": " + error);
    return false;
  }
  return out.finish();
}

struct ContentTypes {
  std::string text;
  std::map<std::string, std::string> defaults;  // lower-cased extension -> type
  struct Override {
    std::string type;
    std::size_t begin = 0, end = 0;
  };
  std::map<std::string, Override> overrides;  // lower-cased zip name -> entry
  std::vector<std::pair<std::size_t, std::size_t>> removed;

  std::string typeOf(const std::string& zipName) const {
    auto o = overrides.find(lowerAscii(zipName));
    if (o != overrides.end()) return o->second.type;
    const std::size_t dot = zipName.rfind('.');
    if (dot == std::string::npos) return {};
    auto d = defaults.find(lowerAscii(zipName.substr(dot + 1)));
    return d == defaults.end() ? std::string() : d->second;
  }
};

bool parseContentTypes(ContentTypes& ct, std::string& error) {
  XmlHandlers h;
  std::string openName;
  h.start = [&](const XmlStart& s) {
    if (s.depth != 1 || s.ns != kContentTypesNs) return;
    std::string name, ext, type;
    for (const XmlAttribute& a : s.attributes) {
      if (a.local == "PartName") name = a.value;
      if (a.local == "Extension") ext = a.value;
      if (a.local == "ContentType") type = a.value;
    }
    if (s.local == "Default") ct.defaults[lowerAscii(ext)] = type;
    if (s.local == "Override") {
      openName = lowerAscii(unescapedName(resolveTarget("", name)));
      ct.overrides[openName] = ContentTypes::Override{type, s.begin, 0};
    }
  };
  h.end = [&](const XmlEnd& e) {
    if (e.depth == 1 && !openName.empty()) {
      ct.overrides[openName].end = e.end;
      openName.clear();
    }
  };
  if (!scanXml(ct.text, h, error)) {
    error = "'[Content_Types].xml': " + error;
    return false;
  }
  return true;
}

// Removes the given spans from a text.
std::string withoutSpans(const std::string& text, std::vector<std::pair<std::size_t, std::size_t>> spans) {
  std::sort(spans.begin(), spans.end());
  std::string out;
  std::size_t at = 0;
  for (const auto& [b, e] : spans) {
    if (b < at) continue;
    out.append(text, at, b - at);
    at = e;
  }
  out.append(text, at, std::string::npos);
  return out;
}

// The ProgID attribute's value span inside a start tag, or npos.
std::pair<std::size_t, std::size_t> attributeValueSpan(std::string_view tag, std::string_view name) {
  std::size_t at = 0;
  while ((at = tag.find(name, at)) != std::string_view::npos) {
    const bool bounded = at > 0 && (tag[at - 1] == ' ' || tag[at - 1] == '\t' ||
                                    tag[at - 1] == '\n' || tag[at - 1] == '\r');
    std::size_t p = at + name.size();
    while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\n' || tag[p] == '\r')) ++p;
    if (bounded && p < tag.size() && tag[p] == '=') {
      ++p;
      while (p < tag.size() && (tag[p] == ' ' || tag[p] == '\t' || tag[p] == '\n' || tag[p] == '\r')) ++p;
      if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) {
        const std::size_t close = tag.find(tag[p], p + 1);
        if (close != std::string_view::npos) return {p + 1, close};
      }
    }
    at += name.size();
  }
  return {std::string_view::npos, std::string_view::npos};
}

// Where a new attribute goes in a start tag: before its '>' or '/>'.
std::size_t attributeInsertion(std::string_view tag) {
  std::size_t at = tag.size();
  if (at > 0 && tag[at - 1] == '>') --at;
  if (at > 0 && tag[at - 1] == '/') --at;
  return at;
}

bool isStoryType(std::string_view type) {
  for (std::string_view t : {"/header", "/footer", "/footnotes", "/endnotes", "/comments"})
    if (endsWith(type, t)) return true;
  return false;
}

bool isWordMainType(std::string_view type) {
  for (std::string_view t :
       {"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
        "application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
        "application/vnd.ms-word.document.macroEnabled.main+xml",
        "application/vnd.ms-word.template.macroEnabledTemplate.main+xml"})
    if (type == t) return true;
  return false;
}

// ---- Spooled parts ----------------------------------------------------------------------

// Deflated parts waiting for the new package: in a temporary file, so that a changed part
// never has to be held in memory (in memory only when no temporary file can be made).
class Spool {
 public:
  Spool() = default;
  ~Spool() {
    if (file_) std::fclose(file_);
  }
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  std::uint64_t size() const { return size_; }
  bool append(std::string_view bytes) {
    if (!opened_) {
      // Made on the first change only: most packages never need one.
      opened_ = true;
      file_ = std::tmpfile();
    }
    if (file_) {
      if (!appending_ && std::fseek(file_, 0, SEEK_END) != 0) return false;
      appending_ = true;
      if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return false;
    } else {
      memory_.append(bytes);
    }
    size_ += bytes.size();
    return true;
  }
  // Forgets what was appended after `size` (a part given up half way).
  void truncate(std::uint64_t size) {
    size_ = size;
    if (file_) {
      appending_ = false;
      std::fflush(file_);
      if (::ftruncate(::fileno(file_), static_cast<off_t>(size)) != 0) {
        // The space stays used; what lies beyond size_ is never read.
      }
    } else {
      memory_.resize(static_cast<std::size_t>(size));
    }
  }
  // Reads n bytes at offset into `out`.
  bool read(std::uint64_t offset, std::size_t n, char* out) {
    if (offset + n > size_) return false;
    if (!file_) {
      std::memcpy(out, memory_.data() + offset, n);
      return true;
    }
    return seek(offset) && std::fread(out, 1, n, file_) == n;
  }
  bool copy(std::uint64_t offset, std::uint64_t length, const Sink& sink) {
    if (!file_) return sink(std::string_view(memory_).substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
    if (!seek(offset)) return false;
    char piece[1 << 16];
    while (length > 0) {
      const std::size_t want = length < sizeof piece ? static_cast<std::size_t>(length) : sizeof piece;
      const std::size_t got = std::fread(piece, 1, want, file_);
      if (got != want || !sink(std::string_view(piece, got))) return false;
      length -= got;
    }
    return true;
  }

 private:
  std::FILE* file_ = nullptr;
  bool opened_ = false;
  // Appended to since the last read: the position is the end, and writes may be buffered.
  bool appending_ = false;

  // Positions the file for reading at `offset`: a read close to the last one is then
  // served from what stdio has buffered.
  bool seek(std::uint64_t offset) {
    if (appending_ && std::fflush(file_) != 0) return false;
    appending_ = false;
    return ::fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
  }
  std::string memory_;
  std::uint64_t size_ = 0;
};

struct SpooledPart {
  std::uint64_t offset = 0, compressedSize = 0, size = 0;
  std::uint32_t crc = 0;
  bool inEmbeddings = false;  // which spool holds it
};

// A new Equation 3.0 file in the embedding spool: this head (an embedding is read whole,
// so its sizes fit 32 bits), then its compressed data. The figures are kept with the data,
// not in memory: a package may hold 100,000 of them. The spool never leaves the process,
// so the head is stored as it is in memory.
struct FrameHead {
  std::uint32_t crc = 0, size = 0, compressedSize = 0;
};

// Compresses the re-issued Equation 3.0 files into a spool, each as its own zip entry. The
// files are gathered into batches and each batch is compressed on a second thread while
// the caller reads the next equations (where no thread can be started, at once). Only the
// packer touches the spool until finish(); each file's figures are final after it.
class EmbeddingPacker {
 public:
  explicit EmbeddingPacker(Spool& spool) : spool_(spool) { worker_ = platform::startWorker(); }
  ~EmbeddingPacker() {
    if (worker_) platform::endWorker(worker_);
  }
  EmbeddingPacker(const EmbeddingPacker&) = delete;
  EmbeddingPacker& operator=(const EmbeddingPacker&) = delete;

  // Queues a file; where its frame starts in the spool goes to `offset` (an address that
  // stays put).
  bool add(std::string_view bytes, std::uint64_t* offset) {
    if (bytes.size() > 0xFFFFFFFFu) return false;
    filling_.items.push_back(Item{filling_.bytes.size(), bytes.size(), offset});
    filling_.bytes.append(bytes);
    return filling_.bytes.size() < kBatch || handOver();
  }
  // Waits for every file; false when one could not be compressed or kept.
  bool finish() {
    if (!filling_.items.empty() && !handOver()) return false;
    if (worker_) platform::waitWorker(worker_);
    return !failed_;
  }

 private:
  struct Item {
    std::size_t at, size;
    std::uint64_t* offset;
  };
  struct Batch {
    std::string bytes;
    std::vector<Item> items;
  };
  static constexpr std::size_t kBatch = 64 * 1024;

  bool handOver() {
    if (worker_) platform::waitWorker(worker_);
    if (failed_) return false;
    std::swap(inFlight_, filling_);
    filling_.bytes.clear();
    filling_.items.clear();
    if (!worker_) return pack(), !failed_;
    platform::runOnWorker(worker_, [this] { pack(); });
    return true;
  }
  void pack() {
    for (const Item& item : inFlight_.items) {
      std::uint32_t crc = 0;
      if (!deflater_.compress(std::string_view(inFlight_.bytes).substr(item.at, item.size), packed_, crc) ||
          packed_.size() > 0xFFFFFFFFu) {
        failed_ = true;
        return;
      }
      const FrameHead head{crc, static_cast<std::uint32_t>(item.size), static_cast<std::uint32_t>(packed_.size())};
      *item.offset = spool_.size();
      if (!spool_.append(std::string_view(reinterpret_cast<const char*>(&head), sizeof head)) ||
          !spool_.append(packed_)) {
        failed_ = true;
        return;
      }
    }
  }

  Spool& spool_;
  WholeDeflater deflater_;
  std::string packed_;  // the file being compressed
  platform::Worker* worker_ = nullptr;
  Batch filling_, inFlight_;
  bool failed_ = false;  // set by pack(), read after waiting for it
};

// ---- Story parts ------------------------------------------------------------------------

struct Edit {
  std::size_t begin = 0, end = 0;  // the span replaced (begin == end: an insertion)
  std::string text;
  bool removes = false;            // the span's content goes (its references with it)
};

// What becomes of one equation object.
struct ObjectDecision {
  enum class Kind { Skip, Keep, Equation3, OfficeMath } kind = Kind::Skip;
  std::string className, reason;  // Keep
  std::string xml;                // OfficeMath: the inline oMath
  std::uint32_t embedding = kNone;  // Equation3: the replaced embedding's entry
  conversion::EquationInfo info;  // what the conversion learnt of the equation
};

struct ObjectSite {
  std::size_t begin = 0, end = 0;        // the w:object / w:pict element
  std::size_t oleBegin = 0, oleEnd = 0;  // the o:OLEObject start tag
  bool hasOle = false;
  bool embedded = true;
  std::string progId, relId, objectId;
  std::string note;  // the id of the footnote, endnote or comment it stands in
};

struct PendingMath {
  std::size_t begin = 0, end = 0;  // the object's span
  std::string xml;
};

struct RunSite {
  std::size_t begin = 0;
  std::size_t propsBegin = 0, propsEnd = 0;  // w:rPr, when present
  std::string prefix;
  bool direct = false;  // stands directly in the innermost paragraph
  int objects = 0;
  bool tab = false, text = false, other = false;
  bool hidden = false;            // its properties hide it (w:vanish)
  std::vector<PendingMath> math;  // converted objects, placed when the run ends
  int record = -1;                // the record of its last equation object
};

// A paragraph, while it may still be a display equation: nothing but the equation's run,
// tab runs before it, and after it tabs and at most one run of text (the number).
struct ParagraphSite {
  std::size_t begin = 0;
  bool display = true;  // false once anything rules out a display equation
  std::vector<std::pair<std::size_t, std::size_t>> leadingTabs;
  bool seen = false;    // the equation's run has ended
  std::size_t runBegin = 0, runEnd = 0;
  bool math = false;    // the run's equation was converted
  std::string xml;      // the equation, while its form is open
  int record = -1;
  int textsAfter = 0;
};

enum class Frame : std::uint8_t { Paragraph, Run, RunProperties, Object, Other };

// The story an object stands in, named by its part ("header1", "footer2"), or for notes
// and comments by the kind and the id ("footnote 3", "comment 1"); the document is "body".
std::string storyName(const std::string& part, const std::string& note) {
  std::string stem = part.substr(part.rfind('/') + 1);
  stem = stem.substr(0, stem.rfind('.'));
  const std::string lower = lowerAscii(stem);
  if (lower == "document") return "body";
  for (std::string_view notes : {"footnotes", "endnotes", "comments"})
    if (lower == notes) return std::string(notes.substr(0, notes.size() - 1)) + (note.empty() ? "" : " " + note);
  return stem;
}

class Conversion;

// Rewrites one story part as it streams by. The input is kept from the first byte a
// pending change may still touch (an open run, a paragraph that may turn out a display
// equation); everything before is passed on, changed or not. Nothing is written before
// the first change: until then the part is only read, and an unchanged part is copied as
// it was. When the first change comes, the part's beginning is read again and written.
class StoryRewriter {
 public:
  StoryRewriter(Conversion& conversion, const PackageEntry& entry, const RelationshipPart* own,
                const RelationshipPart* main)
      : conv_(conversion), entry_(entry), own_(own), main_(main) {
    if (own_) ownUse.resize(own_->rels.size());
    if (main_ && main_ != own_) mainUse.resize(main_->rels.size());
    handlers_.start = [this](const XmlStart& s) { onStart(s); };
    handlers_.end = [this](const XmlEnd& e) { onEnd(e); };
    handlers_.namespaceStart = [this](std::string_view prefix, std::string_view uri) {
      if (!rootSeen_) rootNamespaces_[std::string(prefix)] = std::string(uri);
    };
  }

  // Streams the part through; false with `error` when it is not well-formed XML (or the
  // package could not be read: then `readFailure` is set too).
  bool run(std::string& error, bool& readFailure);
  // Ends the new part's compression, waiting for a block still being compressed: nothing
  // more reaches the spool after this.
  void stopWriting() { deflater_.reset(); }

  bool changed() const { return started_; }
  bool officeMathWritten() const { return officeMath_; }
  // How the story uses the relationships of its own part and, for ids its part lacks,
  // those of the main part: kInside and kOutside the removed spans.
  static constexpr std::uint8_t kInside = 1, kOutside = 2;
  std::vector<std::uint8_t> ownUse, mainUse;
  int converted = 0;
  std::vector<UnconvertedObject> unconverted;
  std::vector<std::uint32_t> replacedEmbeddings;  // entries
  std::vector<conversion::EquationRecord> records;  // when the settings keep them
  SpooledPart output;

 private:
  void onStart(const XmlStart& s);
  void onEnd(const XmlEnd& e);
  void objectEnded(const ObjectSite& o, RunSite& run);
  void runEnded(RunSite& run, std::size_t end);
  void paragraphEnded(ParagraphSite& p, std::size_t end);
  void ruleOutDisplay(ParagraphSite& p);
  void noteReference(std::string_view id, bool removed);
  ParagraphSite* innermostParagraph();
  std::string mathText(const std::string& xml, bool display) const;
  void addEdit(Edit e);
  std::size_t holdFrom() const;
  void flush(std::size_t upTo);
  bool start();
  bool emit(std::string_view bytes);

  Conversion& conv_;
  const PackageEntry& entry_;
  const RelationshipPart* own_;
  const RelationshipPart* main_;
  XmlHandlers handlers_;
  std::string buffer_;        // input from bufferBase_ on
  std::size_t bufferBase_ = 0;
  std::size_t flushed_ = 0;   // input before this is passed on
  std::size_t position_ = 0;  // just past the last element event
  std::vector<Edit> edits_;   // pending, by position
  std::vector<std::pair<std::string, std::size_t>> references_;  // pending r:* values
  std::vector<std::pair<Frame, std::size_t>> frames_;           // kind, index in its stack
  std::vector<ParagraphSite> paragraphs_;
  std::vector<RunSite> runs_;
  std::vector<ObjectSite> objects_;
  std::map<std::string, std::string> rootNamespaces_;
  std::string note_;          // the w:id of the note or comment being read
  bool rootSeen_ = false;
  std::size_t rootTagEnd_ = 0;
  bool utf8_ = true, firstPiece_ = true;
  bool namespacesUsable_ = true, mathBound_ = false, wordBound_ = false;
  bool started_ = false, officeMath_ = false, failed_ = false;
  std::string writeError_;
  std::unique_ptr<Deflater> deflater_;
  std::uint64_t spoolStart_ = 0;
};

class Conversion {
 public:
  Conversion(const PackageReader& package, const conversion::EquationSettings& settings, DocxResult& result)
      : package_(package), settings_(settings), result_(result), fate_(package.count(), Fate::Kept) {}

  bool run();
  bool write(const Sink& sink, std::string& error);
  bool changed() const { return changed_; }

  // For the story rewriter.
  ObjectDecision decide(const PackageEntry& story, const RelationshipPart* own, const ObjectSite& o, bool utf8,
                        bool namespacesUsable);
  const PackageReader& package() const { return package_; }
  Spool& storySpool() { return storySpool_; }
  const conversion::EquationSettings& settings() const { return settings_; }
  std::string rootDeclarations(bool mathBound, bool wordBound) const;

 private:
  // Spooled: in spooled_; Reissued: an embedding whose new file is in the embedding spool.
  enum class Fate : std::uint8_t { Kept, Removed, Spooled, Reissued };

  bool loadStructure();
  void convertStory(std::size_t entry);
  void removeOrphans();
  RelationshipPart* partOf(std::string_view source);
  std::string targetName(const RelationshipPart& part, const Relationship& r) const;
  void spool(std::uint32_t entry, const SpooledPart& part);

  const PackageReader& package_;
  conversion::EquationSettings settings_;
  DocxResult& result_;
  ContentTypes types_;
  std::vector<RelationshipPart> rels_;
  std::map<std::string, std::size_t> relsBySource_;  // lower-cased source part name -> rels_
  std::string mainPart_;
  RelationshipPart* mainRels_ = nullptr;
  std::vector<std::uint8_t> mainOutside_;  // main relationships its own story still uses
  Spool storySpool_, embeddingSpool_;
  conversion::EquationScratch scratch_;  // the equations' working memory, kept between them
  std::unique_ptr<EmbeddingPacker> packer_;  // made for the first re-issued Equation 3.0 file
  std::vector<Fate> fate_;                 // by entry
  std::vector<bool> dropped_;              // entries named by a removed relationship
  std::vector<std::pair<std::uint32_t, SpooledPart>> spooled_;  // entry -> new data (last wins)
  std::vector<std::uint32_t> equation3Slot_;  // entry -> equation3Frames_, made when needed
  BlockArray<std::uint64_t> equation3Frames_;  // where each new file's frame starts
  bool changed_ = false;
  std::string failure_;                    // a story part that cannot be read
};

// ---- The story rewriter -----------------------------------------------------------------

bool StoryRewriter::run(std::string& error, bool& readFailure) {
  readFailure = false;
  XmlStream xml(handlers_);
  std::string xmlError;
  bool xmlFailed = false;
  const bool read = conv_.package().readPieces(entry_, [&](std::string_view piece) {
    if (firstPiece_ && !piece.empty()) {
      firstPiece_ = false;
      utf8_ = piece.front() == '<' || piece.substr(0, 3) == "\xEF\xBB\xBF";
    }
    buffer_.append(piece);
    if (!xml.feed(piece, false, xmlError)) {
      xmlFailed = true;
      return false;
    }
    if (failed_) return false;
    if (buffer_.size() > (1u << 18)) flush(holdFrom());
    return !failed_;
  }, error);
  if (xmlFailed) {
    error = xmlError;
    return false;
  }
  if (failed_) {
    error = writeError_;
    readFailure = true;
    return false;
  }
  if (!read) {
    readFailure = true;
    return false;
  }
  if (!xml.feed({}, true, error)) return false;
  flush(bufferBase_ + buffer_.size());
  if (failed_) {
    error = writeError_;
    readFailure = true;
    return false;
  }
  if (started_) {
    if (!deflater_->finish()) {
      error = "the changed part '" + entry_.name + "' cannot be kept for the new package";
      readFailure = true;
      return false;
    }
    output = SpooledPart{spoolStart_, deflater_->compressedSize(), deflater_->size(), deflater_->crc(), false};
  }
  return true;
}

ParagraphSite* StoryRewriter::innermostParagraph() {
  for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
    if (it->first == Frame::Paragraph) return &paragraphs_[it->second];
  return nullptr;
}

void StoryRewriter::onStart(const XmlStart& s) {
  position_ = s.tagEnd;
  if (!rootSeen_) {
    rootSeen_ = true;
    rootTagEnd_ = s.tagEnd;
    const auto bound = [&](const char* prefix) {
      auto it = rootNamespaces_.find(prefix);
      return it == rootNamespaces_.end() ? std::string() : it->second;
    };
    const std::string m = bound("m"), w = bound("w");
    mathBound_ = !m.empty();
    wordBound_ = !w.empty();
    namespacesUsable_ = (m.empty() || m == kMathNs) && (w.empty() || w == kWordNs);
  }
  if (s.depth == 1 && s.ns == kWordNs)
    for (const XmlAttribute& a : s.attributes)
      if (a.ns == kWordNs && a.local == "id") note_ = a.value;
  for (const XmlAttribute& a : s.attributes)
    if (a.ns == kRelNs) references_.emplace_back(std::string(a.value), s.begin);
  const Frame parent = frames_.empty() ? Frame::Other : frames_.back().first;
  const std::size_t parentIndex = frames_.empty() ? 0 : frames_.back().second;
  // The object this element stands in; a paragraph in between (a text box inside a
  // picture) starts content of its own.
  ObjectSite* object = nullptr;
  for (auto it = frames_.rbegin(); it != frames_.rend() && it->first != Frame::Paragraph; ++it)
    if (it->first == Frame::Object) {
      object = &objects_[it->second];
      break;
    }
  const bool word = s.ns == kWordNs;
  if (object && !(word && s.local == "p")) {
    if (s.ns == kOfficeNs && s.local == "OLEObject" && !object->hasOle) {
      ObjectSite& o = *object;
      o.hasOle = true;
      o.oleBegin = s.begin;
      o.oleEnd = s.tagEnd;
      for (const XmlAttribute& a : s.attributes) {
        if (a.ns.empty() && a.local == "ProgID") o.progId = a.value;
        if (a.ns.empty() && a.local == "ObjectID") o.objectId = a.value;
        if (a.ns.empty() && a.local == "ShapeID" && o.objectId.empty()) o.objectId = a.value;
        if (a.ns.empty() && a.local == "Type") o.embedded = a.value != "Link";
        if (a.ns == kRelNs && a.local == "id") o.relId = a.value;
      }
    }
    frames_.emplace_back(Frame::Other, 0);
    return;
  }
  if (word && s.local == "p") {
    if (parent == Frame::Paragraph) ruleOutDisplay(paragraphs_[parentIndex]);
    ParagraphSite p;
    p.begin = s.begin;
    paragraphs_.push_back(std::move(p));
    frames_.emplace_back(Frame::Paragraph, paragraphs_.size() - 1);
    return;
  }
  if (word && s.local == "r") {
    RunSite r;
    r.begin = s.begin;
    r.prefix = s.prefix;
    r.direct = parent == Frame::Paragraph;
    // A run inside a hyperlink, a field or a revision: its paragraph is not simple.
    if (!r.direct)
      if (ParagraphSite* p = innermostParagraph()) ruleOutDisplay(*p);
    runs_.push_back(std::move(r));
    frames_.emplace_back(Frame::Run, runs_.size() - 1);
    return;
  }
  if (parent == Frame::Paragraph) {
    const bool ignorable = word && (s.local == "pPr" || s.local == "bookmarkStart" ||
                                    s.local == "bookmarkEnd" || s.local == "proofErr" ||
                                    s.local == "permStart" || s.local == "permEnd");
    if (!ignorable) ruleOutDisplay(paragraphs_[parentIndex]);
  }
  if (parent == Frame::RunProperties && word && s.local == "vanish") {
    // On unless its value says off.
    bool on = true;
    for (const XmlAttribute& a : s.attributes)
      if (a.ns == kWordNs && a.local == "val") on = !(a.value == "0" || a.value == "false" || a.value == "off");
    runs_[parentIndex].hidden = on;
  }
  if (parent == Frame::Run) {
    RunSite& r = runs_[parentIndex];
    if (word && s.local == "rPr") {
      r.propsBegin = s.begin;
      frames_.emplace_back(Frame::RunProperties, parentIndex);
      return;
    }
    if (word && (s.local == "object" || s.local == "pict")) {
      ObjectSite o;
      o.begin = s.begin;
      o.note = note_;
      objects_.push_back(std::move(o));
      frames_.emplace_back(Frame::Object, objects_.size() - 1);
      return;
    }
    if (word && s.local == "tab") {
      r.tab = true;
    } else if (word && s.local == "t") {
      r.text = true;
    } else if (!(word && s.local == "lastRenderedPageBreak")) {
      r.other = true;
    }
  }
  frames_.emplace_back(Frame::Other, 0);
}

void StoryRewriter::onEnd(const XmlEnd& e) {
  position_ = e.end;
  if (frames_.empty()) return;
  const auto [frame, index] = frames_.back();
  frames_.pop_back();
  switch (frame) {
    case Frame::Paragraph: {
      ParagraphSite p = std::move(paragraphs_.back());
      paragraphs_.pop_back();
      paragraphEnded(p, e.end);
      break;
    }
    case Frame::Run: {
      RunSite r = std::move(runs_.back());
      runs_.pop_back();
      runEnded(r, e.end);
      break;
    }
    case Frame::RunProperties: runs_[index].propsEnd = e.end; break;
    case Frame::Object: {
      ObjectSite o = std::move(objects_.back());
      objects_.pop_back();
      o.end = e.end;
      // The run the object stands in is the frame now on top.
      objectEnded(o, runs_[frames_.back().second]);
      break;
    }
    case Frame::Other: break;
  }
}

void StoryRewriter::objectEnded(const ObjectSite& o, RunSite& run) {
  // A picture that is not an OLE object (a VML drawing, a text box) is plain content.
  if (!o.hasOle) {
    run.other = true;
    return;
  }
  ++run.objects;
  ObjectDecision d = conv_.decide(entry_, own_, o, utf8_, namespacesUsable_);
  if (d.kind != ObjectDecision::Kind::Skip && conv_.settings().keepRecords) {
    conversion::EquationRecord r;
    r.story = storyName(entry_.name, o.note);
    r.position = "/" + entry_.name + (o.objectId.empty() ? "" : "#" + o.objectId);
    r.className = d.className;
    r.converted = d.kind != ObjectDecision::Kind::Keep;
    r.reason = d.kind == ObjectDecision::Kind::Keep ? d.reason : std::string();
    r.info = std::move(d.info);
    run.record = static_cast<int>(records.size());
    records.push_back(std::move(r));
  }
  switch (d.kind) {
    case ObjectDecision::Kind::Skip: break;
    case ObjectDecision::Kind::Keep:
      unconverted.push_back(UnconvertedObject{"/" + entry_.name, o.objectId, d.className, d.reason});
      break;
    case ObjectDecision::Kind::Equation3: {
      const std::string_view tag(buffer_.data() + (o.oleBegin - bufferBase_), o.oleEnd - o.oleBegin);
      const auto [vb, ve] = attributeValueSpan(tag, "ProgID");
      if (vb != std::string_view::npos) {
        addEdit(Edit{o.oleBegin + vb, o.oleBegin + ve, "Equation.3", false});
      } else {
        const std::size_t at = o.oleBegin + attributeInsertion(tag);
        addEdit(Edit{at, at, " ProgID=\"Equation.3\"", false});
      }
      replacedEmbeddings.push_back(d.embedding);
      ++converted;
      break;
    }
    case ObjectDecision::Kind::OfficeMath:
      // Hidden text stays hidden: every math run (and control character) of the equation
      // gets the run's w:vanish, after the properties written there, as the schema orders them.
      if (run.hidden) {
        std::string hidden;
        std::size_t from = 0;
        for (std::size_t at = d.xml.find("</w:rPr>"); at != std::string::npos; at = d.xml.find("</w:rPr>", at + 1)) {
          hidden.append(d.xml, from, at - from).append("<w:vanish/>");
          from = at;
        }
        hidden.append(d.xml, from, std::string::npos);
        d.xml.swap(hidden);
      }
      run.math.push_back(PendingMath{o.begin, o.end, std::move(d.xml)});
      officeMath_ = true;
      ++converted;
      break;
  }
}

std::string StoryRewriter::mathText(const std::string& xml, bool display) const {
  return display ? "<m:oMathPara>" + xml + "</m:oMathPara>" : xml;
}

void StoryRewriter::runEnded(RunSite& run, std::size_t end) {
  const bool wholeRun = run.objects == 1 && !run.other && !run.text && !run.tab;
  ParagraphSite* p = run.direct ? innermostParagraph() : nullptr;
  bool placed = false;
  if (p && p->display) {
    if (wholeRun && !p->seen) {
      // The equation of a paragraph that may be a display: its form waits for the end.
      p->seen = true;
      p->runBegin = run.begin;
      p->runEnd = end;
      p->record = run.record;
      p->math = !run.math.empty();
      if (p->math) p->xml = std::move(run.math.front().xml);
      placed = true;
    } else if (run.other || run.objects > 0) {
      ruleOutDisplay(*p);
    } else if (!p->seen) {
      if (run.text) ruleOutDisplay(*p);
      else if (run.tab) p->leadingTabs.emplace_back(run.begin, end);
    } else if (run.text && ++p->textsAfter > 1) {
      ruleOutDisplay(*p);
    }
  }
  if (!placed) {
    for (PendingMath& m : run.math) {
      if (wholeRun) {
        addEdit(Edit{run.begin, end, mathText(m.xml, false), true});
      } else {
        // The run also holds other content: it is closed before the equation and opened
        // again after it, with its properties.
        const std::string name = (run.prefix.empty() ? "" : run.prefix + ":") + "r";
        std::string reopen = "<" + name + ">";
        if (run.propsEnd > run.propsBegin)
          reopen.append(buffer_, run.propsBegin - bufferBase_, run.propsEnd - run.propsBegin);
        addEdit(Edit{m.begin, m.end, "</" + name + ">" + m.xml + reopen, true});
      }
    }
  }
  flush(holdFrom());
}

void StoryRewriter::noteReference(std::string_view id, bool removed) {
  const std::uint8_t use = removed ? kInside : kOutside;
  if (own_)
    if (const std::uint32_t at = own_->find(id); at != kNone) {
      ownUse[at] |= use;
      return;
    }
  if (main_ && main_ != own_)
    if (const std::uint32_t at = main_->find(id); at != kNone) mainUse[at] |= use;
}

void StoryRewriter::ruleOutDisplay(ParagraphSite& p) {
  if (!p.display) return;
  p.display = false;
  p.leadingTabs.clear();
  if (p.seen && p.math) addEdit(Edit{p.runBegin, p.runEnd, mathText(p.xml, false), true});
}

void StoryRewriter::paragraphEnded(ParagraphSite& p, std::size_t) {
  if (p.display && p.seen) {
    if (p.record >= 0) records[static_cast<std::size_t>(p.record)].display = true;
    if (p.math) {
      addEdit(Edit{p.runBegin, p.runEnd, mathText(p.xml, true), true});
      for (const auto& [b, e] : p.leadingTabs) addEdit(Edit{b, e, "", true});
    }
  }
  flush(holdFrom());
}

std::size_t StoryRewriter::holdFrom() const {
  for (const auto& [frame, index] : frames_) {
    if (frame == Frame::Run) return runs_[index].begin;
    if (frame == Frame::Paragraph && paragraphs_[index].display) return paragraphs_[index].begin;
  }
  return position_;
}

void StoryRewriter::addEdit(Edit e) {
  if (!started_ && !start()) return;
  auto at = std::upper_bound(edits_.begin(), edits_.end(), e, [](const Edit& a, const Edit& b) {
    return a.begin != b.begin ? a.begin < b.begin : a.end < b.end;
  });
  edits_.insert(at, std::move(e));
}

bool StoryRewriter::emit(std::string_view bytes) {
  if (failed_) return false;
  if (!deflater_->write(bytes)) {
    failed_ = true;
    writeError_ = "the changed part '" + entry_.name + "' cannot be kept for the new package";
  }
  return !failed_;
}

// The first change: the new part starts with the input read again up to where the
// rewriter stands, with the namespace declarations the equations need on the root.
bool StoryRewriter::start() {
  started_ = true;
  Spool& spool = conv_.storySpool();
  spoolStart_ = spool.size();
  deflater_ = std::make_unique<Deflater>([&spool](std::string_view piece) { return spool.append(piece); }, true);
  const std::string declarations = officeMath_ ? conv_.rootDeclarations(mathBound_, wordBound_) : std::string();
  // The root element holds the equations, so its start tag ends in '>' (not '/>').
  const std::size_t at = rootTagEnd_ > 0 ? rootTagEnd_ - 1 : 0;
  if (!declarations.empty() && at >= flushed_) edits_.insert(edits_.begin(), Edit{at, at, declarations, false});
  if (flushed_ == 0) return true;
  std::size_t copied = 0;
  std::string error;
  conv_.package().readPieces(entry_, [&](std::string_view piece) {
    piece = piece.substr(0, flushed_ - copied);
    if (!declarations.empty() && at < flushed_ && copied <= at && at < copied + piece.size()) {
      if (!emit(piece.substr(0, at - copied)) || !emit(declarations)) return false;
      piece.remove_prefix(at - copied);
      copied = at;
    }
    if (!emit(piece)) return false;
    copied += piece.size();
    return copied < flushed_;
  }, error);
  if (copied != flushed_ && !failed_) {
    failed_ = true;
    writeError_ = "the part '" + entry_.name + "' cannot be read again" + (error.empty() ? "" : ": " + error);
  }
  return !failed_;
}

void StoryRewriter::flush(std::size_t upTo) {
  if (upTo <= flushed_ || failed_) return;
  // An edit is passed on whole: the flush stops before one that reaches past upTo.
  for (const Edit& e : edits_)
    if (e.begin < upTo && e.end > upTo) upTo = e.begin;
  if (upTo <= flushed_) return;
  // References before upTo are used inside or outside what is removed.
  {
    std::size_t k = 0;
    auto ref = references_.begin();
    for (; ref != references_.end() && ref->second < upTo; ++ref) {
      while (k < edits_.size() && edits_[k].end <= ref->second) ++k;
      const bool removed = k < edits_.size() && edits_[k].removes && edits_[k].begin <= ref->second &&
                           ref->second < edits_[k].end;
      noteReference(ref->first, removed);
    }
    references_.erase(references_.begin(), ref);
  }
  if (started_) {
    std::size_t at = flushed_;
    std::size_t used = 0;
    for (; used < edits_.size() && edits_[used].begin < upTo; ++used) {
      const Edit& e = edits_[used];
      if (e.begin < at) continue;
      if (!emit(std::string_view(buffer_).substr(at - bufferBase_, e.begin - at)) || !emit(e.text)) return;
      at = e.end;
    }
    edits_.erase(edits_.begin(), edits_.begin() + static_cast<std::ptrdiff_t>(used));
    if (at < upTo && !emit(std::string_view(buffer_).substr(at - bufferBase_, upTo - at))) return;
    flushed_ = std::max(upTo, at);
  } else {
    flushed_ = upTo;
  }
  // Drop what is passed on, in large steps so that the buffer is not moved for each run.
  const std::size_t consumed = flushed_ - bufferBase_;
  if (consumed > (1u << 16) || consumed == buffer_.size()) {
    buffer_.erase(0, consumed);
    bufferBase_ = flushed_;
  }
}

// ---- The package ------------------------------------------------------------------------

std::string Conversion::rootDeclarations(bool mathBound, bool wordBound) const {
  std::string declarations;
  if (!mathBound) declarations += " xmlns:m=\"" + std::string(kMathNs) + "\"";
  if (!wordBound) declarations += " xmlns:w=\"" + std::string(kWordNs) + "\"";
  return declarations;
}

bool Conversion::loadStructure() {
  std::string error;
  PackageEntry ct;
  if (!package_.find("[Content_Types].xml", ct)) {
    result_.error = "not a Word document: the package has no [Content_Types].xml";
    return false;
  }
  if (!package_.read(ct, types_.text, error) || !parseContentTypes(types_, error)) {
    result_.error = error;
    return false;
  }
  PackageEntry e;
  for (std::uint32_t i : package_.relationshipParts()) {
    std::string source;
    if (!package_.entry(i, e, error)) {
      result_.error = error;
      return false;
    }
    if (!relsSource(e.name, source)) continue;
    RelationshipPart part;
    part.entry = static_cast<std::uint32_t>(i);
    if (!parseRelationships(package_, e, source, part, error)) {
      result_.error = error;
      return false;
    }
    auto [at, fresh] = relsBySource_.emplace(lowerAscii(source), rels_.size());
    if (fresh) rels_.push_back(std::move(part));
    else rels_[at->second] = std::move(part);
  }
  if (const RelationshipPart* root = partOf(""))
    for (std::size_t i = 0; i < root->rels.size(); ++i)
      if (const Relationship& r = root->rels[i]; !r.external && r.kind == RelationshipKind::OfficeDocument)
        mainPart_ = targetName(*root, r);
  if (mainPart_.empty()) {
    result_.error = "not a Word document: the package names no main document part";
    return false;
  }
  if (package_.indexOf(mainPart_) == PackageReader::npos) {
    result_.error = "the package names the main part '/" + mainPart_ + "', which is missing";
    return false;
  }
  if (!isWordMainType(types_.typeOf(mainPart_))) {
    result_.error = "not a Word document: the main part '/" + mainPart_ + "' is of type '" +
                    types_.typeOf(mainPart_) + "'";
    return false;
  }
  mainRels_ = partOf(mainPart_);
  return true;
}

RelationshipPart* Conversion::partOf(std::string_view source) {
  auto it = relsBySource_.find(lowerAscii(source));
  return it == relsBySource_.end() ? nullptr : &rels_[it->second];
}

std::string Conversion::targetName(const RelationshipPart& part, const Relationship& r) const {
  if (!r.hasEntry) return std::string(part.stored(r.target));
  PackageEntry e;
  std::string error;
  return package_.entry(r.target, e, error) ? e.name : std::string();
}

void Conversion::spool(std::uint32_t entry, const SpooledPart& part) {
  spooled_.emplace_back(entry, part);
  fate_[entry] = Fate::Spooled;
  changed_ = true;
}

ObjectDecision Conversion::decide(const PackageEntry& story, const RelationshipPart* own, const ObjectSite& o,
                                  bool utf8, bool namespacesUsable) {
  ObjectDecision d;
  const auto keep = [&](std::string cls, const std::string& why) {
    d.kind = ObjectDecision::Kind::Keep;
    d.className = cls;
    d.reason = why;
    return d;
  };
  if (!o.embedded) {
    if (conversion::isConvertedClass(o.progId, settings_)) return keep(o.progId, "a linked object, not an embedded one");
    return d;
  }
  const RelationshipPart* part = own;
  std::uint32_t at = own ? own->find(o.relId) : kNone;
  if (at == kNone && mainRels_ && lowerAscii(story.name) != lowerAscii(mainPart_)) {
    // LibreOffice puts the relationships of objects in notes into the main part's.
    part = mainRels_;
    at = mainRels_->find(o.relId);
  }
  const Relationship* rel = at == kNone ? nullptr : &part->rels[at];
  PackageEntry target;
  std::string readError;
  if (!rel || !rel->hasEntry || !package_.entry(rel->target, target, readError)) {
    if (conversion::isConvertedClass(o.progId, settings_) || o.progId.empty())
      return keep(o.progId, !rel ? (o.relId.empty() ? std::string("the object names no relationship (no r:id)")
                                                      : "the object's relationship '" + o.relId + "' is missing")
                                 : "the object's embedding '" + targetName(*part, *rel) + "' is missing");
    return d;
  }
  // The embedding is read for each object that names it, so that no converted equation
  // stays in memory; only a re-issued Equation 3.0 file is kept (spooled), once.
  conversion::EmbeddingOutcome out;
  std::string bytes;
  if (!package_.read(target, bytes, readError)) {
    out.isEquation = conversion::isConvertedClass(o.progId, settings_);
  } else {
    out = conversion::convertEmbedding(bytes, o.progId, settings_, &scratch_);
  }
  bytes.clear();
  bytes.shrink_to_fit();
  d.info = std::move(out.info);
  d.className = out.className;
  if (!out.isEquation) {
    if (!out.reason.empty()) return keep(out.className, out.reason);
    return d;
  }
  if (!out.converted) return keep(out.className, readError.empty() ? out.reason : readError);
  if (!utf8) return keep(out.className, "the part is not written in UTF-8");
  if (settings_.eqVersion == 0) {
    if (equation3Slot_.empty()) equation3Slot_.assign(package_.count(), kNone);
    if (equation3Slot_[rel->target] == kNone) {
      if (!packer_) packer_ = std::make_unique<EmbeddingPacker>(embeddingSpool_);
      equation3Frames_.push_back(0);
      if (!packer_->add(out.equation3File, &equation3Frames_[equation3Frames_.size() - 1])) {
        failure_ = "the new embeddings cannot be kept for the new package";
        return keep(out.className, failure_);
      }
      equation3Slot_[rel->target] = static_cast<std::uint32_t>(equation3Frames_.size() - 1);
    }
    d.kind = ObjectDecision::Kind::Equation3;
    d.embedding = rel->target;
    return d;
  }
  if (!namespacesUsable) return keep(out.className, "the part binds the prefixes m or w to other namespaces");
  d.kind = ObjectDecision::Kind::OfficeMath;
  d.xml = std::move(out.officeMathXml);
  return d;
}

void Conversion::convertStory(std::size_t index) {
  PackageEntry entry;
  std::string error;
  if (!package_.entry(index, entry, error)) {
    failure_ = error;
    return;
  }
  RelationshipPart* rels = partOf(entry.name);
  StoryRewriter story(*this, entry, rels, mainRels_);
  bool readFailure = false;
  const std::uint64_t spoolBefore = storySpool_.size();
  if (!story.run(error, readFailure)) {
    story.stopWriting();
    storySpool_.truncate(spoolBefore);
    if (readFailure) {
      failure_ = error;
      return;
    }
    // A story that cannot be read stays as it is; if it held equations they are kept.
    result_.unconverted.push_back(UnconvertedObject{"/" + entry.name, "", "", error});
    return;
  }
  result_.converted += story.converted;
  for (UnconvertedObject& u : story.unconverted) result_.unconverted.push_back(std::move(u));
  for (conversion::EquationRecord& r : story.records) result_.records.push_back(std::move(r));
  for (std::uint32_t embedding : story.replacedEmbeddings) {
    fate_[embedding] = Fate::Reissued;
    changed_ = true;
  }
  const bool isMain = rels && rels == mainRels_;
  if (story.changed()) spool(static_cast<std::uint32_t>(index), story.output);

  // Relationships that only the removed objects used go, with the parts they name once
  // nothing else names them.
  const auto drop = [&](RelationshipPart& from, Relationship& r) {
    r.removed = true;
    from.anyRemoved = true;
    if (r.hasEntry) {
      if (dropped_.empty()) dropped_.assign(package_.count(), false);
      dropped_[r.target] = true;
    }
  };
  for (std::size_t i = 0; i < story.ownUse.size(); ++i)
    if (story.ownUse[i] == StoryRewriter::kInside) drop(*rels, rels->rels[i]);
  if (isMain) {
    mainOutside_.assign(story.ownUse.size(), 0);
    for (std::size_t i = 0; i < story.ownUse.size(); ++i) mainOutside_[i] = story.ownUse[i] & StoryRewriter::kOutside;
  }
  // A relationship of the main part goes only when the main part does not use it.
  for (std::size_t i = 0; i < story.mainUse.size(); ++i)
    if (story.mainUse[i] == StoryRewriter::kInside && !(i < mainOutside_.size() && mainOutside_[i]))
      drop(*mainRels_, mainRels_->rels[i]);
}

void Conversion::removeOrphans() {
  std::string error;
  for (RelationshipPart& part : rels_) {
    if (!part.anyRemoved) continue;
    PackageEntry e;
    if (!package_.entry(part.entry, e, error)) {
      failure_ = error;
      return;
    }
    const std::uint64_t start = storySpool_.size();
    Deflater deflater([this](std::string_view piece) { return storySpool_.append(piece); });
    if (!rewriteRelationships(package_, e, part, deflater, error)) {
      failure_ = error;
      return;
    }
    spool(part.entry, SpooledPart{start, deflater.compressedSize(), deflater.size(), deflater.crc(), false});
  }
  if (dropped_.empty()) return;
  std::vector<bool> stillNamed(package_.count());
  for (const RelationshipPart& part : rels_)
    for (std::size_t i = 0; i < part.rels.size(); ++i)
      if (!part.rels[i].removed && part.rels[i].hasEntry) stillNamed[part.rels[i].target] = true;
  bool typesChanged = false;
  PackageEntry e;
  for (std::size_t i = 0; i < dropped_.size(); ++i) {
    if (!dropped_[i] || stillNamed[i]) continue;
    if (!package_.entry(i, e, error)) {
      failure_ = error;
      return;
    }
    fate_[i] = Fate::Removed;
    changed_ = true;
    const std::string target = lowerAscii(e.name);
    if (const RelationshipPart* own = partOf(target)) fate_[own->entry] = Fate::Removed;
    if (auto o = types_.overrides.find(target); o != types_.overrides.end()) {
      types_.removed.emplace_back(o->second.begin, o->second.end);
      typesChanged = true;
    }
  }
  if (typesChanged) {
    const std::uint64_t start = storySpool_.size();
    Deflater deflater([this](std::string_view piece) { return storySpool_.append(piece); });
    if (!deflater.write(withoutSpans(types_.text, types_.removed)) || !deflater.finish()) {
      failure_ = "the part '[Content_Types].xml' cannot be kept for the new package";
      return;
    }
    spool(static_cast<std::uint32_t>(package_.indexOf("[Content_Types].xml")),
          SpooledPart{start, deflater.compressedSize(), deflater.size(), deflater.crc(), false});
  }
}

bool Conversion::run() {
  if (!loadStructure()) return false;
  std::vector<std::size_t> stories{package_.indexOf(mainPart_)};
  if (mainRels_)
    for (std::size_t i = 0; i < mainRels_->rels.size(); ++i)
      if (const Relationship& r = mainRels_->rels[i]; r.hasEntry && r.kind == RelationshipKind::Story &&
          std::find(stories.begin(), stories.end(), r.target) == stories.end())
        stories.push_back(r.target);
  for (std::size_t story : stories) {
    convertStory(story);
    if (!failure_.empty()) {
      result_.error = failure_;
      return false;
    }
  }
  if (packer_ && !packer_->finish()) failure_ = "the new embeddings cannot be kept for the new package";
  if (failure_.empty()) removeOrphans();
  if (!failure_.empty()) {
    result_.error = failure_;
    return false;
  }
  return true;
}

bool Conversion::write(const Sink& sink, std::string& error) {
  // The new data of each changed entry: the last one given.
  std::stable_sort(spooled_.begin(), spooled_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  auto next = spooled_.begin();
  ZipWriter zip(sink);
  std::string readError;
  PackageEntry entry;
  // Entries that go are never read again: a removed embedding and its preview are most
  // of a converted package's directory.
  const auto writeEntry = [&](std::size_t i) {
    if (fate_[i] == Fate::Removed) return true;
    if (!package_.entry(i, entry, error)) return false;
    const PackageEntry& e = entry;
    if (fate_[i] == Fate::Spooled || fate_[i] == Fate::Reissued) {
      SpooledPart part;
      if (fate_[i] == Fate::Spooled) {
        while (next + 1 != spooled_.end() && (next + 1)->first <= i) ++next;
        part = next->second;
      } else {
        const std::uint64_t at = equation3Frames_[equation3Slot_[i]];
        FrameHead head;
        if (!embeddingSpool_.read(at, sizeof head, reinterpret_cast<char*>(&head))) {
          error = "the part '" + e.name + "' cannot be written";
          return false;
        }
        part = SpooledPart{at + sizeof head, head.compressedSize, head.size, head.crc, true};
      }
      if (!zip.begin(ZipEntryInfo{e.name, 8, part.crc, part.compressedSize, part.size, e.mtime}) ||
          !(part.inEmbeddings ? embeddingSpool_ : storySpool_)
               .copy(part.offset, part.compressedSize, [&](std::string_view piece) { return zip.data(piece); })) {
        error = "the part '" + e.name + "' cannot be written";
        return false;
      }
      return true;
    }
    // The compressed data as it stands in the input.
    if (!zip.begin(ZipEntryInfo{e.name, e.method, e.crc, e.compressedSize, e.size, e.mtime})) {
      error = "the part '" + e.name + "' cannot be written";
      return false;
    }
    bool sinkFailed = false;
    if (!package_.copyCompressed(e, [&](std::string_view piece) { return zip.data(piece) || !(sinkFailed = true); },
                                 readError)) {
      error = sinkFailed || readError.empty() ? "the part '" + e.name + "' cannot be written" : readError;
      return false;
    }
    return true;
  };
  for (std::size_t i = 0; i < package_.count(); ++i)
    if (!writeEntry(i)) return false;
  if (!zip.finish()) {
    error = "the new package cannot be written";
    return false;
  }
  return true;
}

}  // namespace

struct DocxConversion::State {
  PackageReader package;
  std::unique_ptr<Conversion> conversion;
  std::string path;
  std::string_view bytes;
};

DocxConversion::DocxConversion(const conversion::EquationSettings& settings)
    : settings_(settings), state_(std::make_unique<State>()) {}
DocxConversion::~DocxConversion() = default;

bool DocxConversion::convert() {
  try {
    state_->conversion = std::make_unique<Conversion>(state_->package, settings_, result_);
    result_.ok = state_->conversion->run();
  } catch (const std::bad_alloc&) {
    result_ = DocxResult{};
    result_.error = "not enough memory to convert the package";
  }
  result_.changed = result_.ok && state_->conversion->changed();
  return result_.ok;
}

bool DocxConversion::convertFile(const std::string& path) {
  state_->path = path;
  if (!state_->package.openFile(path, result_.error)) return false;
  return convert();
}

bool DocxConversion::convertBytes(std::string_view bytes) {
  state_->bytes = bytes;
  if (!state_->package.open(bytes, result_.error)) return false;
  return convert();
}

bool DocxConversion::write(const Sink& sink, std::string& error) {
  if (!result_.ok) {
    error = result_.error;
    return false;
  }
  if (!result_.changed) {
    // Nothing changed: the package goes out as it came.
    if (state_->path.empty()) return sink(state_->bytes) || (error = "the package cannot be written", false);
    std::FILE* f = std::fopen(state_->path.c_str(), "rb");
    if (!f) {
      error = "the package cannot be read again";
      return false;
    }
    char piece[1 << 16];
    bool ok = true;
    std::size_t n;
    while (ok && (n = std::fread(piece, 1, sizeof piece, f)) > 0) ok = sink(std::string_view(piece, n));
    if (std::ferror(f)) ok = false;
    std::fclose(f);
    if (!ok) error = "the package cannot be copied";
    return ok;
  }
  try {
    return state_->conversion->write(sink, error);
  } catch (const std::bad_alloc&) {
    error = "not enough memory to write the package";
    return false;
  }
}

bool looksLikeZip(std::string_view bytes) { return bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4); }

DocxResult convertDocx(std::string_view packageBytes, const conversion::EquationSettings& settings) {
  DocxConversion conversion(settings);
  conversion.convertBytes(packageBytes);
  DocxResult result = conversion.result();
  if (!result.ok) return result;
  std::string error;
  if (!conversion.write([&](std::string_view piece) {
        result.package.append(piece);
        return true;
      }, error)) {
    result = DocxResult{};
    result.error = error;
  }
  return result;
}

}  // namespace docx
