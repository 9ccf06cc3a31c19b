#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <limits>

#include "platform/files/FileMapping.h"

namespace platform {

// O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer;
// the caller refuses anything but a regular file after the status query.
int openForReading(const char* path) {
  if (!path) return -1;
  int descriptor;
  do {
    descriptor = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (descriptor < 0 && errno == EINTR);
  // Readers take a few scattered ranges (headers and load commands); reading
  // ahead around them would only cost time and memory.
  if (descriptor >= 0) posix_fadvise(descriptor, 0, 0, POSIX_FADV_RANDOM);
  return descriptor;
}

std::optional<FileStatus> fileStatus(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) != 0) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(status.st_size);
  const std::int64_t modified =
      static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  return FileStatus{size, S_ISREG(status.st_mode),
                    FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                                 static_cast<std::uint64_t>(status.st_ino), size, modified}};
}

bool readExactlyAt(int descriptor, std::uint64_t offset, void* buffer, std::uint64_t length) {
  auto* bytes = static_cast<char*>(buffer);
  while (length > 0) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    const size_t chunk =
        static_cast<size_t>(std::min<std::uint64_t>(length, std::numeric_limits<ssize_t>::max()));
    const ssize_t got = pread(descriptor, bytes, chunk, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::uint64_t>(got);
  }
  return true;
}

void* reserveZeroedMemory(std::uint64_t size) {
  if (size == 0 || size > std::numeric_limits<size_t>::max()) return nullptr;
  void* address = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  return address == MAP_FAILED ? nullptr : address;
}

void releaseMemory(const void* address, std::uint64_t size) {
  if (address && size) munmap(const_cast<void*>(address), static_cast<size_t>(size));
}

void closeFile(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

}  // namespace platform
