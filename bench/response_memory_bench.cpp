// Measures a whole build-server run of the built `run` against a service on
// 127.0.0.1 that answers each request with 201 and a body of a few hundred
// megabytes. Goals: the run succeeds (status 0) within 5 seconds, and the
// tool's peak memory stays under 64 MB: past 1 MiB of a body the tool stops
// reading, so the service gets to send only what the sockets' buffers take.
// `curl -F` of the same form against the same service, its answer written to
// /dev/null and so read whole, runs beside it as the reference.
//
//   bench_response_memory [FOLDER [MEGABYTES]]
//
// The sample app (scripts/build-sample-app.sh) is laid out in FOLDER
// (default $TMPDIR or /tmp); the answer is MEGABYTES long (default 300).
// Peak memory is the largest resident size of the process tree (wait4).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "bench/MeasuredRun.h"
#include "bench/SampleAppSettings.h"
#include "bench/ServiceStandIn.h"

namespace fs = std::filesystem;

namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef01234567";

// Reads a request head and its Content-Length body, discarding the body.
bool readRequest(int fd) {
  std::string head;
  char buffer[64 * 1024];
  std::size_t end;
  while ((end = head.find("\r\n\r\n")) == std::string::npos) {
    ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got <= 0) return false;
    head.append(buffer, static_cast<std::size_t>(got));
  }
  std::uint64_t length = 0;
  for (const char* name : {"\r\nContent-Length:", "\r\ncontent-length:"}) {
    std::size_t at = head.find(name);
    if (at != std::string::npos) length = std::strtoull(head.c_str() + at + 17, nullptr, 10);
  }
  for (std::uint64_t body = head.size() - (end + 4); body < length;) {
    ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got <= 0) return false;
    body += static_cast<std::uint64_t>(got);
  }
  return true;
}

// A service on 127.0.0.1 that answers every request with 201 and BYTES of
// body, made on the fly from one block.
class BigAnswerService {
 public:
  explicit BigAnswerService(std::uint64_t bytes) : bytes_(bytes) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(listener_, 8);
    thread_ = std::thread([this] { serve(); });
  }
  ~BigAnswerService() {
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The answers begun (heads sent), and the body bytes of all answers sent.
  int answered() const { return answered_; }
  std::uint64_t bodyBytesSent() const { return sent_; }

 private:
  void serve() {
    std::vector<char> block(1 << 20, 'b');
    for (int fd; (fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; close(fd)) {
      if (!readRequest(fd)) continue;
      std::string head =
          "HTTP/1.1 201 Created\r\nContent-Type: application/octet-stream\r\n"
          "Connection: close\r\nContent-Length: " +
          std::to_string(bytes_) + "\r\n\r\n";
      // A client that stops reading closes the connection: no SIGPIPE then.
      if (send(fd, head.data(), head.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(head.size()))
        continue;
      ++answered_;
      for (std::uint64_t sent = 0; sent < bytes_;) {
        std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), bytes_ - sent));
        ssize_t put = send(fd, block.data(), piece, MSG_NOSIGNAL);
        if (put <= 0) break;
        sent += static_cast<std::uint64_t>(put);
        sent_ += static_cast<std::uint64_t>(put);
      }
    }
  }

  std::uint64_t bytes_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<int> answered_{0};
  std::atomic<std::uint64_t> sent_{0};
  std::thread thread_;
};

// curl -F of the zip of the dSYM with the tool's form fields; its answer
// goes to /dev/null.
bench::Outcome runCurl(const fs::path& products, const BigAnswerService& service) {
  fs::path zip = products / "reference.zip";
  bench::measure({"/usr/bin/zip", "-r", "-y", "-q", zip, "App.app.dSYM"}, nullptr, products);
  bench::Outcome outcome =
      bench::measure(bench::curlUpload(zip, service.baseURL(), kKey), nullptr, "");
  fs::remove(zip);
  return outcome;
}

}  // namespace

int main(int argc, char** argv) {
  const char* tmp = std::getenv("TMPDIR");
  fs::path base = argc > 1 ? argv[1] : (tmp && *tmp ? tmp : "/tmp");
  std::uint64_t megabytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 300;
  if (megabytes < 1) {
    std::fprintf(stderr, "usage: bench_response_memory [FOLDER [MEGABYTES]]\n");
    return 2;
  }
  fs::path work = base / ("response-bench-" + std::to_string(getpid()));
  fs::path products = work / "products", project = work / "project";
  fs::create_directories(project);
  if (!bench::buildSampleApp(products)) {
    std::fprintf(stderr, "the sample app could not be built\n");
    return 1;
  }
  BigAnswerService service(megabytes << 20);
  bench::Environment settings =
      bench::sampleAppSettings(products, project, work, service.baseURL());
  // The tool runs in build-server mode below a parent named like the Bots daemon.
  prctl(PR_SET_NAME, "xcsbuildd", 0, 0, 0);
  bench::Outcome tool = bench::measure({RUN_EXECUTABLE, kKey}, &settings, project);
  int toolAnswers = service.answered();
  std::uint64_t toolBodyBytes = service.bodyBytesSent();
  bench::Outcome curl = runCurl(products, service);
  fs::remove_all(work);

  bool succeeded = tool.status == 0 && toolAnswers == 2 && tool.seconds < 5;
  bool memoryMet = tool.peakKiB < 64 * 1024;
  std::printf("Build-server run answered with %llu MB bodies (notification and upload)\n",
              static_cast<unsigned long long>(megabytes));
  std::printf(
      "  run:  status %d in %.3f s (goal: 0 within 5 s) %s, %d answers begun, %.1f MB of\n"
      "        their bodies sent before the tool closed\n",
      tool.status, tool.seconds, succeeded ? "met" : "NOT met", toolAnswers,
      static_cast<double>(toolBodyBytes) / 1e6);
  std::printf("  curl: status %d, %.3f s\n", curl.status, curl.seconds);
  std::printf("  peak memory of run (with its archiver):  %.1f MB (goal: < 64 MB) %s\n",
              tool.peakKiB / 1024.0, memoryMet ? "met" : "NOT met");
  std::printf("  peak memory of curl -F:                  %.1f MB\n", curl.peakKiB / 1024.0);
  std::printf("  ratio run / curl: %.2f\n",
              static_cast<double>(tool.peakKiB) / static_cast<double>(curl.peakKiB));
  return succeeded && memoryMet ? 0 : 1;
}
