// A second thread for work that overlaps the caller's.
#include "platform/platform.h"

#include <condition_variable>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <thread>
#include <utility>

namespace platform {

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
  // Signals are the main thread's to take: the worker starts with all of them blocked.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, &previous);
  try {
    worker->thread = std::thread([worker] { worker->run(); });
  } catch (...) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    delete worker;
    return nullptr;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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
