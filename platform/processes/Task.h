#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/processes/Pipe.h"

namespace platform {

// The NSTask stand-in: one child process, set up, started with posix_spawn
// and waited for. A task is launched at most once.
class Task {
 public:
  Task() = default;
  ~Task();
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  // The directory the child starts in; unset: this process's current one.
  void setCurrentDirectoryPath(const std::string& path) { directory_ = path; }
  // The full path of the program; it is not searched for on PATH.
  void setLaunchPath(const std::string& path) { launchPath_ = path; }
  // The arguments after the program name, passed without a shell.
  void setArguments(const std::vector<std::string>& arguments) { arguments_ = arguments; }
  // The child's whole environment; unset: it inherits this process's.
  void setEnvironment(const Environment& environment) { environment_ = environment; }
  // Connects the child's standard output to the pipe's writing end.
  void setStandardOutput(Pipe* pipe) { output_ = pipe; }
  // Connects the child's standard input to the pipe's reading end.
  void setStandardInput(Pipe* pipe) { input_ = pipe; }
  // Connects the child's standard error to the pipe's writing end.
  void setStandardError(Pipe* pipe) { error_ = pipe; }

  // Starts the child, then closes in this process the pipe ends that now
  // belong to the child. Nothing on success; the error (NSPOSIXErrorDomain,
  // the errno value) when the child cannot start: a program that is missing
  // or not executable, a working directory that does not exist.
  std::optional<Error> launch();
  // Blocks until the launched child has exited; returns at once when the
  // task was never launched or has been waited for already.
  void waitUntilExit();
  // The exit status of the child, or the signal number that ended it, as
  // the platform reports a termination status; -1 before the child exited.
  int terminationStatus() const { return status_; }

 private:
  std::string launchPath_;
  std::optional<std::string> directory_;
  std::vector<std::string> arguments_;
  std::optional<Environment> environment_;
  Pipe* output_ = nullptr;
  Pipe* input_ = nullptr;
  Pipe* error_ = nullptr;
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace platform
