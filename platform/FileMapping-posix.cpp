#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "platform/FileMapping.h"

namespace platform {

// O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer;
// the caller refuses anything but a regular file after the status query.
int openForReading(const char* path) {
  if (!path) return -1;
  int descriptor;
  do {
    descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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
  if (address == MAP_FAILED) return nullptr;
  // Readers touch a few scattered pages (headers and load commands); reading
  // ahead around them would only cost time and memory.
  madvise(address, static_cast<size_t>(size), MADV_RANDOM);
  return address;
}

void unmapFile(const void* address, std::uint64_t size) {
  if (address && size) munmap(const_cast<void*>(address), static_cast<size_t>(size));
}

void closeFile(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

}  // namespace platform
