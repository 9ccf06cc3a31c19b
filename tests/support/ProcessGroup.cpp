#include "tests/support/ProcessGroup.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

pid_t startProcess(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& environment,
                   const std::string& workingDirectory, const std::string& log, bool newGroup) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  // Whatever this test program was started with (a shell's background job
  // ignores SIGINT), the program starts with the stop signals at default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int stop : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, stop);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGDEF | (newGroup ? POSIX_SPAWN_SETPGROUP : 0));
  // The arguments, a null, the environment's "NAME=VALUE" texts, a null.
  std::vector<std::string> texts = argv;
  for (const auto& [name, value] : environment) texts.push_back(name + "=" + value);
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.insert(pointers.begin() + static_cast<long>(argv.size()), nullptr);
  pointers.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0].c_str(), &actions, &attributes, pointers.data(),
                             pointers.data() + argv.size() + 1);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  return pid;
}

ProcessGroup::~ProcessGroup() {
  kill(-leader_, SIGKILL);
  if (!status_) waitpid(leader_, nullptr, 0);
}

std::optional<int> ProcessGroup::waitForLeader(int seconds) {
  int raw = 0;
  if (!status_ && eventually([&] { return waitpid(leader_, &raw, WNOHANG) == leader_; }, seconds))
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return status_;
}

namespace {

// A file of /proc, or what could be read of it before its process ended.
std::string procFile(const std::string& path) {
  std::string text;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  char buffer[4096];
  for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  if (fd >= 0) close(fd);
  return text;
}

}  // namespace

std::vector<ProcessGroup::Member> ProcessGroup::members() const {
  std::vector<Member> found;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string text = procFile("/proc/" + name + "/stat");
    // After the command name: state, parent, process group.
    std::istringstream fields(text.substr(text.rfind(')') + 1));
    char state = '?';
    pid_t parent = 0, group = 0;
    if (!(fields >> state >> parent >> group) || group != leader_ || state == 'Z') continue;
    const std::string cmdline = procFile("/proc/" + name + "/cmdline");
    found.push_back(
        {static_cast<pid_t>(std::stol(name)), state, cmdline.substr(0, cmdline.find('\0'))});
  }
  return found;
}

std::optional<pid_t> ProcessGroup::member(const std::string& program) const {
  for (const auto& process : members())
    if (process.program == program) return process.pid;
  return std::nullopt;
}

bool eventually(const std::function<bool()>& condition, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace testsupport
