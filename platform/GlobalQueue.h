#pragma once

#include <functional>

namespace platform {

// The global concurrent queue of default priority: worker threads shared by
// the whole process, so work submitted to it may run at the same time as
// other work of it and as the caller. A worker is added whenever work waits
// with no worker idle (up to 64), so work that blocks until later work of
// the queue has run does not stall it. The workers live until the process
// ends.
class GlobalQueue {
 public:
  // The process-wide queue, its workers started as work arrives.
  static GlobalQueue& defaultQueue();

  // Submits the work and returns at once.
  void async(std::function<void()> work);

  // Whether the calling thread is one of the queue's workers.
  static bool isCurrent();

 private:
  GlobalQueue();
  struct State;
  State* state_;
};

}  // namespace platform
