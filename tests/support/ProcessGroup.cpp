#include "tests/support/ProcessGroup.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

namespace fs = std::filesystem;

// The fields of /proc/PID/stat after the command name: state first, then
// parent, process group...
std::vector<std::string> statFields(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> fields;
  const size_t end = text.rfind(')');
  if (end == std::string::npos) return fields;
  std::istringstream rest(text.substr(end + 1));
  for (std::string field; rest >> field;) fields.push_back(field);
  return fields;
}

// The live (not zombie) processes of group GROUP.
std::vector<pid_t> groupMembers(pid_t group) {
  std::vector<pid_t> members;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const auto fields = statFields(name);
    if (fields.size() > 2 && fields[0] != "Z" && std::stol(fields[2]) == group)
      members.push_back(static_cast<pid_t>(std::stol(name)));
  }
  return members;
}

bool before(std::chrono::steady_clock::time_point deadline) {
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return std::chrono::steady_clock::now() < deadline;
}

std::chrono::steady_clock::time_point in(int seconds) {
  return std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
}

}  // namespace

ProcessGroup::ProcessGroup(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment,
                           const std::string& workingDirectory, const std::string& log) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (int stop : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, stop);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> texts;
  for (const auto& [name, value] : environment) texts.push_back(name + "=" + value);
  std::vector<char*> env;
  for (auto& text : texts) env.push_back(text.data());
  env.push_back(nullptr);
  const int rc =
      posix_spawn(&leader_, argv[0].c_str(), &actions, &attributes, args.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
}

ProcessGroup::~ProcessGroup() {
  kill(-leader_, SIGKILL);
  kill(-leader_, SIGCONT);
  if (!status_) waitpid(leader_, nullptr, 0);
}

void ProcessGroup::signal(int signal) const { kill(-leader_, signal); }

std::optional<int> ProcessGroup::waitForLeader(int seconds) {
  const auto deadline = in(seconds);
  int raw = 0;
  while (!status_) {
    if (waitpid(leader_, &raw, WNOHANG) == leader_)
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    else if (!before(deadline))
      break;
  }
  return status_;
}

bool ProcessGroup::waitUntilEmpty(int seconds) const {
  const auto deadline = in(seconds);
  while (!groupMembers(leader_).empty())
    if (!before(deadline)) return false;
  return true;
}

std::optional<pid_t> ProcessGroup::memberRunning(const std::string& path) const {
  for (pid_t member : groupMembers(leader_)) {
    std::ifstream cmdline("/proc/" + std::to_string(member) + "/cmdline");
    std::string first;
    std::getline(cmdline, first, '\0');
    if (first == path) return member;
  }
  return std::nullopt;
}

char processState(pid_t pid) {
  const auto fields = statFields(std::to_string(pid));
  return fields.empty() ? '?' : fields[0][0];
}

}  // namespace testsupport
