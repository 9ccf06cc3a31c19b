#include "stand-ins/service/ReadPace.h"

#include <algorithm>
#include <thread>

namespace standin {

void ReadPace::take(std::size_t length) {
  if (bytesPerSecond_ <= 0) return;
  const auto carrying =
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(
          static_cast<double>(length) / static_cast<double>(bytesPerSecond_)));
  std::chrono::steady_clock::time_point due;
  {
    std::lock_guard lock(mutex_);
    // An idle link saves up nothing for later.
    idle_ = std::max(idle_, std::chrono::steady_clock::now()) + carrying;
    due = idle_;
  }
  std::this_thread::sleep_until(due);
}

}  // namespace standin
