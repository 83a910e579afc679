// Threads of the posix layer start with every signal blocked: signals are the main
// thread's to take.
#pragma once

#include <functional>
#include <thread>

namespace platform {

// Starts `body` on a new thread; false (and `thread` left empty) when none can be started.
bool startQuietThread(std::thread& thread, std::function<void()> body);

}  // namespace platform
