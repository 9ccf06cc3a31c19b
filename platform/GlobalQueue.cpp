#include "platform/GlobalQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace platform {

namespace {

// How many workers run global-queue work at most at once. Workers start as
// work waits with none idle, so work that blocks until other work of the
// queue has run does not starve it.
constexpr int kMaxWorkerCount = 64;

// Whether the calling thread is a global-queue worker.
thread_local bool onGlobalQueue = false;

}  // namespace

struct GlobalQueue::State {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> work;
  int workers = 0;
  int idle = 0;  // workers waiting for work

  // Takes work in submission order, forever.
  void serve() {
    onGlobalQueue = true;
    std::unique_lock lock(mutex);
    for (;;) {
      ++idle;
      wake.wait(lock, [&] { return !work.empty(); });
      --idle;
      std::function<void()> next = std::move(work.front());
      work.pop_front();
      lock.unlock();
      next();
      next = nullptr;
      lock.lock();
    }
  }

  // Starts one more worker when more work waits than workers are idle (lock held).
  void growIfNeeded() {
    if (static_cast<int>(work.size()) <= idle || workers >= kMaxWorkerCount) return;
    try {
      std::thread([this] { serve(); }).detach();
      ++workers;
    } catch (const std::system_error&) {
      // The workers already running take the work in turn.
    }
  }
};

GlobalQueue::GlobalQueue() : state_(new State) {}

GlobalQueue& GlobalQueue::defaultQueue() {
  // Never destroyed: its workers may still run while the process exits.
  static GlobalQueue* queue = new GlobalQueue;
  return *queue;
}

void GlobalQueue::async(std::function<void()> work) {
  {
    std::lock_guard lock(state_->mutex);
    state_->work.push_back(std::move(work));
    state_->growIfNeeded();
  }
  state_->wake.notify_one();
}

bool GlobalQueue::isCurrent() { return onGlobalQueue; }

}  // namespace platform
