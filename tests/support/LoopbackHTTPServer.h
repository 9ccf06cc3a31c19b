#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

// One request as a loopback server received it.
struct ReceivedRequest {
  std::string method;
  std::string target;                                        // path and query exactly as sent
  std::string path;                                          // path, percent escapes decoded
  std::vector<std::pair<std::string, std::string>> headers;  // in the order sent
  std::string body;            // raw body bytes (empty when bodies are not kept)
  std::size_t bodyLength = 0;  // bytes of body received
  std::chrono::steady_clock::duration bodyDuration{};  // first to last body byte
  // How long before the last body byte every unread byte of the body lay in
  // the kernel's queues (with pausePerBodyPiece only): the time the client
  // had nothing left to hand over while the server still read.
  std::chrono::steady_clock::duration bodyInKernelBeforeEnd{};

  // The value of a header, the name matched without regard to case.
  std::optional<std::string> header(const std::string& name) const;
  // How many times a header was sent.
  std::size_t headerCount(const std::string& name) const;
};

// What a loopback server answers.
struct Reply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string contentType = "text/plain";
};

// How a loopback server behaves beyond its answers.
struct ServerOptions {
  // PEM certificate and key for https; empty for plain http.
  std::string certificatePath;
  std::string keyPath;
  // Keep received bodies in memory (off for very large uploads).
  bool keepBodies = true;
  // Pause after each piece (about 4 KB) of a request body, with a small
  // socket receive buffer, so that an upload moves slowly but steadily.
  std::chrono::milliseconds pausePerBodyPiece{0};
  // Answer with the head and these first body bytes, announce more, and then
  // send nothing until the server ends.
  std::optional<std::string> stallAfterBody;
};

// A real HTTP(S) server on 127.0.0.1 on a free port, running on threads of
// its own until it ends. Every request is recorded; the handler decides the
// answer (by default 200 with the body "ok").
class LoopbackHTTPServer {
 public:
  explicit LoopbackHTTPServer(ServerOptions options = {});
  ~LoopbackHTTPServer();
  LoopbackHTTPServer(const LoopbackHTTPServer&) = delete;
  LoopbackHTTPServer& operator=(const LoopbackHTTPServer&) = delete;

  // The port the server listens on.
  int port() const { return port_; }
  // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT".
  std::string baseURL() const;
  // Sets the answer for every later request.
  void setHandler(std::function<Reply(const ReceivedRequest&)> handler);
  // The requests received so far, in order of their completion.
  std::vector<ReceivedRequest> requests() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

// A port of 127.0.0.1 that refuses every connection (bound, never listening).
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A one-shot plain HTTP server on 127.0.0.1 that keeps the raw bytes of the
// first request's head (request line and header lines, as sent) and answers
// it with the bytes of ANSWER (by default 200 and no body), then closes.
class RawHeadCapture {
 public:
  explicit RawHeadCapture(
      std::string answer = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  ~RawHeadCapture();
  RawHeadCapture(const RawHeadCapture&) = delete;
  RawHeadCapture& operator=(const RawHeadCapture&) = delete;
  std::string baseURL() const;
  // The head received, up to and including the empty line; waits for it.
  std::string head();

 private:
  int fd_ = -1;
  int port_ = 0;
  std::string answer_;
  std::string head_;
  std::thread thread_;
};

// Makes a self-signed certificate and key for 127.0.0.1 (subject and IP
// address) with the openssl command; false when the command fails.
bool makeSelfSignedCertificate(const std::string& certificatePath, const std::string& keyPath);

// Sets (or with nothing, removes) an environment variable for the life of
// the object, then puts the old value back.
class ScopedEnvironmentVariable {
 public:
  ScopedEnvironmentVariable(std::string name, std::optional<std::string> value);
  ~ScopedEnvironmentVariable();
  ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
  ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace testsupport
