// Output files for posix, on plain file descriptors.
#include "platform/platform.h"
#include "platform/unicode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Descriptors are stored as descriptor + 1 so that the null handle means "invalid".
FileHandle fromFd(int fd) {
  return fd < 0 ? kInvalidFile : reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}
int toFd(FileHandle file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1); }

FileHandle pendingOverride = nullptr;

}  // namespace

const FileHandle kInvalidFile = nullptr;

FileHandle setOutputOverride(FileHandle file) {
  FileHandle previous = pendingOverride;
  pendingOverride = file;
  return previous;
}

FileHandle createOutputFileA(const char* path) {
  if (pendingOverride != kInvalidFile) {
    FileHandle file = pendingOverride;
    pendingOverride = kInvalidFile;
    return file;
  }
  if (!path || !*path) return kInvalidFile;
  return fromFd(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
}

FileHandle createOutputFileW(const std::wstring& path) {
  // Paths on posix are byte strings; characters beyond ASCII are written as UTF-8.
  return createOutputFileA(wideToUtf8(path).c_str());
}

FileHandle standardOutput() { return fromFd(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0)); }

FileHandle createNewFile(const std::string& path, std::string& error) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) error = std::strerror(errno);
  return fromFd(fd);
}

FileHandle duplicateFile(FileHandle file) {
  if (file == kInvalidFile) return kInvalidFile;
  return fromFd(::fcntl(toFd(file), F_DUPFD_CLOEXEC, 0));
}

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

bool flushFile(FileHandle file) {
  if (file == kInvalidFile) return false;
  int rc;
  do rc = ::fsync(toFd(file));
  while (rc < 0 && errno == EINTR);
  // Pipes and terminals cannot be synced; nothing is lost by that.
  return rc == 0 || errno == EINVAL || errno == EROFS;
}

bool closeFile(FileHandle file) {
  if (file == kInvalidFile) return true;
  // The descriptor is gone after close even when it reports EINTR, so it is not retried.
  return ::close(toFd(file)) == 0 || errno == EINTR;
}

// A writer is a worker whose tasks write the blocks handed over, in order.
struct WriteBehind {
  Worker* worker = nullptr;
  FileHandle file = kInvalidFile;
  bool failed = false;  // set by the worker's tasks, read after waiting for them
};

WriteBehind* startWriteBehind(FileHandle file) {
  // Only regular files: a pipe or terminal is written as it comes, so that a reader that
  // goes away stops the writer the usual way.
  struct stat info {};
  if (file == kInvalidFile || ::fstat(toFd(file), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  Worker* worker = startWorker();
  if (!worker) return nullptr;
  return new WriteBehind{worker, file, false};
}

bool writeBehind(WriteBehind* writer, const void* data, std::size_t size) {
  waitWorker(writer->worker);
  if (writer->failed) return false;
  if (size == 0) return true;
  runOnWorker(writer->worker, [writer, data, size] {
    if (!writeFile(writer->file, data, size)) writer->failed = true;
  });
  return true;
}

bool waitWriteBehind(WriteBehind* writer) {
  waitWorker(writer->worker);
  return !writer->failed;
}

bool endWriteBehind(WriteBehind* writer) {
  endWorker(writer->worker);
  const bool ok = !writer->failed;
  delete writer;
  return ok;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  error = std::strerror(errno);
  return false;
}

bool removeFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace platform
