// Output files for posix, on plain file descriptors.
#include "platform/platform.h"
#include "platform/unicode.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// Descriptors are stored as descriptor + 1 so that the null handle means "invalid".
FileHandle fromFd(int fd) {
  return fd < 0 ? kInvalidFile : reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}
int toFd(FileHandle file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1); }

}  // namespace

const FileHandle kInvalidFile = nullptr;

FileHandle createOutputFileA(const char* path) {
  if (!path || !*path) return kInvalidFile;
  return fromFd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

FileHandle createOutputFileW(const std::wstring& path) {
  // Paths on posix are byte strings; characters beyond ASCII are written as UTF-8.
  return createOutputFileA(wideToUtf8(path).c_str());
}

FileHandle standardOutput() { return fromFd(::dup(STDOUT_FILENO)); }

bool writeFile(FileHandle file, const void* data, std::size_t size) {
  if (file == kInvalidFile) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(toFd(file), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void closeFile(FileHandle file) {
  if (file != kInvalidFile) ::close(toFd(file));
}

}  // namespace platform
