#include "cli/batch.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#if !defined(_WIN32)
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/cli.h"
#include "cli/output_file.h"

namespace {

int runSequentially(const std::vector<std::string>& names, std::FILE* report,
                    ProgressLine& progress, const ConvertInput& convert) {
  int worst = kExitOk;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::uint64_t equations = 0;
    worst = std::max(worst, convert(i, report, equations));
    progress.endFile(equations);
  }
  return worst;
}

#if !defined(_WIN32)
constexpr int kForwardedSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr unsigned kMaxJobs = 256;
// The running workers, for the signal handler: a signal that ends the batch ends them too,
// and each removes its own temporary file.
pid_t workers[kMaxJobs];

extern "C" void stopWorkers(int signal) {
  for (pid_t pid : workers)
    if (pid > 0) ::kill(pid, signal);
  _exit(128 + signal);
}

// Blocks the forwarded signals for its lifetime.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kForwardedSignals) sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &previous_);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

// A worker's held-back output: its standard error, and a file with its equation count
// (a fixed-width first line) followed by its report lines when the report goes to a file.
struct Worker {
  pid_t pid = 0;
  std::FILE* messages = nullptr;
  std::FILE* side = nullptr;
  bool done = false;
  int status = kExitOk;
};

constexpr int kCountWidth = 20;

std::string readBack(std::FILE* f, long from) {
  std::string bytes;
  if (!f || std::fseek(f, from, SEEK_SET) != 0) return bytes;
  char chunk[1 << 16];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
  return bytes;
}

void runWorker(std::size_t index, Worker& w, std::FILE* report, ProgressLine& progress,
               const ConvertInput& convert) {
  progress.disable();  // the batch's process draws the line
  // Back to the handlers of a single conversion, before the signals come through again.
  for (int s : kForwardedSignals)
    if (std::signal(s, SIG_DFL) == SIG_IGN) std::signal(s, SIG_IGN);
  InstallSignalCleanup();
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  std::fflush(stderr);
  ::dup2(::fileno(w.messages), STDERR_FILENO);
  std::fprintf(w.side, "%0*d\n", kCountWidth, 0);
  std::uint64_t equations = 0;
  const int status =
      convert(index, report == nullptr || report == stderr ? report : w.side, equations);
  std::fflush(stderr);
  std::fflush(w.side);
  std::fseek(w.side, 0, SEEK_SET);
  std::fprintf(w.side, "%0*llu", kCountWidth, static_cast<unsigned long long>(equations));
  std::fflush(w.side);
  _exit(status);
}

int runInWorkers(const std::vector<std::string>& names, unsigned jobs, std::FILE* report,
                 ProgressLine& progress, const ConvertInput& convert) {
  jobs = std::min(jobs, kMaxJobs);
  std::vector<Worker> all(names.size());
  std::vector<std::size_t> slots;  // the slot in `workers` of each running input
  std::vector<std::size_t> slotOf(names.size(), kMaxJobs);
  for (int s : kForwardedSignals) {
    struct sigaction now {};
    sigaction(s, nullptr, &now);
    if (now.sa_handler != SIG_IGN) std::signal(s, stopWorkers);
  }
  int worst = kExitOk;
  std::size_t next = 0, written = 0, running = 0;
  std::fflush(stdout);
  std::fflush(stderr);
  if (report) std::fflush(report);
  while (written < names.size()) {
    while (running < jobs && next < names.size()) {
      Worker& w = all[next];
      w.messages = std::tmpfile();
      w.side = std::tmpfile();
      if (!w.messages || !w.side) {
        w.done = true;
        w.status = kExitOutput;
        ++next;
        continue;
      }
      std::size_t slot = 0;
      while (workers[slot] > 0) ++slot;
      SignalsHeld held;
      w.pid = ::fork();
      if (w.pid == 0) runWorker(next, w, report, progress, convert);
      if (w.pid < 0) {
        w.done = true;
        w.status = kExitOutput;
      } else {
        workers[slot] = w.pid;
        slotOf[next] = slot;
        ++running;
      }
      ++next;
    }
    if (running > 0) {
      int raw = 0;
      const pid_t pid = ::waitpid(-1, &raw, 0);
      if (pid < 0) {
        if (errno == EINTR) continue;
        break;
      }
      for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].pid != pid || all[i].done) continue;
        all[i].done = true;
        all[i].status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
        if (WIFSIGNALED(raw))
          std::fprintf(all[i].messages, "velotrix: the conversion of '%s' ended by signal %d\n",
                       names[i].c_str(), WTERMSIG(raw));
        workers[slotOf[i]] = 0;
        --running;
      }
    }
    // Whatever has ended in input order is written out now.
    for (; written < names.size() && all[written].done; ++written) {
      Worker& w = all[written];
      if (!w.messages || !w.side) {
        progress.clear();
        std::fprintf(stderr, "velotrix: cannot convert '%s': no temporary file or process: %s\n",
                     names[written].c_str(), std::strerror(errno));
      } else {
        const std::string side = readBack(w.side, 0);
        const std::string messages = readBack(w.messages, 0);
        if (!messages.empty()) {
          progress.clear();
          std::fwrite(messages.data(), 1, messages.size(), stderr);
        }
        if (report && report != stderr && side.size() > kCountWidth + 1)
          std::fwrite(side.data() + kCountWidth + 1, 1, side.size() - kCountWidth - 1, report);
        progress.endFile(std::strtoull(side.substr(0, kCountWidth).c_str(), nullptr, 10));
      }
      if (w.messages) std::fclose(w.messages);
      if (w.side) std::fclose(w.side);
      worst = std::max(worst, w.status);
    }
    if (running == 0 && next >= names.size() && written < names.size()) break;  // lost children
  }
  if (report) std::fflush(report);
  return worst;
}
#endif

}  // namespace

unsigned defaultJobs() {
#if defined(_WIN32)
  return 1;  // batches run one input after another there
#else
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : n;
#endif
}

int runBatch(const std::vector<std::string>& names, unsigned jobs, std::FILE* report,
             ProgressLine& progress, const ConvertInput& convert) {
#if !defined(_WIN32)
  // (Standard input is never one of several inputs: the command line refuses that.)
  if (jobs > 1 && names.size() > 1) return runInWorkers(names, jobs, report, progress, convert);
#else
  (void)jobs;
#endif
  return runSequentially(names, report, progress, convert);
}
