#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Environment.h"
#include "platform/Error.h"
#include "platform/Value.h"
#include "platform/processes/Pipe.h"

// What a child process left behind, handed over once it has exited: its
// standard error bytes, its standard output bytes (in that order) and its
// termination status (0 is success).
using NSTaskProcessCompletion = std::function<void(
    const platform::Bytes& errorData, const platform::Bytes& outputData, std::int32_t status)>;

// The answer of a convenience: its value when the child ran, else the
// failure that kept the child from starting (then the value means nothing).
template <typename T>
struct NSTaskLaunchResult {
  std::optional<platform::Error> launchError;
  T value{};

  // Whether the child was started (and so the value is its answer).
  bool launched() const { return !launchError.has_value(); }
};

// Runs other programs to completion, synchronously: each call returns after
// the child has exited and both of its output streams have been read whole.
// Its standard input is a pipe closed right after launch, so a child that
// reads it sees end of file. A child that cannot be started is a launch
// error, never a status: the completion is not called then.
struct NSTask_Convenience {
  // Runs the program at the full path LAUNCHPATH with the arguments (none:
  // no arguments), in the working directory (none: this process's), with
  // exactly the given environment (none: this process's), then calls the
  // completion. Nothing when the child ran; the launch error otherwise.
  static std::optional<platform::Error>
  launchWithPath_workingDirectory_arguments_environment_completion(
      const std::string& launchPath, const std::optional<std::string>& workingDirectory,
      const std::optional<std::vector<std::string>>& arguments,
      const std::optional<platform::Environment>& environment,
      const NSTaskProcessCompletion& completion);

  // The general operation with this process's environment.
  static std::optional<platform::Error> launchWithPath_workingDirectory_arguments_completion(
      const std::string& launchPath, const std::optional<std::string>& workingDirectory,
      const std::optional<std::vector<std::string>>& arguments,
      const NSTaskProcessCompletion& completion);

  // The child's standard output as text; none when it is not UTF-8. The
  // status is ignored.
  static NSTaskLaunchResult<std::optional<std::string>> stdoutWithLaunchPath_arguments(
      const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments);

  // The child's standard error as text; none when it is not UTF-8. The
  // status is ignored.
  static NSTaskLaunchResult<std::optional<std::string>> stderrWithLaunchPath_arguments(
      const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments);

  // True exactly when the child exits with status 0; its output is dropped.
  static NSTaskLaunchResult<bool> runTaskWithLaunchPath_currentDirectoryPath_arguments(
      const std::string& launchPath, const std::optional<std::string>& currentDirectoryPath,
      const std::optional<std::vector<std::string>>& arguments);

  // The same in this process's working directory.
  static NSTaskLaunchResult<bool> runTaskWithLaunchPath_arguments(
      const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments);

  // The same with the child's standard output handed to OUTPUT as it comes
  // (a sink that answers false closes the pipe on the child); true exactly
  // when the child exits with status 0 and every byte was taken.
  static NSTaskLaunchResult<bool> runTaskWithLaunchPath_arguments_outputHandler(
      const std::string& launchPath, const std::vector<std::string>& arguments,
      const platform::PipeSink& output);
};
