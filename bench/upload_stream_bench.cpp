// Measures the memory of a streamed upload: a form whose data record is
// backed by a file of a few hundred MB goes through the HTTP client to a
// sink on 127.0.0.1, and the process's peak resident memory during the
// exchange is compared with the file's size. Goal: the peak grows by far
// less than the file (under 64 MB for the default 300 MB), since the body
// is read from the file in pieces and never held whole.
//
//   bench_upload_stream [MEGABYTES [FOLDER]]
//
// The sink, a thread of this program, reads the head, checks that the body
// comes with a Content-Length and unchunked, counts and discards the body
// bytes, and answers 201.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "QVXWebClient/QVXWebClient/QVXWebClient.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Writes pseudo-random data, which no file system compresses.
void writeNoise(const fs::path& path, std::uint64_t bytes) {
  std::vector<std::uint64_t> block(1 << 16);
  std::ofstream out(path, std::ios::binary);
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  while (bytes > 0) {
    for (auto& word : block) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      word = state;
    }
    std::uint64_t now = std::min<std::uint64_t>(bytes, block.size() * sizeof(block[0]));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(now));
    bytes -= now;
  }
}

// A value of /proc/self/status in kB ("VmHWM", "VmRSS"); 0 when missing.
long statusKilobytes(const std::string& key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  }
  return 0;
}

// Starts the peak-resident-memory count again from the current size.
void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// One-shot HTTP sink: what it saw of the request.
struct Sink {
  int listener = -1;
  int port = 0;
  std::atomic<std::uint64_t> bodyBytes{0};
  std::atomic<bool> lengthed{false};
  std::atomic<bool> chunked{false};
  std::thread thread;

  Sink() {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    listen(listener, 1);
    thread = std::thread([this] { serve(); });
  }

  ~Sink() {
    thread.join();
    close(listener);
  }

  void serve() {
    int connection = accept(listener, nullptr, nullptr);
    if (connection < 0) return;
    std::string head;
    std::vector<char> buffer(1 << 16);
    std::size_t end;
    while ((end = head.find("\r\n\r\n")) == std::string::npos) {
      ssize_t got = read(connection, buffer.data(), buffer.size());
      if (got <= 0) return (void)close(connection);
      head.append(buffer.data(), static_cast<std::size_t>(got));
    }
    std::uint64_t announced = 0;
    std::size_t at = head.find("\r\nContent-Length: ");
    if (at != std::string::npos && at < end) {
      lengthed = true;
      announced = std::strtoull(head.c_str() + at + 18, nullptr, 10);
    }
    chunked = head.find("\r\nTransfer-Encoding:") < end;
    std::uint64_t received = head.size() - end - 4;
    while (received < announced) {
      ssize_t got = read(connection, buffer.data(), buffer.size());
      if (got <= 0) break;
      received += static_cast<std::uint64_t>(got);
    }
    bodyBytes = received;
    const char* answer = "HTTP/1.1 201 Created\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    (void)!write(connection, answer, std::char_traits<char>::length(answer));
    close(connection);
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 300;
  const char* tmp = getenv("TMPDIR");
  fs::path folder = argc > 2 ? argv[2] : (tmp && *tmp ? tmp : "/tmp");
  fs::path file = folder / ("upload_stream_bench." + std::to_string(getpid()) + ".zip");
  std::uint64_t fileBytes = megabytes << 20;
  writeNoise(file, fileBytes);

  Sink sink;
  auto client = QVXWebClient::initWithURL("http://127.0.0.1:" + std::to_string(sink.port));
  auto request =
      QVXWebRequest::requestWithMethod_path("POST", "/api/v3/platforms/ios/code_mappings");
  request->addValue_forFormField("dsym", "code_mapping[type]");
  request->addFileData_MIMEType_fileName_forFormField(file, "application/zip", file.filename(),
                                                      "code_mapping[file]");
  long before = statusKilobytes("VmRSS");
  resetPeak();
  std::uint64_t status = 0;
  std::string error = "(none)";
  auto start = Clock::now();
  client->syncStartRequest_completion(request, [&](std::shared_ptr<QVXWebResponse> response) {
    status = response->statusCode();
    if (response->error()) error = response->error()->description();
  });
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  long peak = statusKilobytes("VmHWM");
  fs::remove(file);

  double peakMB = peak / 1024.0, growthMB = (peak - before) / 1024.0;
  std::printf("upload_stream: %llu MB file-backed record, status %llu, error %s\n",
              static_cast<unsigned long long>(megabytes), static_cast<unsigned long long>(status),
              error.c_str());
  std::printf("  body bytes at the sink %llu, Content-Length %s, chunked %s, %.2f s (%.0f MB/s)\n",
              static_cast<unsigned long long>(sink.bodyBytes.load()),
              sink.lengthed ? "sent" : "missing", sink.chunked ? "yes" : "no", seconds,
              megabytes / seconds);
  std::printf(
      "  peak resident memory during the upload %.1f MB (%.1f MB above the %.1f MB before)\n",
      peakMB, growthMB, before / 1024.0);
  std::printf("  goal: growth under 64 MB for a 300 MB file (%.1f%% of the file): %s\n",
              100.0 * growthMB / static_cast<double>(megabytes),
              growthMB < 64 && status == 201 && sink.bodyBytes > fileBytes ? "met" : "NOT met");
  return status == 201 ? 0 : 1;
}
