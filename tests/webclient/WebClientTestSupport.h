#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>

#include "QVXWebClient/QVXWebClient/QVXWebClient.h"
#include "tests/support/LoopbackHTTPServer.h"

namespace webclienttest {

// The bytes of a text.
inline platform::Bytes bytes(std::string_view text) {
  return platform::Bytes(text.begin(), text.end());
}

// The text of bytes.
inline std::string text(const platform::Bytes& data) {
  return std::string(data.begin(), data.end());
}

// A regular expression matching the assertion report of the given parts.
inline std::string assertionReport(const std::string& condition, const std::string& operation,
                                   const std::string& file, int line) {
  std::string plain = "Assertion failure in " + operation + ", " + file + ":" +
                      std::to_string(line) + ": Invalid parameter not satisfying: " + condition;
  std::string escaped;
  for (char c : plain) {
    if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Sends the request synchronously through a client on the base URL and
// returns the response the callback saw.
inline std::shared_ptr<QVXWebResponse> sendSync(const std::string& baseURL,
                                                std::shared_ptr<QVXWebRequest> request) {
  std::shared_ptr<QVXWebResponse> seen;
  auto client = QVXWebClient::initWithURL(baseURL);
  client->syncStartRequest_completion(
      request, [&](std::shared_ptr<QVXWebResponse> response) { seen = response; });
  return seen;
}

// Waits for a flag set from another thread.
class Signal {
 public:
  void raise() {
    std::lock_guard lock(mutex_);
    ++count_;
    changed_.notify_all();
  }
  // Whether the signal came within the time.
  bool wait(std::chrono::seconds limit = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return count_ > 0; });
  }
  int count() {
    std::lock_guard lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_ = 0;
};

}  // namespace webclienttest
