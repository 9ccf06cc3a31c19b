#pragma once

#include <functional>

namespace platform {

// The global concurrent queue of default priority: a fixed set of worker
// threads shared by the whole process, so work submitted to it may run at
// the same time as other work of it and as the caller. The workers live
// until the process ends.
class GlobalQueue {
 public:
  // The process-wide queue, its workers started on first use.
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
