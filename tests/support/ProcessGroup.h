#pragma once

// A program started in a process group of its own, so that a test can
// signal it together with everything it started, as a terminal or a CI
// runner does, and see whether any of them is left.

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ProcessGroup {
 public:
  // Starts ARGV (a path, no PATH search) with exactly ENVIRONMENT in
  // WORKINGDIRECTORY, the stop signals at their default actions, input
  // from /dev/null, output and errors appended to LOG.
  ProcessGroup(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment,
               const std::string& workingDirectory, const std::string& log);
  // Kills whatever is left of the group and reaps the leader.
  ~ProcessGroup();
  ProcessGroup(const ProcessGroup&) = delete;
  ProcessGroup& operator=(const ProcessGroup&) = delete;

  // Sends SIGNAL to every process of the group.
  void signal(int signal) const;
  // How the leader ended (exit status, or 128 + signal); nothing when it
  // has not ended within SECONDS.
  std::optional<int> waitForLeader(int seconds);
  // Whether, within SECONDS, no process of the group is left (zombies
  // waiting for their parent do not count).
  bool waitUntilEmpty(int seconds) const;
  // The process of the group that runs the program at PATH.
  std::optional<pid_t> memberRunning(const std::string& path) const;

 private:
  pid_t leader_ = -1;
  std::optional<int> status_;
};

// The state letter of process PID as /proc shows it ('T' when stopped);
// '?' when there is no such process.
char processState(pid_t pid);

}  // namespace testsupport
