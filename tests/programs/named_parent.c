// Plays a parent process of a given name, such as Xcode or xcsbuildd:
//   named_parent NAME PROGRAM [ARGUMENTS...]   (PROGRAM is a path; no PATH search)
// renames itself to NAME (the command name the system keeps, at most 15
// bytes, any bytes), runs PROGRAM as its child with the same environment,
// waits for it and exits with its status (128 + signal when it was killed).
// Chains make deeper ancestries: named_parent Xcode named_parent other run KEY
#include <errno.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: named_parent NAME PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  if (prctl(PR_SET_NAME, argv[1], 0, 0, 0) != 0) {
    perror("named_parent: prctl");
    return 2;
  }
  pid_t child = 0;
  int rc = posix_spawn(&child, argv[2], NULL, NULL, argv + 2, environ);
  if (rc != 0) {
    fprintf(stderr, "named_parent: cannot start %s: %s\n", argv[2], strerror(rc));
    return 2;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 2;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
