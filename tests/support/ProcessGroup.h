#pragma once

// A program started in a process group of its own, so that a test can
// signal it together with everything it started, as a terminal or a CI
// runner does, and see whether any of them is left.

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// Starts ARGV (a path, no PATH search) with exactly ENVIRONMENT in
// WORKINGDIRECTORY, the stop signals at their default actions, input from
// /dev/null, output and errors appended to LOG; in a process group of its
// own when NEWGROUP. Returns its process id.
pid_t startProcess(const std::vector<std::string>& argv,
                   const std::map<std::string, std::string>& environment,
                   const std::string& workingDirectory, const std::string& log, bool newGroup);

class ProcessGroup {
 public:
  // Starts ARGV as startProcess does, in a group of its own.
  ProcessGroup(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment,
               const std::string& workingDirectory, const std::string& log)
      : leader_(startProcess(argv, environment, workingDirectory, log, true)) {}
  // Kills whatever is left of the group and reaps the leader.
  ~ProcessGroup();
  ProcessGroup(const ProcessGroup&) = delete;
  ProcessGroup& operator=(const ProcessGroup&) = delete;

  // The leader's process id, which is also the group's.
  pid_t id() const { return leader_; }
  // How the leader ended (exit status, or 128 + signal); nothing when it
  // has not ended within SECONDS.
  std::optional<int> waitForLeader(int seconds);

  // A live process of the group: its state letter as /proc shows it ('T'
  // when stopped; zombies are left out) and its first argument.
  struct Member {
    pid_t pid;
    char state;
    std::string program;
  };
  std::vector<Member> members() const;
  // The first member whose first argument is PROGRAM.
  std::optional<pid_t> member(const std::string& program) const;

 private:
  pid_t leader_ = -1;
  std::optional<int> status_;
};

// Whether CONDITION holds within SECONDS, asked every 2 ms.
bool eventually(const std::function<bool()>& condition, int seconds);

}  // namespace testsupport
