#include "cli/output_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// The temporary file of the conversion under way, for the signal handler.
std::atomic<const char*> pendingTemporary{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free);

extern "C" void removeTemporaryAndExit(int signal) {
  if (const char* path = pendingTemporary.load()) {
#if defined(_WIN32)
    _unlink(path);
#else
    ::unlink(path);
#endif
  }
  _exit(128 + signal);
}

#if defined(_WIN32)
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM};
#else
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
#endif

// Holds the cleanup signals back while the temporary file comes or goes, so that the
// handler never sees a file that exists but is not published, or the reverse.
class SignalBlock {
 public:
#if defined(_WIN32)
  SignalBlock() {}
#else
  SignalBlock() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kCleanupSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
#endif
};

int processId() {
#if defined(_WIN32)
  return _getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

// A name no other run uses: the process id tells concurrent runs apart, the counter and
// the clock the attempts of one run.
std::string temporaryName() {
  static unsigned counter = 0;
  auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  char name[64];
  std::snprintf(name, sizeof name, ".velotrix-%d-%u-%llx.tmp", processId(), ++counter,
                static_cast<unsigned long long>(ticks) & 0xFFFFFF);
  return name;
}

bool writable(const fs::path& path, fs::file_status status, std::string& error) {
#if defined(_WIN32)
  (void)path;
  if ((status.permissions() & fs::perms::owner_write) != fs::perms::none) return true;
  error = "the file is read-only";
  return false;
#else
  (void)status;
  if (::access(path.c_str(), W_OK) == 0) return true;
  error = std::strerror(errno);
  return false;
#endif
}

}  // namespace

bool OutputFile::open(const std::string& target, std::string& error) {
  discard();
  if (target == "-") {
    file_ = platform::standardOutput();
    if (file_ == platform::kInvalidFile) error = "standard output is closed";
    return file_ != platform::kInvalidFile;
  }

  std::error_code ec;
  fs::path path(target);
  // A symbolic link goes on naming the same file: that file is the one replaced.
  if (fs::is_symlink(fs::symlink_status(path, ec))) {
    fs::path real = fs::weakly_canonical(path, ec);
    if (!ec) path = real;
  }
  fs::file_status status = fs::status(path, ec);
  if (fs::is_directory(status)) {
    error = "it is a folder";
    return false;
  }
  if (fs::exists(status) && !fs::is_regular_file(status)) {
    // Devices and pipes cannot be replaced; they are written in place.
    errno = 0;
    file_ = platform::createOutputFileA(path.string().c_str());
    if (file_ == platform::kInvalidFile) error = errno ? std::strerror(errno) : "cannot open it";
    return file_ != platform::kInvalidFile;
  }

  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  fs::file_status folderStatus = fs::status(folder, ec);
  if (!fs::is_directory(folderStatus)) {
    error = fs::exists(folderStatus) ? "'" + folder.string() + "' is a file, not a folder"
                                     : "the folder '" + folder.string() + "' does not exist";
    return false;
  }
  if (fs::exists(status) && !writable(path, status, error)) return false;

  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = (folder / temporaryName()).string();
    SignalBlock block;
    file_ = platform::createNewFile(candidate, error);
    if (file_ == platform::kInvalidFile) {
      if (fs::exists(fs::symlink_status(candidate, ec))) continue;  // taken: try another name
      return false;
    }
    temporary_ = std::move(candidate);
    target_ = path.string();
    pendingTemporary.store(temporary_.c_str());
    break;
  }
  if (file_ == platform::kInvalidFile) return false;
  // The result keeps the permissions of the file it replaces.
  if (fs::exists(status)) fs::permissions(temporary_, status.permissions(), ec);
  error.clear();
  return true;
}

platform::FileHandle OutputFile::handOff() const { return platform::duplicateFile(file_); }

bool OutputFile::commit(std::string& error) {
  if (file_ == platform::kInvalidFile) {
    error = "the output is not open";
    return false;
  }
  bool written = temporary_.empty() || platform::flushFile(file_);
  written = platform::closeFile(file_) && written;
  file_ = platform::kInvalidFile;
  if (!written) {
    error = "the data did not reach the disk";
    discard();
    return false;
  }
  if (temporary_.empty()) return true;
  SignalBlock block;
  if (!platform::replaceFile(temporary_, target_, error)) {
    discard();
    return false;
  }
  pendingTemporary.store(nullptr);
  temporary_.clear();
  return true;
}

void OutputFile::discard() {
  if (file_ != platform::kInvalidFile) platform::closeFile(file_);
  file_ = platform::kInvalidFile;
  if (temporary_.empty()) return;
  SignalBlock block;
  platform::removeFile(temporary_);
  pendingTemporary.store(nullptr);
  temporary_.clear();
}

void InstallSignalCleanup() {
#if defined(_WIN32)
  for (int s : kCleanupSignals) std::signal(s, removeTemporaryAndExit);
#else
  for (int s : kCleanupSignals) {
    struct sigaction current{};
    if (sigaction(s, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action{};
    action.sa_handler = removeTemporaryAndExit;
    sigemptyset(&action.sa_mask);
    for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
    sigaction(s, &action, nullptr);
  }
  // Past a file size limit (ulimit -f) a write then fails instead of ending the program,
  // so the temporary file is removed like after any other write error.
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}
