#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/FileMapping.h"

namespace platform {

int openForReading(const char* path) {
  if (!path) return -1;
  int descriptor;
  do {
    descriptor = open(path, O_RDONLY | O_CLOEXEC);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

std::optional<FileStatus> fileStatus(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return std::nullopt;
  return FileStatus{static_cast<std::uint64_t>(status.st_size), S_ISREG(status.st_mode)};
}

const void* mapReadOnly(int descriptor, std::uint64_t size) {
  if (size == 0 || size > std::numeric_limits<size_t>::max()) return nullptr;
  void* address = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_SHARED, descriptor, 0);
  return address == MAP_FAILED ? nullptr : address;
}

void unmapFile(const void* address, std::uint64_t size) {
  if (address && size) munmap(const_cast<void*>(address), static_cast<size_t>(size));
}

void closeFile(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

}  // namespace platform
