// Code pages for posix through glibc's iconv, plus the stand-in values for the system's
// ANSI and OEM code pages and the user's language, and reading files by descriptor.
#include "platform/codepage.h"
#include "platform/unicode.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <iconv.h>
#include <map>
#include <unistd.h>

namespace platform {
namespace {

std::uint32_t gAnsiCodePage = 1252;
std::uint32_t gOemCodePage = 437;

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// The iconv name for a Windows code page number.
std::string iconvName(std::uint32_t codePage) {
  switch (codePage) {
    case kCodePageUtf8: return "UTF-8";
    case kCodePageUtf16Le: return "UTF-16LE";
    case kCodePageUtf16Be: return "UTF-16BE";
    case kCodePageUtf32Le: return "UTF-32LE";
    case kCodePageUtf32Be: return "UTF-32BE";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 10000: return "MACINTOSH";
    case 20932:
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 54936: return "GB18030";
    case 28603: return "ISO-8859-13";
    case 28605: return "ISO-8859-15";
    default: break;
  }
  if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

// One converter per code page, opened on first use and kept for the thread's life.
struct ConverterCache {
  std::map<std::uint32_t, iconv_t> converters;
  ~ConverterCache() {
    for (auto& entry : converters)
      if (entry.second != kNoConverter) iconv_close(entry.second);
  }
};

iconv_t converterFor(std::uint32_t codePage) {
  thread_local ConverterCache cache;
  auto found = cache.converters.find(codePage);
  if (found != cache.converters.end()) return found->second;
  iconv_t cd = iconv_open("UTF-16LE", iconvName(codePage).c_str());
  cache.converters.emplace(codePage, cd);
  return cd;
}

// Length of the bytes that one substitute character replaces when UTF-8 input is
// invalid at `p`: the longest start of a well-formed sequence (at least one byte), so
// that a truncated sequence becomes one substitute and a stray byte one as well.
std::size_t utf8InvalidLength(const unsigned char* p, std::size_t n) {
  unsigned char b = p[0];
  std::size_t need = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b >= 0xC2 && b <= 0xDF) {
    need = 1;
  } else if (b == 0xE0) {
    need = 2;
    lo = 0xA0;
  } else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) {
    need = 2;
  } else if (b == 0xED) {
    need = 2;
    hi = 0x9F;
  } else if (b == 0xF0) {
    need = 3;
    lo = 0x90;
  } else if (b >= 0xF1 && b <= 0xF3) {
    need = 3;
  } else if (b == 0xF4) {
    need = 3;
    hi = 0x8F;
  } else {
    return 1;
  }
  std::size_t i = 1;
  for (; i <= need && i < n; ++i) {
    if (p[i] < lo || p[i] > hi) break;
    lo = 0x80;
    hi = 0xBF;
  }
  return i;
}

// Descriptors are stored as descriptor + 1 so that the null handle means "invalid",
// the same encoding the output-file functions use, so closeFile works on both.
FileHandle fromFd(int fd) {
  return fd < 0 ? kInvalidFile : reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}
int toFd(FileHandle file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1); }

}  // namespace

std::uint32_t ansiCodePage() { return gAnsiCodePage; }
std::uint32_t oemCodePage() { return gOemCodePage; }
void setAnsiCodePage(std::uint32_t codePage) { gAnsiCodePage = codePage; }
void setOemCodePage(std::uint32_t codePage) { gOemCodePage = codePage; }


std::size_t multiByteToUtf16(std::uint32_t codePage, bool strict, const unsigned char* bytes,
                             std::size_t size, char16_t* out, std::size_t capacity) {
  if (!bytes || size == 0 || (capacity > 0 && !out)) return 0;
  iconv_t cd = converterFor(codePage);
  if (cd == kNoConverter) return 0;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);

  const char16_t substitute = codePage == kCodePageUtf8 ? u'\uFFFD' : u'?';
  std::size_t count = 0;
  bool overflow = false;
  auto emit = [&](char16_t unit) {
    if (capacity > 0) {
      if (count < capacity)
        out[count] = unit;
      else
        overflow = true;
    }
    ++count;
  };
  char buffer[256];
  auto flush = [&](const char* end) {
    for (const char* p = buffer; p + 1 < end; p += 2)
      emit(static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                 (static_cast<unsigned char>(p[1]) << 8)));
  };

  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  std::size_t inLeft = size;
  while (inLeft > 0) {
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    std::size_t result = iconv(cd, &in, &inLeft, &o, &oLeft);
    int error = result == static_cast<std::size_t>(-1) ? errno : 0;
    flush(o);
    if (error == 0 || error == E2BIG) continue;
    if (error != EILSEQ && error != EINVAL) return 0;
    if (strict) return 0;
    std::size_t skip = 1;
    if (codePage == kCodePageUtf8)
      skip = utf8InvalidLength(reinterpret_cast<const unsigned char*>(in), inLeft);
    else if (error == EINVAL)
      skip = inLeft;
    if (skip > inLeft) skip = inLeft;
    emit(substitute);
    in += skip;
    inLeft -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  // Stateful encodings may still owe output for their final shift state.
  char* o = buffer;
  std::size_t oLeft = sizeof buffer;
  if (iconv(cd, nullptr, nullptr, &o, &oLeft) != static_cast<std::size_t>(-1)) flush(o);
  if (overflow) return 0;
  return count;
}

bool isDbcsLeadByte(std::uint32_t codePage, unsigned char b) {
  switch (codePage) {
    case 932: return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    case 936:
    case 949:
    case 950: return b >= 0x81 && b <= 0xFE;
    case 1361: return (b >= 0x84 && b <= 0xD3) || (b >= 0xD8 && b <= 0xDE) || (b >= 0xE0 && b <= 0xF9);
    default: return false;
  }
}

bool isSpaceUnit(char16_t unit) {
  switch (unit) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
      return true;
    default:
      return unit >= 0x2000 && unit <= 0x200A;
  }
}

FileHandle openFileForReading(const std::wstring& path) {
  if (path.empty()) return kInvalidFile;
  std::string narrow;
  for (wchar_t w : path) {
    auto c = static_cast<std::uint32_t>(w);
    if (c == 0) break;  // the path ends at a zero, as a C string would
    platform::appendUtf8(narrow, c == '\\' ? '/' : c);
  }
  int fd;
  do {
    fd = ::open(narrow.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fromFd(fd);
}

bool readFromFile(FileHandle file, void* buffer, std::size_t capacity, std::size_t& bytesRead) {
  bytesRead = 0;
  if (file == kInvalidFile || (capacity > 0 && !buffer)) return false;
  auto* p = static_cast<char*>(buffer);
  // Fill the buffer as far as the file allows, so that a short count means end of file.
  while (bytesRead < capacity) {
    ssize_t n = ::read(toFd(file), p + bytesRead, capacity - bytesRead);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    bytesRead += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace platform
