// Output files for posix, on plain file descriptors.
#include "platform/platform.h"
#include "platform/posix/threads.h"
#include "platform/unicode.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace platform {
namespace {

// Descriptors are stored as descriptor + 1 so that the null handle means "invalid".
FileHandle fromFd(int fd) {
  return fd < 0 ? kInvalidFile : reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}
int toFd(FileHandle file) { return static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1); }

FileHandle pendingOverride = nullptr;
bool pendingFlushedAtEnd = false;
// The override last handed out, when it is flushed at its end: its writer starts the
// writeback early.
FileHandle earlyWriteback = nullptr;

}  // namespace

const FileHandle kInvalidFile = nullptr;

FileHandle setOutputOverride(FileHandle file, bool flushedAtEnd) {
  FileHandle previous = pendingOverride;
  pendingOverride = file;
  pendingFlushedAtEnd = flushedAtEnd;
  return previous;
}

FileHandle createOutputFileA(const char* path) {
  if (pendingOverride != kInvalidFile) {
    FileHandle file = pendingOverride;
    pendingOverride = kInvalidFile;
    earlyWriteback = pendingFlushedAtEnd ? file : kInvalidFile;
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

namespace {
std::atomic<int> lastWriteErrno{0};  // written by the writer threads too
}  // namespace

std::string lastWriteError() {
  const int e = lastWriteErrno.load();
  return e ? std::strerror(e) : std::string();
}

bool writeFile(FileHandle file, const void* data, std::size_t size) {
  if (file == kInvalidFile) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(toFd(file), p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      // A write that takes nothing without an error is a full device.
      lastWriteErrno = n < 0 ? errno : ENOSPC;
      return false;
    }
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

// One thread per writer takes the blocks handed over and writes them in order. (A writer
// of its own rather than a worker's tasks: handing over a block is then only a pointer and a
// size, which measured faster for the many blocks of a large document.)
struct WriteBehind {
  FileHandle file = kInvalidFile;
  bool writeback = false;  // start putting each block on the disk (Linux)
  std::uint64_t written = 0;
  std::mutex lock;
  std::condition_variable changed;
  const void* data = nullptr;  // the block in flight, or nullptr
  std::size_t size = 0;
  bool failed = false;
  bool ending = false;
  std::thread thread;

  bool write(const void* block, std::size_t count) {
    if (!writeFile(file, block, count)) return false;
#if defined(__linux__)
    if (writeback)
      ::sync_file_range(toFd(file), static_cast<off_t>(written), static_cast<off_t>(count), SYNC_FILE_RANGE_WRITE);
#endif
    written += count;
    return true;
  }

  void run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [this] { return data != nullptr || ending; });
      if (data == nullptr) return;
      const void* block = data;
      const std::size_t count = size;
      const bool skip = failed;
      hold.unlock();
      const bool ok = skip || write(block, count);
      hold.lock();
      if (!ok) failed = true;
      data = nullptr;
      changed.notify_all();
    }
  }

  void waitIdle(std::unique_lock<std::mutex>& hold) {
    changed.wait(hold, [this] { return data == nullptr; });
  }
};

WriteBehind* startWriteBehind(FileHandle file) {
  // Only regular files: a pipe or terminal is written as it comes, so that a reader that
  // goes away stops the writer the usual way.
  struct stat info {};
  if (file == kInvalidFile || ::fstat(toFd(file), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
  auto* writer = new WriteBehind;
  writer->file = file;
  writer->writeback = file == earlyWriteback;
  earlyWriteback = kInvalidFile;
  if (!startQuietThread(writer->thread, [writer] { writer->run(); })) {
    delete writer;
    return nullptr;
  }
  return writer;
}

bool writeBehind(WriteBehind* writer, const void* data, std::size_t size) {
  std::unique_lock<std::mutex> hold(writer->lock);
  writer->waitIdle(hold);
  if (writer->failed) return false;
  if (size == 0) return true;
  writer->data = data;
  writer->size = size;
  writer->changed.notify_all();
  return true;
}

bool waitWriteBehind(WriteBehind* writer) {
  std::unique_lock<std::mutex> hold(writer->lock);
  writer->waitIdle(hold);
  return !writer->failed;
}

bool endWriteBehind(WriteBehind* writer) {
  bool ok;
  {
    std::unique_lock<std::mutex> hold(writer->lock);
    writer->waitIdle(hold);
    ok = !writer->failed;
    writer->ending = true;
    writer->changed.notify_all();
  }
  writer->thread.join();
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
