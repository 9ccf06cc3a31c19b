#pragma once

#include <sys/types.h>

#include <string>

namespace platform {

// While a guard lives, SIGINT, SIGTERM or SIGHUP no longer leave its file
// behind: the child being waited for (if any) gets the same signal, then
// SIGCONT in case it is stopped, and is waited for (killed after a few
// seconds), so it cannot write the file after it is gone; then the file
// is removed and the process ends by the signal, as it would have without
// the guard. A signal this process ignores stays ignored. One guard at a
// time; a new guard replaces the path of the previous one.
class RemovalOnInterrupt {
 public:
  explicit RemovalOnInterrupt(const std::string& path);
  ~RemovalOnInterrupt();
  RemovalOnInterrupt(const RemovalOnInterrupt&) = delete;
  RemovalOnInterrupt& operator=(const RemovalOnInterrupt&) = delete;
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
