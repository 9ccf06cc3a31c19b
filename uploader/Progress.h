#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "service/DSYMUploadPipeline.h"

// Shows how an upload that takes more than 2 seconds goes: bytes sent of
// the total and the rate. On a terminal one line is updated in place;
// otherwise a record is written every 10 seconds.
class ConsoleUploadProgress : public UploadProgressDisplay {
 public:
  explicit ConsoleUploadProgress(bool terminal) : terminal_(terminal) {}
  void sendBegins(const DSYMUploadDescription& description) override;
  void bytesSent(std::uint64_t sent, std::uint64_t total) override;
  void sendEnds() override;

 private:
  using Clock = std::chrono::steady_clock;
  std::mutex mutex_;
  const bool terminal_;
  std::string name_;
  Clock::time_point begun_, lastShown_;
  bool shown_ = false;
};

// "12.3 MB of 45.6 MB sent (7.8 MB/s)": the progress text.
std::string progressText(std::uint64_t sent, std::uint64_t total, double seconds);
