#include <memory>

#include "platform/Assert.h"
#include "platform/Text.h"
#include "platform/processes/Pipe.h"
#include "platform/processes/Task.h"
#include "shared/Categories/NSTask+Convenience.h"

namespace {

const char* const kLaunchOperation =
    "+[NSTask(Convenience) launchWithPath:workingDirectory:arguments:environment:completion:]";
const char* const kSourceFile = "shared/Categories/NSTask+Convenience";

// Bytes as text when they are UTF-8, else none.
std::optional<std::string> utf8Text(const platform::Bytes& bytes) {
  std::string text(bytes.begin(), bytes.end());
  if (!platform::isValidUTF8(text)) return std::nullopt;
  return text;
}

// Runs a child and keeps one of its two streams as text.
NSTaskLaunchResult<std::optional<std::string>> streamText(
    const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments,
    bool standardError) {
  NSTaskLaunchResult<std::optional<std::string>> result;
  result.launchError = NSTask_Convenience::launchWithPath_workingDirectory_arguments_completion(
      launchPath, std::nullopt, arguments,
      [&](const platform::Bytes& errorData, const platform::Bytes& outputData, std::int32_t) {
        result.value = utf8Text(standardError ? errorData : outputData);
      });
  return result;
}

}  // namespace

std::optional<platform::Error>
NSTask_Convenience::launchWithPath_workingDirectory_arguments_environment_completion(
    const std::string& launchPath, const std::optional<std::string>& workingDirectory,
    const std::optional<std::vector<std::string>>& arguments,
    const std::optional<platform::Environment>& environment,
    const NSTaskProcessCompletion& completion) {
  auto task = std::make_unique<platform::Task>();
  std::unique_ptr<platform::Pipe> stdoutPipe = platform::Pipe::pipe();
  std::unique_ptr<platform::Pipe> stdinPipe = platform::Pipe::pipe();
  std::unique_ptr<platform::Pipe> stderrPipe = platform::Pipe::pipe();
  QVX_ASSERT(task, "task", kLaunchOperation, kSourceFile, 28);
  QVX_ASSERT(stdoutPipe && stdinPipe && stderrPipe, "stdoutPipe && stdinPipe && stderrPipe",
             kLaunchOperation, kSourceFile, 29);

  if (workingDirectory) task->setCurrentDirectoryPath(*workingDirectory);
  task->setLaunchPath(launchPath);
  task->setArguments(arguments.value_or(std::vector<std::string>{}));
  if (environment) task->setEnvironment(*environment);
  task->setStandardOutput(stdoutPipe.get());
  task->setStandardInput(stdinPipe.get());
  task->setStandardError(stderrPipe.get());

  if (auto launchError = task->launch()) return launchError;
  stdinPipe->closeWriting();

  platform::Bytes outputData, errorData;
  platform::readPipesToEndOfFile({{stdoutPipe.get(), &outputData}, {stderrPipe.get(), &errorData}});
  task->waitUntilExit();
  completion(errorData, outputData, task->terminationStatus());
  return std::nullopt;
}

std::optional<platform::Error>
NSTask_Convenience::launchWithPath_workingDirectory_arguments_completion(
    const std::string& launchPath, const std::optional<std::string>& workingDirectory,
    const std::optional<std::vector<std::string>>& arguments,
    const NSTaskProcessCompletion& completion) {
  return launchWithPath_workingDirectory_arguments_environment_completion(
      launchPath, workingDirectory, arguments, std::nullopt, completion);
}

NSTaskLaunchResult<std::optional<std::string>> NSTask_Convenience::stdoutWithLaunchPath_arguments(
    const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments) {
  return streamText(launchPath, arguments, false);
}

NSTaskLaunchResult<std::optional<std::string>> NSTask_Convenience::stderrWithLaunchPath_arguments(
    const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments) {
  return streamText(launchPath, arguments, true);
}

NSTaskLaunchResult<bool> NSTask_Convenience::runTaskWithLaunchPath_currentDirectoryPath_arguments(
    const std::string& launchPath, const std::optional<std::string>& currentDirectoryPath,
    const std::optional<std::vector<std::string>>& arguments) {
  NSTaskLaunchResult<bool> result;
  result.value = false;
  result.launchError = launchWithPath_workingDirectory_arguments_completion(
      launchPath, currentDirectoryPath, arguments,
      [&](const platform::Bytes&, const platform::Bytes&, std::int32_t status) {
        result.value = status == 0;
      });
  return result;
}

NSTaskLaunchResult<bool> NSTask_Convenience::runTaskWithLaunchPath_arguments(
    const std::string& launchPath, const std::optional<std::vector<std::string>>& arguments) {
  return runTaskWithLaunchPath_currentDirectoryPath_arguments(launchPath, std::nullopt, arguments);
}
