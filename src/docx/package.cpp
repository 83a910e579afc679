#include "docx/package.h"

#include <zip.h>

#include <cstring>

namespace docx {

struct PackageReader::Zip {
  zip_t* archive = nullptr;
  ~Zip() {
    if (archive) zip_discard(archive);
  }
};

namespace {

std::string zipError(zip_error_t* e) {
  const char* s = zip_error_strerror(e);
  return s ? s : "unknown zip error";
}

std::string_view key(std::string_view name) {
  if (!name.empty() && name.front() == '/') name.remove_prefix(1);
  return name;
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads an opened part to its end in pieces; checks that it holds exactly its declared
// size (libzip checks the CRC once the last byte is read).
bool pump(zip_file_t* f, const PackageEntry& entry, std::uint64_t expected, const Sink& sink,
          std::string& error) {
  char piece[1 << 16];
  std::uint64_t got = 0;
  for (;;) {
    const zip_int64_t n = zip_fread(f, piece, sizeof piece);
    if (n < 0) {
      error = "the part '" + entry.name + "' is damaged: " + zip_file_strerror(f);
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::uint64_t>(n);
    if (got > expected) {
      error = "the part '" + entry.name + "' is longer than its entry says or damaged";
      return false;
    }
    if (!sink(std::string_view(piece, static_cast<std::size_t>(n)))) return false;
  }
  if (got != expected) {
    error = "the part '" + entry.name + "' is shorter than its entry says";
    return false;
  }
  return true;
}

}  // namespace

std::string lowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::size_t PackageReader::NameHash::operator()(std::string_view name) const {
  std::size_t h = 14695981039346656037ull;
  for (char c : name) h = (h ^ static_cast<unsigned char>(folded(c))) * 1099511628211ull;
  return h;
}

bool PackageReader::NameEqual::operator()(std::string_view a, std::string_view b) const {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (folded(a[i]) != folded(b[i])) return false;
  return true;
}

PackageReader::PackageReader() = default;
PackageReader::~PackageReader() = default;

bool PackageReader::open(std::string_view bytes, std::string& error, const PackageLimits& limits) {
  limits_ = limits;
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
  if (!src) {
    error = zipError(&ze);
    zip_error_fini(&ze);
    return false;
  }
  zip_t* archive = zip_open_from_source(src, ZIP_RDONLY, &ze);
  if (!archive) {
    error = "not a zip package (" + zipError(&ze) + ")";
    zip_source_free(src);
    zip_error_fini(&ze);
    return false;
  }
  zip_error_fini(&ze);
  zip_ = std::make_unique<Zip>();
  zip_->archive = archive;
  return index(error);
}

bool PackageReader::openFile(const std::string& path, std::string& error, const PackageLimits& limits) {
  limits_ = limits;
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (!archive) {
    zip_error_t ze;
    zip_error_init_with_code(&ze, code);
    error = "not a zip package (" + zipError(&ze) + ")";
    zip_error_fini(&ze);
    return false;
  }
  zip_ = std::make_unique<Zip>();
  zip_->archive = archive;
  return index(error);
}

bool PackageReader::index(std::string& error) {
  zip_t* archive = zip_->archive;
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > limits_.maxEntries) {
    error = "the package holds more entries than a document has (" + std::to_string(count) + ")";
    return false;
  }
  entries_.reserve(static_cast<std::size_t>(count));
  byName_.reserve(static_cast<std::size_t>(count));
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !st.name) {
      error = "entry " + std::to_string(i) + " of the package cannot be read";
      return false;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
      error = "the package is encrypted (its part '" + std::string(st.name) + "')";
      return false;
    }
    PackageEntry e;
    e.name = st.name;
    e.index = static_cast<std::uint64_t>(i);
    e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    e.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    e.method = (st.valid & ZIP_STAT_COMP_METHOD) ? static_cast<std::uint16_t>(st.comp_method) : 0;
    e.crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
    e.mtime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;
    entries_.push_back(std::move(e));
  }
  // Keys are views of the names, so the index is made once the entries stand still.
  for (std::size_t i = 0; i < entries_.size(); ++i)
    if (!byName_.emplace(key(entries_[i].name), i).second) {
      error = "the package holds the part '" + entries_[i].name + "' twice";
      return false;
    }
  return true;
}

const PackageEntry* PackageReader::find(std::string_view name) const {
  auto it = byName_.find(key(name));
  return it == byName_.end() ? nullptr : &entries_[it->second];
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
  zip_file_t* f = zip_fopen_index(zip_->archive, entry.index, 0);
  if (!f) {
    error = "the part '" + entry.name + "' cannot be opened: " + zip_strerror(zip_->archive);
    return false;
  }
  const bool ok = pump(f, entry, entry.size, sink, error);
  zip_fclose(f);
  return ok;
}

bool PackageReader::copyCompressed(const PackageEntry& entry, const Sink& sink, std::string& error) const {
  error.clear();
  zip_file_t* f = zip_fopen_index(zip_->archive, entry.index, ZIP_FL_COMPRESSED);
  if (!f) {
    error = "the part '" + entry.name + "' cannot be opened: " + zip_strerror(zip_->archive);
    return false;
  }
  const bool ok = pump(f, entry, entry.compressedSize, sink, error);
  zip_fclose(f);
  return ok;
}

}  // namespace docx
