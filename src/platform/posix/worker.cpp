// A second thread for work that overlaps the caller's.
#include "platform/platform.h"
#include "platform/posix/threads.h"

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <utility>

namespace platform {

bool startQuietThread(std::thread& thread, std::function<void()> body) {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  bool started = true;
  try {
    thread = std::thread(std::move(body));
  } catch (...) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

struct Worker {
  std::mutex lock;
  std::condition_variable changed;
  std::function<void()> task;  // the task in flight, or empty
  bool busy = false;
  bool ending = false;
  std::thread thread;

  void run() {
    std::unique_lock<std::mutex> hold(lock);
    for (;;) {
      changed.wait(hold, [this] { return busy || ending; });
      if (!busy) return;
      std::function<void()> current = std::move(task);
      hold.unlock();
      current();
      current = nullptr;
      hold.lock();
      busy = false;
      changed.notify_all();
    }
  }

  void waitIdle(std::unique_lock<std::mutex>& hold) {
    changed.wait(hold, [this] { return !busy; });
  }
};

Worker* startWorker() {
  auto* worker = new Worker;
  if (!startQuietThread(worker->thread, [worker] { worker->run(); })) {
    delete worker;
    return nullptr;
  }
  return worker;
}

void runOnWorker(Worker* worker, std::function<void()> task) {
  std::unique_lock<std::mutex> hold(worker->lock);
  worker->waitIdle(hold);
  worker->task = std::move(task);
  worker->busy = true;
  worker->changed.notify_all();
}

void waitWorker(Worker* worker) {
  std::unique_lock<std::mutex> hold(worker->lock);
  worker->waitIdle(hold);
}

void endWorker(Worker* worker) {
  {
    std::unique_lock<std::mutex> hold(worker->lock);
    worker->waitIdle(hold);
    worker->ending = true;
    worker->changed.notify_all();
  }
  worker->thread.join();
  delete worker;
}

}  // namespace platform
