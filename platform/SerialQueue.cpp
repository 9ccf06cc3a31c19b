#include "platform/SerialQueue.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/Assert.h"

namespace platform {

namespace {

// The queue whose work the calling thread runs, if any.
thread_local const void* currentQueue = nullptr;

}  // namespace

struct SerialQueue::State {
  std::string label;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<std::function<void()>> work;
  bool ending = false;
  std::thread thread;

  // Runs submitted work in order until the queue ends and nothing is left.
  static void run(std::shared_ptr<State> state) {
    currentQueue = state.get();
    std::unique_lock lock(state->mutex);
    for (;;) {
      state->wake.wait(lock, [&] { return state->ending || !state->work.empty(); });
      if (state->work.empty()) break;
      std::function<void()> next = std::move(state->work.front());
      state->work.pop_front();
      lock.unlock();
      next();
      next = nullptr;  // the work's captures end on this thread, outside the lock
      lock.lock();
    }
    currentQueue = nullptr;
  }
};

SerialQueue::SerialQueue(std::string label) : state_(std::make_shared<State>()) {
  state_->label = std::move(label);
}

SerialQueue::~SerialQueue() {
  std::thread thread;
  {
    std::lock_guard lock(state_->mutex);
    state_->ending = true;
    thread = std::move(state_->thread);
  }
  state_->wake.notify_all();
  if (!thread.joinable()) return;
  // The last owner may drop the queue from inside its own work; the thread
  // then finishes on its own, holding the state.
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();
  } else {
    thread.join();
  }
}

const std::string& SerialQueue::label() const { return state_->label; }

void SerialQueue::async(std::function<void()> work) {
  // The work may end this queue object before the wake-up below; the state
  // outlives it.
  std::shared_ptr<State> state = state_;
  {
    std::lock_guard lock(state->mutex);
    state->work.push_back(std::move(work));
    if (!state->thread.joinable()) state->thread = std::thread(State::run, state);
  }
  state->wake.notify_one();
}

void SerialQueue::sync(const std::function<void()>& work) {
  QVX_ASSERT(!isCurrent(), "!isCurrent()", "-[SerialQueue sync:]", "platform/SerialQueue",
             __LINE__);
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool done = false;
  async([&] {
    work();
    std::lock_guard lock(doneMutex);
    done = true;
    doneSignal.notify_one();
  });
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return done; });
}

bool SerialQueue::isCurrent() const { return currentQueue == state_.get(); }

}  // namespace platform
