#include "tests/support/LoopbackHTTPServer.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/support/TCPQueues.h"
#include "tests/support/TestSupport.h"

namespace testsupport {

namespace {

// Where a multipart Content-Type waits while the raw body is read.
constexpr const char* kHiddenType = "X-Loopback-Multipart-Content-Type";

bool sameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

}  // namespace

std::optional<std::string> ReceivedRequest::header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (sameName(key, name)) return value;
  }
  return std::nullopt;
}

std::size_t ReceivedRequest::headerCount(const std::string& name) const {
  std::size_t count = 0;
  for (const auto& entry : headers) count += sameName(entry.first, name) ? 1 : 0;
  return count;
}

struct LoopbackHTTPServer::Impl {
  ServerOptions options;
  int port = 0;
  std::unique_ptr<httplib::Server> server;
  std::thread thread;
  mutable std::mutex mutex;
  std::condition_variable released;
  bool ending = false;
  std::vector<ReceivedRequest> requests;
  std::function<Reply(const ReceivedRequest&)> handler = [](const ReceivedRequest&) {
    Reply reply;
    reply.body = "ok";
    return reply;
  };

  // cpp-httplib parses every multipart body it reads; the tests want the raw
  // bytes, so a multipart type is set aside before the body is read and
  // given back in the record.
  static httplib::Server::HandlerResponse hideMultipartType(const httplib::Request& req,
                                                            httplib::Response&) {
    auto& request = const_cast<httplib::Request&>(req);
    auto it = request.headers.find("Content-Type");
    if (it != request.headers.end() && it->second.starts_with("multipart/form-data")) {
      std::string original = it->second;
      request.headers.erase(it);
      request.headers.emplace("Content-Type", "application/octet-stream");
      request.headers.emplace(kHiddenType, original);
    }
    return httplib::Server::HandlerResponse::Unhandled;
  }

  ReceivedRequest record(const httplib::Request& req) {
    ReceivedRequest received;
    received.method = req.method;
    received.target = req.target;
    received.path = req.path;
    bool hidden = req.has_header(kHiddenType);
    for (const auto& [name, value] : req.headers) {
      if (hidden && sameName(name, "Content-Type")) continue;
      received.headers.emplace_back(sameName(name, kHiddenType) ? "Content-Type" : name, value);
    }
    return received;
  }

  void readBody(ReceivedRequest& received, const httplib::Request& req,
                const httplib::ContentReader& reader) {
    auto start = std::chrono::steady_clock::now();
    const auto kNotYet = std::chrono::steady_clock::time_point::max();
    auto inKernelSince = kNotYet;
    bool first = true;
    std::uint64_t length = req.get_header_value<std::uint64_t>("Content-Length");
    reader([&](const char* data, std::size_t size) {
      auto now = std::chrono::steady_clock::now();
      if (first) start = now, first = false;
      received.bodyDuration = now - start;
      received.bodyLength += size;
      if (options.keepBodies) received.body.append(data, size);
      if (options.pausePerBodyPiece.count() > 0) {
        // The server's own buffers (TLS records among them) hold a few
        // kilobytes the kernel no longer lists.
        const std::uint64_t slack = 64 * 1024;
        std::uint64_t unread = length > received.bodyLength ? length - received.bodyLength : 0;
        if (!unreadBodyIsInTheKernel(port, req.remote_port, unread, slack))
          inKernelSince = kNotYet;
        else if (inKernelSince == kNotYet)
          inKernelSince = now;
        if (inKernelSince != kNotYet) received.bodyInKernelBeforeEnd = now - inKernelSince;
        std::this_thread::sleep_for(options.pausePerBodyPiece);
      }
      return true;
    });
  }

  void answer(const ReceivedRequest& received, httplib::Response& res) {
    std::function<Reply(const ReceivedRequest&)> current;
    {
      std::lock_guard lock(mutex);
      requests.push_back(received);
      current = handler;
    }
    Reply reply = current(received);
    res.status = reply.status;
    for (const auto& [name, value] : reply.headers) res.set_header(name, value);
    if (options.stallAfterBody) {
      std::string first = *options.stallAfterBody;
      res.set_content_provider(
          first.size() + 1000, reply.contentType,
          [this, first](std::size_t offset, std::size_t, httplib::DataSink& sink) {
            if (offset == 0) return sink.write(first.data(), first.size());
            std::unique_lock lock(mutex);
            released.wait_for(lock, std::chrono::seconds(60), [&] { return ending; });
            return false;
          });
      return;
    }
    if (!reply.body.empty() || !reply.contentType.empty()) {
      res.set_content(reply.body, reply.contentType);
    }
  }

  void handle(const httplib::Request& req, httplib::Response& res) { answer(record(req), res); }

  void handleWithBody(const httplib::Request& req, httplib::Response& res,
                      const httplib::ContentReader& reader) {
    ReceivedRequest received = record(req);
    readBody(received, req, reader);
    answer(received, res);
  }
};

LoopbackHTTPServer::LoopbackHTTPServer(ServerOptions options) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  if (impl_->options.certificatePath.empty()) {
    impl_->server = std::make_unique<httplib::Server>();
  } else {
    impl_->server = std::make_unique<httplib::SSLServer>(impl_->options.certificatePath.c_str(),
                                                         impl_->options.keyPath.c_str());
  }
  httplib::Server& server = *impl_->server;
  if (impl_->options.pausePerBodyPiece.count() > 0) {
    server.set_socket_options([](int sock) {
      int yes = 1, small = 16 * 1024;
      setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
      setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    });
  }
  Impl* impl = impl_.get();
  auto plain = [impl](const httplib::Request& req, httplib::Response& res) {
    impl->handle(req, res);
  };
  auto withBody = [impl](const httplib::Request& req, httplib::Response& res,
                         const httplib::ContentReader& reader) {
    impl->handleWithBody(req, res, reader);
  };
  server.set_pre_routing_handler(Impl::hideMultipartType);
  server.Get(".*", plain);
  server.Options(".*", plain);
  server.Post(".*", withBody);
  server.Put(".*", withBody);
  server.Patch(".*", withBody);
  server.Delete(".*", withBody);
  port_ = impl_->port = server.bind_to_any_port("127.0.0.1");
  impl_->thread = std::thread([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackHTTPServer::~LoopbackHTTPServer() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->ending = true;
  }
  impl_->released.notify_all();
  impl_->server->stop();
  impl_->thread.join();
}

std::string LoopbackHTTPServer::baseURL() const {
  std::string scheme = impl_->options.certificatePath.empty() ? "http" : "https";
  return scheme + "://127.0.0.1:" + std::to_string(port_);
}

void LoopbackHTTPServer::setHandler(std::function<Reply(const ReceivedRequest&)> handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->handler = std::move(handler);
}

std::vector<ReceivedRequest> LoopbackHTTPServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

RefusingPort::RefusingPort() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() {
  if (fd_ >= 0) close(fd_);
}

RawHeadCapture::RawHeadCapture(std::string answer) : answer_(std::move(answer)) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
  getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listen(fd_, 1);
  thread_ = std::thread([this] {
    int connection = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) return;
    std::string received;
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos) {
      ssize_t got = read(connection, buffer, sizeof(buffer));
      if (got <= 0) break;
      received.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t end = received.find("\r\n\r\n");
    head_ = end == std::string::npos ? received : received.substr(0, end + 4);
    (void)!write(connection, answer_.data(), answer_.size());
    close(connection);
  });
}

RawHeadCapture::~RawHeadCapture() {
  shutdown(fd_, SHUT_RDWR);
  if (thread_.joinable()) thread_.join();
  close(fd_);
}

std::string RawHeadCapture::baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

std::string RawHeadCapture::head() {
  if (thread_.joinable()) thread_.join();
  return head_;
}

bool makeSelfSignedCertificate(const std::string& certificatePath, const std::string& keyPath) {
  ProcessResult result =
      runProcess({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                  keyPath, "-out", certificatePath, "-days", "2", "-subj", "/CN=127.0.0.1",
                  "-addext", "subjectAltName=IP:127.0.0.1"},
                 {{"PATH", "/usr/bin:/bin"}});
  return result.status == 0;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     std::optional<std::string> value)
    : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) previous_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

}  // namespace testsupport
