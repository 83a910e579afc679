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
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  if (count < 0 || static_cast<std::uint64_t>(count) > limits.maxEntries) {
    error = "the package holds more entries than a document has (" + std::to_string(count) + ")";
    return false;
  }
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 || !st.name) {
      error = "entry " + std::to_string(i) + " of the package cannot be read";
      return false;
    }
    PackageEntry e;
    e.name = st.name;
    e.index = static_cast<std::uint64_t>(i);
    e.size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    e.compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
    std::string key = lowerAscii(e.name);
    if (!key.empty() && key.front() == '/') key.erase(0, 1);
    if (!byName_.emplace(key, entries_.size()).second) {
      error = "the package holds the part '" + e.name + "' twice";
      return false;
    }
    entries_.push_back(std::move(e));
  }
  return true;
}

const PackageEntry* PackageReader::find(std::string_view name) const {
  std::string key = lowerAscii(name);
  if (!key.empty() && key.front() == '/') key.erase(0, 1);
  auto it = byName_.find(key);
  return it == byName_.end() ? nullptr : &entries_[it->second];
}

bool PackageReader::read(const PackageEntry& entry, std::string& out, std::string& error) const {
  out.clear();
  if (entry.size > limits_.maxPartSize) {
    error = "the part '" + entry.name + "' claims " + std::to_string(entry.size) +
            " bytes, more than a part may hold";
    return false;
  }
  if (entry.size > (1u << 20) &&
      entry.size / (entry.compressedSize ? entry.compressedSize : 1) > limits_.maxRatio) {
    error = "the part '" + entry.name + "' claims a compression ratio no document part has";
    return false;
  }
  zip_file_t* f = zip_fopen_index(zip_->archive, entry.index, 0);
  if (!f) {
    error = "the part '" + entry.name + "' cannot be opened: " + zip_strerror(zip_->archive);
    return false;
  }
  out.resize(static_cast<std::size_t>(entry.size));
  std::size_t got = 0;
  bool ok = true;
  while (got < out.size()) {
    const zip_int64_t n = zip_fread(f, out.data() + got, out.size() - got);
    if (n < 0) {
      ok = false;
      error = "the part '" + entry.name + "' is damaged: " + zip_file_strerror(f);
      break;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (ok && got != out.size()) {
    ok = false;
    error = "the part '" + entry.name + "' is shorter than its entry says";
  }
  if (ok) {
    char extra;
    const zip_int64_t n = zip_fread(f, &extra, 1);
    if (n != 0) {
      ok = false;
      error = "the part '" + entry.name + "' is longer than its entry says or damaged";
    }
  }
  zip_fclose(f);
  if (!ok) out.clear();
  return ok;
}

bool writePackage(const PackageReader& in, const std::map<std::string, PartChange>& changes,
                  std::string& out, std::string& error) {
  zip_error_t ze;
  zip_error_init(&ze);
  zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &ze);
  if (!buffer) {
    error = zipError(&ze);
    zip_error_fini(&ze);
    return false;
  }
  zip_source_keep(buffer);
  zip_t* dst = zip_open_from_source(buffer, ZIP_TRUNCATE, &ze);
  zip_error_fini(&ze);
  auto fail = [&](const std::string& why) {
    error = why;
    if (dst) zip_discard(dst);
    zip_source_free(buffer);
    return false;
  };
  if (!dst) return fail("the new package cannot be started");
  zip_t* src = in.zip()->archive;
  for (const PackageEntry& e : in.entries()) {
    auto change = changes.find(e.name);
    zip_source_t* data = nullptr;
    const bool replaced = change != changes.end();
    if (replaced && change->second.remove) continue;
    if (replaced) {
      const std::string& bytes = change->second.bytes;
      data = zip_source_buffer(dst, bytes.data(), bytes.size(), 0);
    } else {
      // The compressed data as it stands in the input.
      data = zip_source_zip(dst, src, e.index, ZIP_FL_COMPRESSED, 0, -1);
    }
    if (!data) return fail("the part '" + e.name + "' cannot be copied: " + zip_strerror(dst));
    const zip_int64_t added = zip_file_add(dst, e.name.c_str(), data, ZIP_FL_ENC_UTF_8);
    if (added < 0) {
      zip_source_free(data);
      return fail("the part '" + e.name + "' cannot be added: " + zip_strerror(dst));
    }
    if (replaced) zip_set_file_compression(dst, static_cast<zip_uint64_t>(added), ZIP_CM_DEFLATE, 1);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(src, e.index, 0, &st) == 0 && (st.valid & ZIP_STAT_MTIME))
      zip_file_set_mtime(dst, static_cast<zip_uint64_t>(added), st.mtime, 0);
  }
  if (zip_close(dst) != 0) return fail(std::string("the new package cannot be written: ") + zip_strerror(dst));
  dst = nullptr;
  out.clear();
  if (zip_source_open(buffer) != 0) return fail("the new package cannot be read back");
  char chunk[1 << 16];
  for (;;) {
    const zip_int64_t n = zip_source_read(buffer, chunk, sizeof chunk);
    if (n < 0) {
      zip_source_close(buffer);
      return fail("the new package cannot be read back");
    }
    if (n == 0) break;
    out.append(chunk, static_cast<std::size_t>(n));
  }
  zip_source_close(buffer);
  zip_source_free(buffer);
  return true;
}

}  // namespace docx
