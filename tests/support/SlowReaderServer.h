#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// How a slow reader takes its requests' bodies.
struct SlowReaderOptions {
  // Body bytes read in each tick, then it sleeps until the next one.
  std::size_t bytesPerTick = 48 * 1024;
  std::chrono::milliseconds tick{1000};
  // Stop reading a body after this many of its bytes, keeping the
  // connection open (and unanswered) until the server ends.
  std::optional<std::size_t> stopReadingAfter;
  // The status line of the answer to a body read to its end.
  std::string statusLine = "HTTP/1.1 201 Created";
  // SO_RCVBUF of the listening socket, which accepted sockets inherit. On
  // loopback a receiver acknowledges bytes as soon as they land in its
  // receive buffer, so only a small one makes a slow reader look like a
  // congested path, whose acknowledgements come as slowly as the reading.
  int receiveBuffer = 16 * 1024;

  // An answer that comes slowly, to requests whose request line holds
  // onlyFor (every request when empty): atOnce as soon as the body is read,
  // then `slowly` sent `repeat` times, `step` bytes at a time, one step every
  // `pace`, until all of it is sent, the client goes or the server ends.
  struct SlowAnswer {
    std::string onlyFor;
    std::string atOnce;
    std::string slowly;
    std::size_t step = 1;
    std::chrono::milliseconds pace{1000};
    std::uint64_t repeat = 1;
  };
  std::optional<SlowAnswer> slowAnswer;
};

// One connection as a slow reader saw it.
struct SlowReadConnection {
  using Clock = std::chrono::steady_clock;
  std::string requestLine;
  std::uint64_t contentLength = 0;
  std::uint64_t bodyRead = 0;
  Clock::time_point accepted;
  std::optional<Clock::time_point> lastBodyByte;    // when the body was read to its end
  std::optional<Clock::time_point> stoppedReading;  // when stopReadingAfter was reached
  // How long before the end of the body every unread byte of it already lay
  // in the kernel's queues: the time the client had nothing left to hand
  // over while the reader still took its bytes.
  Clock::duration bodyInKernelBeforeEnd{};
  bool answered = false;         // the body was read to its end and the answer sent
  std::uint64_t answerSent = 0;  // bytes of a slow answer sent
};

// A plain HTTP/1.1 server on 127.0.0.1 that reads request bodies slowly
// (or stops reading them), one thread per connection, each connection
// recorded. It ends every connection when it ends itself.
class SlowReaderServer {
 public:
  explicit SlowReaderServer(SlowReaderOptions options = {});
  ~SlowReaderServer();
  SlowReaderServer(const SlowReaderServer&) = delete;
  SlowReaderServer& operator=(const SlowReaderServer&) = delete;

  int port() const { return port_; }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The connections so far, in order of arrival.
  std::vector<SlowReadConnection> connections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace testsupport
