#include "tests/support/ServiceProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace testsupport {

namespace {

// Reads one line from the descriptor, byte by byte (the rest stays unread).
std::string readLine(int descriptor) {
  std::string line;
  char c = 0;
  while (read(descriptor, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

}  // namespace

ServiceProcess::ServiceProcess(const std::vector<std::string>& options) {
  std::vector<std::string> argv{serviceExecutable(), "--data", data_.path(), "--port", "0"};
  argv.insert(argv.end(), options.begin(), options.end());
  https_ = std::find(options.begin(), options.end(), "--cert") != options.end();
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  int rc = posix_spawn(&pid_, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (rc != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start " + argv[0]);
  }
  std::string line = readLine(out[0]);
  close(out[0]);
  if (line.rfind("port ", 0) != 0) throw std::runtime_error("the service did not start: " + line);
  port_ = std::stoi(line.substr(5));
}

ServiceProcess::~ServiceProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
}

std::string ServiceProcess::baseURL() const {
  return std::string(https_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<platform::Value> ServiceProcess::records(const std::string& kind) const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(data_.path())) {
    std::string name = entry.path().filename().string();
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".json") == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<platform::Value> records;
  for (const auto& name : names) {
    platform::Value record = platform::Value::parse(readFile(data_ / name), nullptr, false);
    if (kind.empty() || (record.is_object() && record.value("kind", "") == kind))
      records.push_back(record);
  }
  return records;
}

std::vector<platform::Value> ServiceProcess::wholeRecords(const std::string& kind) const {
  std::vector<platform::Value> whole = records(kind);
  std::erase_if(whole, [](const platform::Value& record) {
    const platform::Value& problems = record.value("problems", platform::Value::array());
    return std::find(problems.begin(), problems.end(), "the body did not arrive whole") !=
           problems.end();
  });
  return whole;
}

}  // namespace testsupport
