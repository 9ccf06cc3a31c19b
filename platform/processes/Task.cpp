#include "platform/processes/Task.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/processes/InterruptCleanup.h"

extern char** environ;

namespace platform {

namespace {

// posix_spawn's file actions and attributes, released on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
};

// The child starts with no blocked signals and SIGPIPE at its default, even
// when this process (or a library in it) ignores SIGPIPE.
void resetSignals(posix_spawnattr_t& attributes) {
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

// The "NAME=VALUE" texts of an environment.
std::vector<std::string> environmentTexts(const Environment& environment) {
  std::vector<std::string> texts;
  texts.reserve(environment.size());
  for (const auto& [name, value] : environment) texts.push_back(name + "=" + value);
  return texts;
}

// A null-terminated vector of pointers into the texts.
std::vector<char*> pointerVector(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  pointers.reserve(texts.size() + 1);
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

Error spawnError(int code) { return Error{"NSPOSIXErrorDomain", code, std::strerror(code)}; }

// Why the child could not start, found before spawning: posix_spawn may
// report a program that cannot be run only as the child's exit status 127
// (other C libraries, tools that emulate the spawn with fork), so the usual
// causes are checked here. Nothing when the program looks runnable.
std::optional<Error> launchObstacle(const std::string& launchPath,
                                    const std::optional<std::string>& directory) {
  if (directory) {
    struct stat status;
    if (stat(directory->c_str(), &status) != 0) return spawnError(errno);
    if (!S_ISDIR(status.st_mode)) return spawnError(ENOTDIR);
  }
  // A relative program path is found from the child's working directory.
  std::string program =
      directory && launchPath.rfind('/', 0) != 0 ? *directory + "/" + launchPath : launchPath;
  if (access(program.c_str(), X_OK) != 0) return spawnError(errno);
  return std::nullopt;
}

}  // namespace

Task::~Task() { waitUntilExit(); }

std::optional<Error> Task::launch() {
  if (auto obstacle = launchObstacle(launchPath_, directory_)) return obstacle;
  SpawnSetup setup;
  resetSignals(setup.attributes);
  if (input_) posix_spawn_file_actions_adddup2(&setup.actions, input_->readDescriptor(), 0);
  if (output_) posix_spawn_file_actions_adddup2(&setup.actions, output_->writeDescriptor(), 1);
  if (error_) posix_spawn_file_actions_adddup2(&setup.actions, error_->writeDescriptor(), 2);
  if (directory_) posix_spawn_file_actions_addchdir_np(&setup.actions, directory_->c_str());

  std::vector<std::string> argumentTexts{launchPath_};
  argumentTexts.insert(argumentTexts.end(), arguments_.begin(), arguments_.end());
  std::vector<char*> argv = pointerVector(argumentTexts);
  std::vector<std::string> variableTexts;
  std::vector<char*> envp;
  if (environment_) {
    variableTexts = environmentTexts(*environment_);
    envp = pointerVector(variableTexts);
  }
  childLaunchBegins();
  int rc = posix_spawn(&pid_, launchPath_.c_str(), &setup.actions, &setup.attributes, argv.data(),
                       environment_ ? envp.data() : environ);
  if (rc != 0) pid_ = -1;
  childLaunchEnded(pid_);
  if (rc != 0) return spawnError(rc);
  if (input_) input_->closeReading();
  if (output_) output_->closeWriting();
  if (error_) error_->closeWriting();
  return std::nullopt;
}

void Task::waitUntilExit() {
  if (pid_ < 0) return;
  // The child stays the one an interrupt stops until it has exited; only
  // then is it reaped, so its process id cannot pass to another process
  // while an interrupt may still signal it.
  siginfo_t info{};
  while (waitid(P_PID, pid_, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  childWaitedFor();
  int raw = 0;
  while (waitpid(pid_, &raw, 0) < 0) {
    if (errno != EINTR) {
      pid_ = -1;
      return;
    }
  }
  pid_ = -1;
  status_ = WIFSIGNALED(raw) ? WTERMSIG(raw) : WEXITSTATUS(raw);
}

}  // namespace platform
