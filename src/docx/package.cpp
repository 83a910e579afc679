#include "docx/package.h"

#include <fcntl.h>
#include <unistd.h>
#include <libdeflate.h>
#include <minizip/unzip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace docx {

// What minizip reads through: bytes in memory or an open file. Every handle on the
// package has a stream of its own (a position, and for a file a read-ahead cache), so that
// a part can be read while another is open.
struct Source {
  std::string_view bytes;
  int fd = -1;
};

namespace {

struct Stream {
  const Source* source = nullptr;
  std::uint64_t pos = 0;
  std::uint64_t cacheAt = 0;
  std::string cache;
  bool failed = false;
};

std::uint64_t sourceSize(const Source& s) {
  if (s.fd < 0) return s.bytes.size();
  const off_t end = ::lseek(s.fd, 0, SEEK_END);
  return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

voidpf ZCALLBACK streamOpen(voidpf opaque, const void*, int) {
  Stream* s = new (std::nothrow) Stream;
  if (s) s->source = static_cast<const Source*>(opaque);
  return s;
}

uLong ZCALLBACK streamRead(voidpf, voidpf stream, void* buf, uLong size) {
  Stream& s = *static_cast<Stream*>(stream);
  char* out = static_cast<char*>(buf);
  // Directory records are read a byte or a few at a time.
  if (s.source->fd >= 0 && s.pos >= s.cacheAt && s.pos + size <= s.cacheAt + s.cache.size()) {
    const char* from = s.cache.data() + (s.pos - s.cacheAt);
    if (size == 1) *out = *from;
    else std::memcpy(out, from, size);
    s.pos += size;
    return size;
  }
  if (s.source->fd < 0) {
    const std::string_view all = s.source->bytes;
    const std::uint64_t n = s.pos >= all.size() ? 0 : std::min<std::uint64_t>(size, all.size() - s.pos);
    std::memcpy(out, all.data() + s.pos, static_cast<std::size_t>(n));
    s.pos += n;
    return static_cast<uLong>(n);
  }
  // Directory records and local headers are small reads close together: they come from a
  // cache filled 4 KB at a time; larger reads go to the file directly.
  constexpr std::size_t kCache = 1 << 12;
  uLong done = 0;
  while (done < size) {
    if (s.pos >= s.cacheAt && s.pos < s.cacheAt + s.cache.size()) {
      const std::size_t at = static_cast<std::size_t>(s.pos - s.cacheAt);
      const std::size_t n = std::min<std::size_t>(size - done, s.cache.size() - at);
      std::memcpy(out + done, s.cache.data() + at, n);
      done += static_cast<uLong>(n);
      s.pos += n;
      continue;
    }
    if (size - done >= kCache) {
      const ssize_t n = ::pread(s.source->fd, out + done, size - done, static_cast<off_t>(s.pos));
      if (n < 0) s.failed = true;
      if (n <= 0) break;
      done += static_cast<uLong>(n);
      s.pos += static_cast<std::uint64_t>(n);
      continue;
    }
    s.cache.resize(kCache);
    const ssize_t n = ::pread(s.source->fd, s.cache.data(), kCache, static_cast<off_t>(s.pos));
    s.cache.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    s.cacheAt = s.pos;
    if (n < 0) s.failed = true;
    if (n <= 0) break;
  }
  return done;
}

uLong ZCALLBACK streamWrite(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T ZCALLBACK streamTell(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->pos; }

long ZCALLBACK streamSeek(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  Stream& s = *static_cast<Stream*>(stream);
  std::uint64_t base = 0;
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) base = s.pos;
  else if (origin == ZLIB_FILEFUNC_SEEK_END) base = sourceSize(*s.source);
  else if (origin != ZLIB_FILEFUNC_SEEK_SET) return -1;
  s.pos = base + offset;
  return 0;
}

int ZCALLBACK streamClose(voidpf, voidpf stream) {
  delete static_cast<Stream*>(stream);
  return 0;
}

int ZCALLBACK streamError(voidpf, voidpf stream) { return static_cast<Stream*>(stream)->failed ? 1 : 0; }

std::string zipError(int code) {
  switch (code) {
    case UNZ_CRCERROR: return "CRC error";
    case UNZ_BADZIPFILE: return "damaged zip structure";
    case UNZ_ERRNO: return "read error";
    case Z_DATA_ERROR: return "damaged compressed data";
    case Z_MEM_ERROR: return "out of memory";
    default: return "zip error " + std::to_string(code);
  }
}

std::string_view key(std::string_view name) {
  if (!name.empty() && name.front() == '/') name.remove_prefix(1);
  return name;
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::uint32_t nameHash(std::string_view name) {
  std::uint32_t h = 2166136261u;
  for (char c : key(name)) h = (h ^ static_cast<unsigned char>(folded(c))) * 16777619u;
  return h;
}

bool sameName(std::string_view a, std::string_view b) {
  a = key(a);
  b = key(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (folded(a[i]) != folded(b[i])) return false;
  return true;
}

// Zip keeps local time in MS-DOS form; it is read as local time, as the writer writes it.
// The entries of a package mostly share a time, and mktime looks at the time zone each
// call: the last one is kept.
std::time_t fromDos(uLong dosDate) {
  thread_local uLong lastDos = 0;
  thread_local std::time_t last = 0;
  thread_local bool known = false;
  if (known && dosDate == lastDos) return last;
  const std::uint32_t date = static_cast<std::uint32_t>(dosDate >> 16), time = dosDate & 0xFFFF;
  std::tm tm{};
  tm.tm_isdst = -1;
  tm.tm_year = static_cast<int>(((date >> 9) & 127) + 80);
  tm.tm_mon = static_cast<int>(((date >> 5) & 15)) - 1;
  tm.tm_mday = static_cast<int>(date & 31);
  tm.tm_hour = static_cast<int>((time >> 11) & 31);
  tm.tm_min = static_cast<int>((time >> 5) & 63);
  tm.tm_sec = static_cast<int>((time << 1) & 62);
  last = std::mktime(&tm);
  lastDos = dosDate;
  known = true;
  return last;
}

// True when the bytes are UTF-8 by their lead and continuation bytes.
bool looksUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t more = 0;
    if (c < 0x80) continue;
    if ((c & 0xE0) == 0xC0) more = 1;
    else if ((c & 0xF0) == 0xE0) more = 2;
    else if ((c & 0xF8) == 0xF0) more = 3;
    else return false;
    if (i + more >= s.size()) return false;
    for (std::size_t k = 1; k <= more; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += more;
  }
  return true;
}

// A name not marked as UTF-8 that is not UTF-8 either is in the DOS code page 437, as zip
// tools have always written it; it is read as UTF-8, the form names are written in.
std::string fromCp437(std::string_view s) {
  static const char16_t kHigh[128] = {
      u'Ç', u'ü', u'é', u'â', u'ä', u'à', u'å', u'ç', u'ê', u'ë', u'è', u'ï', u'î', u'ì', u'Ä', u'Å',
      u'É', u'æ', u'Æ', u'ô', u'ö', u'ò', u'û', u'ù', u'ÿ', u'Ö', u'Ü', u'¢', u'£', u'¥', u'₧', u'ƒ',
      u'á', u'í', u'ó', u'ú', u'ñ', u'Ñ', u'ª', u'º', u'¿', u'⌐', u'¬', u'½', u'¼', u'¡', u'«', u'»',
      u'░', u'▒', u'▓', u'│', u'┤', u'╡', u'╢', u'╖', u'╕', u'╣', u'║', u'╗', u'╝', u'╜', u'╛', u'┐',
      u'└', u'┴', u'┬', u'├', u'─', u'┼', u'╞', u'╟', u'╚', u'╔', u'╩', u'╦', u'╠', u'═', u'╬', u'╧',
      u'╨', u'╤', u'╥', u'╙', u'╘', u'╒', u'╓', u'╫', u'╪', u'┘', u'┌', u'█', u'▄', u'▌', u'▐', u'▀',
      u'α', u'ß', u'Γ', u'π', u'Σ', u'σ', u'µ', u'τ', u'Φ', u'Θ', u'Ω', u'δ', u'∞', u'φ', u'ε', u'∩',
      u'≡', u'±', u'≥', u'≤', u'⌠', u'⌡', u'÷', u'≈', u'°', u'∙', u'·', u'√', u'ⁿ', u'²', u'■', u'\u00A0'};
  std::string out;
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
      continue;
    }
    const char16_t u = kHigh[c - 0x80];
    if (u < 0x800) {
      out += static_cast<char>(0xC0 | (u >> 6));
    } else {
      out += static_cast<char>(0xE0 | (u >> 12));
      out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    }
    out += static_cast<char>(0x80 | (u & 0x3F));
  }
  return out;
}

std::uint32_t le16(const unsigned char* p) { return p[0] | (p[1] << 8); }
std::uint32_t le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t le64(const unsigned char* p) { return le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32); }

constexpr std::size_t kRecordFixed = 46;  // a central directory record before its name

// The entry of a central directory record whose fixed part and name are in `r`, read as
// minizip reads it: the name up to a zero byte, and the sizes as the record gives them.
// (minizip 1.1 does not take zip64 sizes from the extra field on 64-bit systems, so a
// part whose record says 0xFFFFFFFF is refused as too large, as it could not be read.)
bool parseRecord(std::string_view r, PackageEntry& e, bool* encrypted = nullptr) {
  const auto* p = reinterpret_cast<const unsigned char*>(r.data());
  if (r.size() < kRecordFixed || le32(p) != 0x02014b50) return false;
  const std::size_t nameLength = le16(p + 28);
  if (r.size() < kRecordFixed + nameLength) return false;
  const std::uint32_t flag = le16(p + 8);
  e.name.assign(r.data() + kRecordFixed, strnlen(r.data() + kRecordFixed, nameLength));
  if (!(flag & (1u << 11)) && !looksUtf8(e.name)) e.name = fromCp437(e.name);
  e.method = static_cast<std::uint16_t>(le16(p + 10));
  e.mtime = fromDos(le32(p + 12));
  e.crc = le32(p + 16);
  e.compressedSize = le32(p + 20);
  e.size = le32(p + 24);
  if (encrypted) *encrypted = flag & 1;
  return true;
}

}  // namespace

struct PackageReader::Zip {
  Source source;
  // Handles not in use; more are opened when parts are read inside one another.
  std::vector<unzFile> idle;
  // Directory records, and the local headers and data of parts read whole, are read
  // through two windows of the file (the reader is used by one thread at a time): 4 KB of
  // records, which are looked up all over the directory, and 64 KB of parts, which are
  // read in the file's order, several to a window.
  struct Window {
    std::string bytes;       // grows, never shrinks: the first `filled` bytes are the file's
    std::size_t filled = 0;
    std::uint64_t at = 0;
    std::size_t least = 0;  // what a read of the file fetches at the least
  };
  Window records{{}, 0, 0, 1 << 12}, parts{{}, 0, 0, 1 << 16};

  // The n bytes at `at`, or false when the source ends first.
  bool view(std::uint64_t at, std::size_t n, std::string_view& out, Window& w) {
    if (source.fd < 0) {
      if (at > source.bytes.size() || n > source.bytes.size() - at) return false;
      out = source.bytes.substr(static_cast<std::size_t>(at), n);
      return true;
    }
    if (at < w.at || at + n > w.at + w.filled) {
      const std::size_t want = std::max(n, w.least);
      if (w.bytes.size() < want) w.bytes.resize(want);
      const ssize_t got = ::pread(source.fd, w.bytes.data(), want, static_cast<off_t>(at));
      w.filled = got > 0 ? static_cast<std::size_t>(got) : 0;
      w.at = at;
      if (w.filled < n) return false;
    }
    out = std::string_view(w.bytes.data() + (at - w.at), n);
    return true;
  }
  // minizip counts every offset the directory gives from where the zip begins, and finds
  // that from the end record: its position less the directory's offset and size. A zip
  // with bytes before it (a self-extractor's stub, a header a mail or download program
  // left) thus reads as if they were not there. The records and local headers read here
  // are shifted by the same amount, found the same way: from the last zip64 locator that
  // leads to a zip64 end record, else from the last end record, in the last 64 KB.
  std::uint64_t shift = 0;
  void findShift() {
    const std::uint64_t size = sourceSize(source);
    const std::uint64_t from = size - std::min<std::uint64_t>(size, 0xFFFF);
    std::string_view tail;
    if (!view(from, static_cast<std::size_t>(size - from), tail, parts)) return;
    // Where the last of a signature stands in the tail; a find at the file's first byte
    // counts as none, as it does for minizip.
    const auto last = [&](const char* signature, std::uint64_t& at) {
      const std::size_t p = tail.rfind(std::string_view(signature, 4));
      at = from + p;
      return p != std::string_view::npos && at != 0;
    };
    // The zip64 end record the last locator leads to, else the last end record; and where
    // the directory ends by the offset and size that record gives. (Both signatures are
    // looked for first: the reads below may move the window that holds the tail.)
    std::uint64_t locator = 0, classic = 0, end = 0, directoryEnd = 0;
    const bool hasLocator = last("PK\x06\x07", locator), hasClassic = last("PK\x05\x06", classic);
    std::string_view r;
    const auto at = [&r](std::size_t k) { return reinterpret_cast<const unsigned char*>(r.data()) + k; };
    bool found = false;
    if (hasLocator && view(locator, 20, r, parts) && le32(at(4)) == 0 && le32(at(16)) == 1) {
      end = le64(at(8));
      if (view(end, 56, r, parts) && le32(at(0)) == 0x06064b50) {
        directoryEnd = le64(at(48)) + le64(at(40));
        found = true;
      }
    }
    if (!found && hasClassic && view(end = classic, 22, r, parts)) {
      directoryEnd = std::uint64_t{le32(at(16))} + le32(at(12));
      found = true;
    }
    if (found) shift = end >= directoryEnd ? end - directoryEnd : 0;
  }

  // The directory record at `at` (as minizip counts) read into `e`; false when it cannot be.
  bool record(std::uint64_t at, PackageEntry& e, bool* encrypted = nullptr) {
    std::string_view fixed, whole;
    at += shift;
    return view(at, kRecordFixed, fixed, records) &&
           view(at, kRecordFixed + le16(reinterpret_cast<const unsigned char*>(fixed.data()) + 28), whole, records) &&
           parseRecord(whole, e, encrypted);
  }

  // Where the entry whose directory record is at `record` has its local header: the
  // header's offset (from the zip64 field when the classic one is full), its fixed 30
  // bytes, and the name length the record gives; false when any of it cannot be read.
  struct LocalHeader {
    std::uint64_t at = 0;
    const unsigned char* fixed = nullptr;  // valid until the parts window moves
    std::uint32_t recordNameLength = 0;
    std::uint64_t dataStart() const { return at + 30 + le16(fixed + 26) + le16(fixed + 28); }
  };
  bool localHeader(std::uint64_t record, LocalHeader& h) {
    std::string_view fixed, extra, local;
    record += shift;
    if (!view(record, kRecordFixed, fixed, records)) return false;
    const auto* cd = reinterpret_cast<const unsigned char*>(fixed.data());
    if (le32(cd) != 0x02014b50) return false;
    h.recordNameLength = le16(cd + 28);
    h.at = le32(cd + 42);
    if (h.at == 0xFFFFFFFFu) {
      const std::uint32_t compressed = le32(cd + 20), size = le32(cd + 24);
      if (!view(record + kRecordFixed + h.recordNameLength, le16(cd + 30), extra, records)) return false;
      const auto* x = reinterpret_cast<const unsigned char*>(extra.data());
      bool found = false;
      for (std::size_t at = 0; at + 4 <= extra.size() && !found;) {
        const std::uint32_t id = le16(x + at), length = le16(x + at + 2);
        if (at + 4 + length > extra.size()) break;
        if (id == 1) {
          // The zip64 fields that stand here are those whose classic field is full, in order.
          std::size_t field = at + 4;
          if (size == 0xFFFFFFFFu) field += 8;
          if (compressed == 0xFFFFFFFFu) field += 8;
          if (field + 8 > at + 4 + length) break;
          h.at = le64(x + field);
          found = true;
        }
        at += 4 + length;
      }
      if (!found) return false;
    }
    h.at += shift;
    if (!view(h.at, 30, local, parts)) return false;
    h.fixed = reinterpret_cast<const unsigned char*>(local.data());
    return le32(h.fixed) == 0x04034b50;
  }

  // Inflates whole parts that are read whole (made on the first such read).
  libdeflate_decompressor* inflater = nullptr;

  ~Zip() {
    if (inflater) libdeflate_free_decompressor(inflater);
    for (unzFile f : idle) unzClose(f);
    if (source.fd >= 0) ::close(source.fd);
  }
  unzFile acquire() {
    if (!idle.empty()) {
      unzFile f = idle.back();
      idle.pop_back();
      return f;
    }
    zlib_filefunc64_def io{};
    io.zopen64_file = streamOpen;
    io.zread_file = streamRead;
    io.zwrite_file = streamWrite;
    io.ztell64_file = streamTell;
    io.zseek64_file = streamSeek;
    io.zclose_file = streamClose;
    io.zerror_file = streamError;
    io.opaque = &source;
    return unzOpen2_64("package", &io);
  }
  void release(unzFile f) {
    if (f) idle.push_back(f);
  }
};

namespace {

// A handle on the package for the length of one read.
class Handle {
 public:
  explicit Handle(PackageReader::Zip& zip) : zip_(zip), f_(zip.acquire()) {}
  ~Handle() { zip_.release(f_); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  unzFile get() const { return f_; }

 private:
  PackageReader::Zip& zip_;
  unzFile f_;
};

}  // namespace

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

PackageReader::PackageReader() = default;
PackageReader::~PackageReader() = default;

bool PackageReader::open(std::string_view bytes, std::string& error, const PackageLimits& limits) {
  limits_ = limits;
  zip_ = std::make_unique<Zip>();
  zip_->source.bytes = bytes;
  return index(error);
}

bool PackageReader::openFile(const std::string& path, std::string& error, const PackageLimits& limits) {
  limits_ = limits;
  zip_ = std::make_unique<Zip>();
  zip_->source.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (zip_->source.fd < 0) {
    error = "not a zip package (" + std::string(std::strerror(errno)) + ")";
    return false;
  }
  return index(error);
}

bool PackageReader::index(std::string& error) {
  offsets_.clear();
  wideOffsets_.clear();
  count_ = 0;
  byHash_.clear();
  relationshipParts_.clear();
  Handle h(*zip_);
  unzFile f = h.get();
  unz_global_info64 global;
  if (!f || unzGetGlobalInfo64(f, &global) != UNZ_OK) {
    error = "not a zip package (no central directory found)";
    return false;
  }
  if (global.number_entry > limits_.maxEntries) {
    error = "the package holds more entries than a document has (" + std::to_string(global.number_entry) + ")";
    return false;
  }
  zip_->findShift();
  const std::size_t count = static_cast<std::size_t>(global.number_entry);
  offsets_.reserve(count);
  byHash_.reserve(count);
  PackageEntry e;
  bool encrypted = false;
  for (std::size_t i = 0; i < count; ++i) {
    // minizip walks and checks the directory; the record it stands on is read as entry() reads it.
    const bool moved = (i == 0 ? unzGoToFirstFile(f) : unzGoToNextFile(f)) == UNZ_OK;
    const std::uint64_t at = moved ? unzGetOffset64(f) : 0;
    if (!moved || !zip_->record(at, e, &encrypted)) {
      error = "entry " + std::to_string(i) + " of the package cannot be read";
      return false;
    }
    if (encrypted) {
      error = "the package is encrypted (its part '" + e.name + "')";
      return false;
    }
    if (i == 0) firstOffset_ = at;
    if (wideOffsets_.empty() && (at < firstOffset_ || at - firstOffset_ > 0xFFFFFFFFu)) {
      for (std::uint32_t o : offsets_) wideOffsets_.push_back(firstOffset_ + o);
      std::vector<std::uint32_t>().swap(offsets_);
    }
    if (wideOffsets_.empty()) offsets_.push_back(static_cast<std::uint32_t>(at - firstOffset_));
    else wideOffsets_.push_back(at);
    ++count_;
    if (e.name.size() >= 5 && lowerAscii(std::string_view(e.name).substr(e.name.size() - 5)) == ".rels")
      relationshipParts_.push_back(static_cast<std::uint32_t>(i));
    byHash_.emplace_back(nameHash(e.name), static_cast<std::uint32_t>(i));
  }
  std::sort(byHash_.begin(), byHash_.end());
  // Names of one hash are compared; the first repeated name in directory order is named.
  std::string firstTwice;
  std::size_t firstTwiceAt = npos;
  for (std::size_t run = 0; run < byHash_.size();) {
    std::size_t end = run + 1;
    while (end < byHash_.size() && byHash_[end].first == byHash_[run].first) ++end;
    if (end - run > 1) {
      std::vector<std::pair<std::string, std::uint32_t>> names;
      for (std::size_t k = run; k < end; ++k) {
        if (!entry(byHash_[k].second, e, error)) return false;
        names.emplace_back(lowerAscii(key(e.name)), byHash_[k].second);
      }
      std::sort(names.begin(), names.end());
      for (std::size_t k = 1; k < names.size(); ++k)
        if (names[k].first == names[k - 1].first && names[k].second < firstTwiceAt) {
          firstTwiceAt = names[k].second;
          if (!entry(firstTwiceAt, e, error)) return false;
          firstTwice = e.name;
        }
    }
    run = end;
  }
  if (firstTwiceAt != npos) {
    error = "the package holds the part '" + firstTwice + "' twice";
    return false;
  }
  return true;
}

bool PackageReader::entry(std::size_t index, PackageEntry& out, std::string& error) const {
  if (index >= count_ || !zip_->record(offset(index), out)) {
    error = "entry " + std::to_string(index) + " of the package cannot be read";
    return false;
  }
  out.index = index;
  return true;
}

std::size_t PackageReader::indexOf(std::string_view name) const {
  const std::uint32_t hash = nameHash(name);
  auto it = std::lower_bound(byHash_.begin(), byHash_.end(), std::make_pair(hash, std::uint32_t{0}));
  PackageEntry e;
  std::string error;
  for (; it != byHash_.end() && it->first == hash; ++it)
    if (entry(it->second, e, error) && sameName(e.name, name)) return it->second;
  return npos;
}

bool PackageReader::find(std::string_view name, PackageEntry& out) const {
  const std::size_t at = indexOf(name);
  std::string error;
  return at != npos && entry(at, out, error);
}

bool PackageReader::withinLimits(const PackageEntry& entry, std::uint64_t limit, std::string& error) const {
  if (entry.size > limit) {
    error = "the part '" + entry.name + "' claims " + std::to_string(entry.size) +
            " bytes, more than a part may hold";
    return false;
  }
  if (entry.size > (1u << 20) &&
      entry.size / (entry.compressedSize ? entry.compressedSize : 1) > limits_.maxRatio) {
    error = "the part '" + entry.name + "' claims a compression ratio no document part has";
    return false;
  }
  return true;
}

bool PackageReader::read(const PackageEntry& entry, std::string& out, std::string& error) const {
  out.clear();
  if (!withinLimits(entry, limits_.maxPartSize, error)) return false;
  if (inflateWhole(entry, out)) return true;
  out.reserve(static_cast<std::size_t>(entry.size));
  const bool ok = readPieces(entry, [&](std::string_view piece) {
    out.append(piece);
    return true;
  }, error);
  if (!ok) out.clear();
  return ok;
}

bool PackageReader::readPieces(const PackageEntry& entry, const Sink& sink, std::string& error) const {
  error.clear();
  if (!withinLimits(entry, limits_.maxStreamedSize, error)) return false;
  return stream(entry, false, sink, error);
}

bool PackageReader::copyCompressed(const PackageEntry& entry, const Sink& sink, std::string& error) const {
  error.clear();
  // minizip opens only stored and deflated data, even as raw bytes; data compressed some
  // other way (LZMA, bzip2) is copied from where its local header says it starts.
  if (entry.method != 0 && entry.method != 8) return copyAsStored(entry, sink, error);
  return stream(entry, true, sink, error);
}

namespace {

// Reads `n` bytes at `at` of the package; false when they are not all there.
bool readAt(const Source& s, std::uint64_t at, void* out, std::size_t n) {
  if (s.fd < 0) {
    if (at > s.bytes.size() || n > s.bytes.size() - at) return false;
    std::memcpy(out, s.bytes.data() + at, n);
    return true;
  }
  std::size_t done = 0;
  while (done < n) {
    const ssize_t got = ::pread(s.fd, static_cast<char*>(out) + done, n - done, static_cast<off_t>(at + done));
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace

bool PackageReader::copyAsStored(const PackageEntry& entry, const Sink& sink, std::string& error) const {
  const Source& source = zip_->source;
  const auto damaged = [&] {
    error = "the part '" + entry.name + "' cannot be opened: damaged zip structure";
    return false;
  };
  Zip::LocalHeader header;
  if (!zip_->localHeader(offset(entry.index), header)) return damaged();
  std::uint64_t at = header.dataStart();
  char piece[1 << 16];
  for (std::uint64_t left = entry.compressedSize; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, sizeof piece));
    if (!readAt(source, at, piece, n)) {
      error = "the part '" + entry.name + "' is shorter than its entry says";
      return false;
    }
    if (!sink(std::string_view(piece, n))) return false;
    at += n;
    left -= n;
  }
  return true;
}

// A deflated part read whole is inflated in one call from its compressed data where it
// lies, and its CRC checked, when its local header agrees with its directory record the
// way minizip requires. Anything else — another method, a data descriptor, data that does
// not inflate to exactly the declared size and CRC — returns false without a message, and
// the part is read through minizip, whose messages say what is wrong.
bool PackageReader::inflateWhole(const PackageEntry& entry, std::string& out) const {
  // Embeddings are kilobytes. The output is made its declared size before inflating, so a
  // larger claim (which may be false) is left to the stream, which grows only with data.
  constexpr std::uint64_t kMaxCompressed = 1 << 20, kMaxSize = 16 << 20;
  if (entry.method != 8 || entry.compressedSize > kMaxCompressed || entry.size > kMaxSize || entry.index >= count_)
    return false;
  Zip& zip = *zip_;
  Zip::LocalHeader header;
  if (!zip.localHeader(offset(entry.index), header)) return false;
  const unsigned char* l = header.fixed;
  if ((le16(l + 6) & 8) || le16(l + 8) != entry.method || le32(l + 14) != entry.crc ||
      le32(l + 18) != entry.compressedSize || le32(l + 22) != entry.size || le16(l + 26) != header.recordNameLength)
    return false;
  const std::uint64_t start = header.dataStart();
  std::string_view data;
  if (!zip.view(start, static_cast<std::size_t>(entry.compressedSize), data, zip.parts)) return false;
  if (!zip.inflater && !(zip.inflater = libdeflate_alloc_decompressor())) return false;
  out.resize(static_cast<std::size_t>(entry.size));
  std::size_t got = 0;
  if (libdeflate_deflate_decompress(zip.inflater, data.data(), data.size(), out.data(), out.size(), &got) !=
          LIBDEFLATE_SUCCESS ||
      got != out.size() || libdeflate_crc32(0, out.data(), out.size()) != entry.crc) {
    out.clear();
    return false;
  }
  return true;
}

// Reads an entry's data to its end in pieces, inflated or as stored; checks that it holds
// exactly its declared size, and once the last byte is read, its CRC.
bool PackageReader::stream(const PackageEntry& entry, bool raw, const Sink& sink, std::string& error) const {
  if (entry.method != 0 && entry.method != 8) {
    error = "the part '" + entry.name + "' is compressed with method " + std::to_string(entry.method) +
            ", which this converter does not read (Word writes only deflated and stored parts)";
    return false;
  }
  Handle h(*zip_);
  unzFile f = h.get();
  int method = 0, level = 0;
  int rc = UNZ_BADZIPFILE;
  if (!f || entry.index >= count_ || (rc = unzSetOffset64(f, offset(entry.index))) != UNZ_OK ||
      (rc = unzOpenCurrentFile2(f, &method, &level, raw ? 1 : 0)) != UNZ_OK) {
    error = "the part '" + entry.name + "' cannot be opened: " + zipError(rc);
    return false;
  }
  const std::uint64_t expected = raw ? entry.compressedSize : entry.size;
  char piece[1 << 16];
  std::uint64_t got = 0;
  bool ok = true;
  for (;;) {
    const int n = unzReadCurrentFile(f, piece, sizeof piece);
    if (n < 0) {
      error = "the part '" + entry.name + "' is damaged: " + zipError(n);
      ok = false;
      break;
    }
    if (n == 0) break;
    got += static_cast<std::uint64_t>(n);
    if (got > expected) {
      error = "the part '" + entry.name + "' is longer than its entry says or damaged";
      ok = false;
      break;
    }
    if (!sink(std::string_view(piece, static_cast<std::size_t>(n)))) {
      ok = false;
      break;
    }
  }
  if (ok && got != expected) {
    error = "the part '" + entry.name + "' is shorter than its entry says";
    ok = false;
  }
  rc = unzCloseCurrentFile(f);
  if (ok && rc != UNZ_OK) {
    error = "the part '" + entry.name + "' is damaged: " + zipError(rc);
    ok = false;
  }
  return ok;
}

}  // namespace docx
