// Runs a child with every file descriptor of the process in use, for the
// runner's test of its pipe requirement: the runner cannot make its pipes and
// must stop with the assertion report.
#include <fcntl.h>
#include <sys/resource.h>

#include "shared/Categories/NSTask+Convenience.h"

int main() {
  rlimit limit{16, 16};
  if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 2;
  while (open("/dev/null", O_RDONLY) >= 0) {
  }
  NSTask_Convenience::runTaskWithLaunchPath_arguments("/bin/true", std::nullopt);
  return 0;
}
