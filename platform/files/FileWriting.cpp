#include "platform/files/FileWriting.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

bool writeAll(int fd, const void* data, std::size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, next, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    next += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::unique_ptr<NewFile> NewFile::create(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  return fd < 0 ? nullptr : std::unique_ptr<NewFile>(new NewFile(fd));
}

NewFile::~NewFile() { close(fd_); }

}  // namespace platform
