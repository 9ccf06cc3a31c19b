#include "platform/GlobalQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// How many workers run global-queue work at most at once.
constexpr int kWorkerCount = 4;

// Whether the calling thread is a global-queue worker.
thread_local bool onGlobalQueue = false;

}  // namespace

struct GlobalQueue::State {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> work;

  // Takes work in submission order, forever.
  void serve() {
    onGlobalQueue = true;
    std::unique_lock lock(mutex);
    for (;;) {
      wake.wait(lock, [&] { return !work.empty(); });
      std::function<void()> next = std::move(work.front());
      work.pop_front();
      lock.unlock();
      next();
      next = nullptr;
      lock.lock();
    }
  }
};

GlobalQueue::GlobalQueue() : state_(new State) {
  for (int i = 0; i < kWorkerCount; ++i) std::thread([state = state_] { state->serve(); }).detach();
}

GlobalQueue& GlobalQueue::defaultQueue() {
  // Never destroyed: its workers may still run while the process exits.
  static GlobalQueue* queue = new GlobalQueue;
  return *queue;
}

void GlobalQueue::async(std::function<void()> work) {
  {
    std::lock_guard lock(state_->mutex);
    state_->work.push_back(std::move(work));
  }
  state_->wake.notify_one();
}

bool GlobalQueue::isCurrent() { return onGlobalQueue; }

}  // namespace platform
