#include "platform/files/FileSearch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr std::size_t kPieceSize = 1 << 20;

// Reads up to `capacity` bytes; -1 on a read error.
ssize_t readSome(int fd, char* buffer, std::size_t capacity) {
  ssize_t got;
  do {
    got = read(fd, buffer, capacity);
  } while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace

bool fileHolds(const std::string& path, std::string_view needle) {
  if (needle.empty()) return true;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  bool found = false;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    // Each piece keeps the last needle.size() - 1 bytes of the one before,
    // so that a needle across two pieces is found too.
    const std::size_t keep = needle.size() - 1;
    std::vector<char> buffer(keep + kPieceSize);
    std::size_t held = 0;
    for (ssize_t got; !found && (got = readSome(fd, buffer.data() + held, kPieceSize)) > 0;) {
      const std::size_t filled = held + static_cast<std::size_t>(got);
      const char* end = buffer.data() + filled;
      found = memmem(buffer.data(), filled, needle.data(), needle.size()) != nullptr;
      held = std::min(keep, filled);
      std::memmove(buffer.data(), end - held, held);
    }
  }
  close(fd);
  return found;
}

}  // namespace platform
