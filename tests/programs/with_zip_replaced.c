// Runs a program where /usr/bin/zip is missing, in a mount namespace of its
// own, so the machine's real archiver stays untouched:
//   with_zip_replaced --missing PROGRAM [ARGUMENTS...]
//     an empty folder is mounted over /usr/bin, so no /usr/bin/zip exists
// PROGRAM is a path (no PATH search). Exits 77 when mount namespaces are not
// available (not root, in a chroot, or a sandbox forbids them), 2 on other set-up errors,
// else with PROGRAM's status (it replaces this process).
#define _GNU_SOURCE
#include <errno.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3 || strcmp(argv[1], "--missing") != 0) {
    fprintf(stderr, "usage: with_zip_replaced --missing PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  if (unshare(CLONE_NEWNS) != 0) {
    fprintf(stderr, "with_zip_replaced: unshare: %s\n", strerror(errno));
    return 77;
  }
  // Mounts made from here on stay inside this namespace.
  if (mount(NULL, "/", NULL, MS_REC | MS_PRIVATE, NULL) != 0) {
    // In a chroot / is no mount point; without a private / the mount below
    // could show in the namespace this one was copied from.
    int error = errno;
    fprintf(stderr, "with_zip_replaced: cannot make / private (%s)%s\n", strerror(error),
            error == EINVAL ? ": / is not a mount point, as in a chroot" : "");
    return 77;
  }
  if (mount("none", "/usr/bin", "tmpfs", MS_RDONLY, "size=64k") != 0) {
    fprintf(stderr, "with_zip_replaced: mount: %s\n", strerror(errno));
    return 77;
  }
  execv(argv[2], argv + 2);
  fprintf(stderr, "with_zip_replaced: cannot start %s: %s\n", argv[2], strerror(errno));
  return 2;
}
