#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>

namespace standin {

// Holds the reading of request bodies to a rate, as a link of that speed
// would: every connection draws on the one budget, so bodies sent at once
// share it, and the sender waits while the kernel's buffers are full.
class ReadPace {
 public:
  // BYTESPERSECOND 0: no limit.
  explicit ReadPace(long long bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}

  // Returns once LENGTH more bytes could have crossed the link.
  void take(std::size_t length);

 private:
  long long bytesPerSecond_;
  std::mutex mutex_;
  std::chrono::steady_clock::time_point idle_;  // when the link has carried all taken bytes
};

}  // namespace standin
