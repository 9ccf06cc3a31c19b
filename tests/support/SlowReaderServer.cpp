#include "tests/support/SlowReaderServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string_view>
#include <thread>

#include "tests/support/TCPQueues.h"

namespace testsupport {

namespace {

using Clock = SlowReadConnection::Clock;

// The Content-Length of a request head, 0 without one.
std::uint64_t contentLengthOf(const std::string& head) {
  std::string lower = head;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  std::size_t at = lower.find("\r\ncontent-length:");
  return at == std::string::npos ? 0 : std::stoull(head.substr(at + 17));
}

int peerPort(int fd) {
  sockaddr_in address{};
  socklen_t length = sizeof(address);
  getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

struct SlowReaderServer::Impl {
  SlowReaderOptions options;
  int listener = -1;
  int port = 0;
  std::thread acceptor;
  mutable std::mutex mutex;
  std::condition_variable ending;
  bool stopping = false;
  std::vector<SlowReadConnection> connections;
  std::vector<int> sockets;
  std::vector<std::thread> workers;

  void acceptLoop() {
    for (;;) {
      int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard lock(mutex);
      if (fd < 0 || stopping) {
        if (fd >= 0) close(fd);
        return;
      }
      SlowReadConnection record;
      record.accepted = Clock::now();
      connections.push_back(record);
      sockets.push_back(fd);
      workers.emplace_back([this, fd, index = connections.size() - 1] { serve(fd, index); });
    }
  }

  template <typename Change>
  void update(std::size_t index, Change change) {
    std::lock_guard lock(mutex);
    change(connections[index]);
  }

  // Reads the head; body bytes read with it are returned in *extra.
  bool readHead(int fd, std::string* head, std::uint64_t* extra) {
    char buffer[1024];
    std::size_t end;
    while ((end = head->find("\r\n\r\n")) == std::string::npos) {
      ssize_t got = read(fd, buffer, sizeof(buffer));
      if (got <= 0) return false;
      head->append(buffer, static_cast<std::size_t>(got));
    }
    *extra = head->size() - (end + 4);
    head->resize(end + 4);
    return true;
  }

  // Reads the rest of a body of LENGTH bytes, READ of them already read,
  // tick by tick; false when the connection ended or reading stopped.
  bool readBody(int fd, std::size_t index, std::uint64_t length, std::uint64_t read) {
    int client = peerPort(fd);
    const Clock::time_point kNotYet = Clock::time_point::max();
    Clock::time_point inKernelSince = kNotYet;
    std::vector<char> buffer(std::min<std::size_t>(options.bytesPerTick, 64 * 1024));
    std::uint64_t stopAt =
        std::min<std::uint64_t>(length, options.stopReadingAfter.value_or(length));
    while (read < length) {
      auto tickEnd = Clock::now() + options.tick;
      std::uint64_t quota =
          read < stopAt ? std::min<std::uint64_t>(options.bytesPerTick, stopAt - read) : 0;
      for (std::uint64_t taken = 0; taken < quota;) {
        ssize_t got =
            ::read(fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), quota - taken));
        if (got <= 0) return false;
        taken += static_cast<std::uint64_t>(got);
        read += static_cast<std::uint64_t>(got);
      }
      auto now = Clock::now();
      bool inKernel = unreadBodyIsInTheKernel(port, client, length - read);
      if (!inKernel) inKernelSince = kNotYet;
      if (inKernel && inKernelSince == kNotYet) inKernelSince = now;
      update(index, [&](SlowReadConnection& c) {
        c.bodyRead = read;
        if (read == length) {
          c.lastBodyByte = now;
          if (inKernelSince != kNotYet) c.bodyInKernelBeforeEnd = now - inKernelSince;
        }
        if (read >= stopAt && read < length) c.stoppedReading = now;
      });
      if (read >= stopAt && read < length) {
        std::unique_lock lock(mutex);
        ending.wait(lock, [&] { return stopping; });
        return false;
      }
      // A shut-down socket still gives what its buffer holds: the server's
      // end is told apart.
      std::unique_lock lock(mutex);
      if (read < length && ending.wait_until(lock, tickEnd, [&] { return stopping; })) return false;
    }
    return true;
  }

  void serve(int fd, std::size_t index) {
    std::string head;
    std::uint64_t read = 0;
    if (!readHead(fd, &head, &read)) return;
    std::uint64_t length = contentLengthOf(head);
    update(index, [&](SlowReadConnection& c) {
      c.requestLine = head.substr(0, head.find("\r\n"));
      c.contentLength = length;
      c.bodyRead = read;
    });
    if (!readBody(fd, index, length, read)) return;
    update(index, [](SlowReadConnection& c) { c.answered = true; });
    const auto& slow = options.slowAnswer;
    if (slow && head.find(slow->onlyFor) < head.find("\r\n")) {
      answerSlowly(fd, index, *slow);
    } else {
      sendAll(fd, options.statusLine + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
    shutdown(fd, SHUT_WR);
  }

  // Whether all of TEXT went out; a client gone is no signal to the server.
  static bool sendAll(int fd, std::string_view text) {
    while (!text.empty()) {
      ssize_t put = send(fd, text.data(), text.size(), MSG_NOSIGNAL);
      if (put <= 0) return false;
      text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
  }

  void answerSlowly(int fd, std::size_t index, const SlowReaderOptions::SlowAnswer& answer) {
    auto sent = [&](std::string_view piece) {
      if (!sendAll(fd, piece)) return false;
      update(index, [&](SlowReadConnection& c) { c.answerSent += piece.size(); });
      return true;
    };
    if (!sent(answer.atOnce)) return;
    for (std::uint64_t round = 0; round < answer.repeat; ++round) {
      for (std::size_t at = 0; at < answer.slowly.size(); at += answer.step) {
        std::unique_lock lock(mutex);
        if (ending.wait_for(lock, answer.pace, [&] { return stopping; })) return;
        lock.unlock();
        if (!sent(std::string_view(answer.slowly).substr(at, answer.step))) return;
      }
    }
  }
};

SlowReaderServer::SlowReaderServer(SlowReaderOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  setsockopt(impl_->listener, SOL_SOCKET, SO_RCVBUF, &impl_->options.receiveBuffer,
             sizeof(impl_->options.receiveBuffer));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(impl_->listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(impl_->listener, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = impl_->port = ntohs(address.sin_port);
  listen(impl_->listener, 8);
  impl_->acceptor = std::thread([impl = impl_.get()] { impl->acceptLoop(); });
}

SlowReaderServer::~SlowReaderServer() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
    for (int fd : impl_->sockets) shutdown(fd, SHUT_RDWR);
  }
  impl_->ending.notify_all();
  shutdown(impl_->listener, SHUT_RDWR);
  impl_->acceptor.join();
  for (auto& worker : impl_->workers) worker.join();
  for (int fd : impl_->sockets) close(fd);
  close(impl_->listener);
}

std::vector<SlowReadConnection> SlowReaderServer::connections() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connections;
}

}  // namespace testsupport
