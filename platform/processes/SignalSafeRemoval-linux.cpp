#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/processes/SignalSafeRemoval.h"

namespace platform {

namespace {

// Deep enough for any bundle; the stack a level takes stays small.
constexpr int kDeepestLevel = 64;
constexpr int kPassesPerFolder = 4;

// The fixed head of a getdents64 record; the entry's name follows it.
struct DirectoryEntry64 {
  std::uint64_t inode;
  std::int64_t offset;
  unsigned short length;
  unsigned char type;
};
constexpr std::size_t kNameOffset = offsetof(DirectoryEntry64, type) + 1;

bool isDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

void removeEntry(int parent, const char* name, int level);

// One read of the folder front to back, removing what it lists; whether it
// listed anything. Entries removed while reading may hide others, so the
// caller reads again.
bool removeFolderEntriesOnce(int folder, int level) {
  if (lseek(folder, 0, SEEK_SET) < 0) return false;
  alignas(DirectoryEntry64) char buffer[1024];
  bool listed = false;
  for (;;) {
    const long got = syscall(SYS_getdents64, folder, buffer, sizeof buffer);
    if (got <= 0) return listed;
    for (long at = 0; at < got;) {
      const auto* entry = reinterpret_cast<const DirectoryEntry64*>(buffer + at);
      const char* name = buffer + at + kNameOffset;
      at += entry->length;
      if (isDotOrDotDot(name)) continue;
      listed = true;
      removeEntry(folder, name, level + 1);
    }
  }
}

void removeEntry(int parent, const char* name, int level) {
  if (unlinkat(parent, name, 0) == 0 || errno == ENOENT) return;
  if (level > kDeepestLevel) return;
  const int folder = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  for (int pass = 0; pass < kPassesPerFolder && removeFolderEntriesOnce(folder, level); ++pass) {
  }
  close(folder);
  unlinkat(parent, name, AT_REMOVEDIR);
}

}  // namespace

void removeTreeSignalSafe(const char* path) { removeEntry(AT_FDCWD, path, 0); }

}  // namespace platform
