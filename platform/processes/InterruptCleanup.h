#pragma once

#include <sys/types.h>

#include <string>

namespace platform {

// While a guard lives, SIGINT, SIGTERM or SIGHUP no longer leave its file
// or folder behind: the child being waited for (if any) gets the same
// signal, then SIGCONT in case it is stopped, and is waited for (killed
// after a few seconds), so it cannot write there after the removal; then
// every guarded path is removed (a folder with all it holds) and the process
// ends by the signal, as it would have without the guards. A signal this
// process ignores stays ignored. Guards may live at the same time, on any
// threads (up to kMostInterruptGuards); each adds its path.
inline constexpr int kMostInterruptGuards = 64;

class RemovalOnInterrupt {
 public:
  explicit RemovalOnInterrupt(const std::string& path);
  ~RemovalOnInterrupt();
  RemovalOnInterrupt(const RemovalOnInterrupt&) = delete;
  RemovalOnInterrupt& operator=(const RemovalOnInterrupt&) = delete;

 private:
  int slot_;
};

// The child process that an interrupt should stop first, as told by the
// child-process runner. Between childLaunchBegins and childLaunchEnded (the
// new child's id, or -1 when none started) an interrupt waits, so that it
// stops a child that started just as it came; from then until
// childWaitedFor the child is the one an interrupt stops.
void childLaunchBegins();
void childLaunchEnded(pid_t child);
void childWaitedFor();

}  // namespace platform
