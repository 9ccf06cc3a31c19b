#include "stand-ins/service/ReadPace.h"

#include <thread>

namespace standin {

namespace {

// A wake-up this late is still the link at work, and the next reads make up
// for it; a link quiet for longer was idle and saves up nothing.
constexpr auto kLateWakeUp = std::chrono::milliseconds(50);

}  // namespace

void ReadPace::take(std::size_t length) {
  if (bytesPerSecond_ <= 0) return;
  const auto carrying =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(
          static_cast<double>(length) / static_cast<double>(bytesPerSecond_)));
  std::chrono::steady_clock::time_point due;
  {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (now > idle_ + kLateWakeUp) idle_ = now;
    idle_ += carrying;
    due = idle_;
  }
  std::this_thread::sleep_until(due);
}

}  // namespace standin
