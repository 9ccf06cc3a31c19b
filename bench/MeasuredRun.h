#pragma once

// Runs a program and measures it: wall-clock and processor time, and the
// peak resident memory of its process tree (wait4), for the benchmarks.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

using Environment = std::map<std::string, std::string>;

struct Outcome {
  int status = -1;
  double seconds = 0;     // wall-clock time
  double cpuSeconds = 0;  // user and system time of the process and its children
  long peakKiB = 0;
};

// Starts a program (no PATH search) with the environment, working directory
// and standard output given, waits for it and measures it.
inline Outcome measure(const std::vector<std::string>& arguments, const Environment* environment,
                       const std::filesystem::path& directory,
                       const std::string& outputPath = "/dev/null") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  if (!directory.empty()) posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  std::vector<std::string> texts = arguments;
  std::vector<char*> argv;
  for (auto& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<std::string> variables;
  if (environment)
    for (const auto& [name, value] : *environment) variables.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& variable : variables) envp.push_back(variable.data());
  envp.push_back(nullptr);
  Outcome outcome;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                  environment ? envp.data() : environ) != 0) {
    std::fprintf(stderr, "cannot start %s\n", argv[0]);
    std::exit(1);
  }
  posix_spawn_file_actions_destroy(&actions);
  int raw = 0;
  rusage usage{};
  while (wait4(pid, &raw, 0, &usage) < 0) {
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  outcome.peakKiB = usage.ru_maxrss;
  outcome.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  return outcome;
}

// The middle value of a benchmark's rounds (the upper one of an even count).
inline double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace bench
