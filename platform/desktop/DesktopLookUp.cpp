#include "platform/desktop/DesktopLookUp.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

namespace {

constexpr std::chrono::seconds kLookUpLimit{5};

std::atomic<bool> stalled{false};

}  // namespace

bool runDesktopLookUp(std::function<void()> work) {
  if (stalled) return false;
  struct Completion {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
  };
  auto completion = std::make_shared<Completion>();
  std::thread([completion, work = std::move(work)] {
    work();
    std::lock_guard lock(completion->mutex);
    completion->finished = true;
    completion->done.notify_all();
  }).detach();
  std::unique_lock lock(completion->mutex);
  if (completion->done.wait_for(lock, kLookUpLimit, [&] { return completion->finished; }))
    return true;
  stalled = true;
  return false;
}

}  // namespace platform
