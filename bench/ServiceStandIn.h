#pragma once

// The web service stand-in for the benchmarks, on a free port of 127.0.0.1.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

// The stand-in service, started lenient (so that curl's form, which differs
// from the tool's in its details, is stored and answered 201 as well), with
// any further OPTIONS of its own (--read-rate N).
struct Service {
  pid_t pid = -1;
  int port = 0;
  std::filesystem::path data;

  explicit Service(const std::filesystem::path& dataFolder,
                   const std::vector<std::string>& options = {})
      : data(dataFolder) {
    int out[2];
    if (pipe(out) != 0) std::exit(1);
    std::string program = std::string(BINARY_ROOT) + "/stand-ins/service/quorvex-service";
    std::vector<std::string> texts = {program, "--lenient", "--port", "0", "--data", data};
    texts.insert(texts.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (auto& text : texts) argv.push_back(text.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      std::fprintf(stderr, "cannot start %s\n", program.c_str());
      std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string line;
    char c = 0;
    while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
    close(out[0]);
    port = std::atoi(line.c_str() + 5);
  }
  ~Service() {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(port); }
  // The body bytes of the requests recorded since the last forget(), as
  // the service read them.
  std::uint64_t bodyBytes() const {
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
      if (entry.path().extension() != ".json") continue;
      std::ifstream in(entry.path());
      const auto record = nlohmann::json::parse(in, nullptr, false);
      if (record.is_object()) total += record.value("bodyBytes", std::uint64_t{0});
    }
    return total;
  }
  // The zips of the uploads stored since the last forget(), in arrival order.
  std::vector<std::filesystem::path> storedZips() const {
    std::vector<std::filesystem::path> zips;
    for (const auto& entry : std::filesystem::directory_iterator(data))
      if (entry.path().filename().string().ends_with("-upload.zip")) zips.push_back(entry.path());
    std::sort(zips.begin(), zips.end());
    return zips;
  }
  // Removes what the service stored, so rounds do not fill the disk.
  void forget() const {
    for (const auto& entry : std::filesystem::directory_iterator(data))
      std::filesystem::remove(entry.path());
  }
};

// `curl -F` of ZIP to the code-mapping path at BASEURL with a few of the
// tool's form fields, as a user would send it by hand.
inline std::vector<std::string> curlUpload(const std::string& zip, const std::string& baseURL,
                                           const std::string& key) {
  return {"/usr/bin/curl",
          "-s",
          "-f",
          "-o",
          "/dev/null",
          "-H",
          "Expect:",
          "-H",
          "X-Quorvex-API-Key: " + key,
          "-F",
          "project[identifier]=com.example.App",
          "-F",
          "code_mapping[type]=dsym",
          "-F",
          "code_mapping[file]=@" + zip + ";type=application/zip",
          baseURL + "/api/v3/platforms/ios/code_mappings"};
}

}  // namespace bench
