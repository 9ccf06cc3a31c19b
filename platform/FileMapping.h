#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// What the Mach-O reader needs to know of an open file.
struct FileStatus {
  std::uint64_t size = 0;
  bool isRegularFile = false;
};

// Opens a path for reading only, without waiting (a FIFO without writer
// opens at once); -1 when it cannot be opened.
int openForReading(const char* path);

// The size and type of an open file; nothing when the query fails.
std::optional<FileStatus> fileStatus(int descriptor);

// Maps `size` bytes of an open file read-only and shared from offset 0,
// advised for random access (no read-ahead around the pages touched);
// nullptr when the mapping fails.
const void* mapReadOnly(int descriptor, std::uint64_t size);

// Releases a mapping made by mapReadOnly.
void unmapFile(const void* address, std::uint64_t size);

// Closes a descriptor made by openForReading.
void closeFile(int descriptor);

}  // namespace platform
