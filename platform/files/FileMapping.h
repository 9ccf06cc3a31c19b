#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// What identifies one state of a file: a file replaced, grown, shrunk or
// rewritten in place shows a different identity.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNanoseconds = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What the Mach-O reader needs to know of an open file.
struct FileStatus {
  std::uint64_t size = 0;
  bool isRegularFile = false;
  FileIdentity identity;
};

// Opens a path for reading only, without waiting (a FIFO without writer
// opens at once), advised for random access (no read-ahead around the bytes
// read); -1 when it cannot be opened.
int openForReading(const char* path);

// The size, type and identity of an open file; nothing when the query fails.
std::optional<FileStatus> fileStatus(int descriptor);

// Reads exactly `length` bytes from `offset` of an open file into `buffer`.
// False when the file ends first (it shrank since its size was taken) or
// the read fails: a file that changes under the reader gives an error,
// never a signal.
bool readExactlyAt(int descriptor, std::uint64_t offset, void* buffer, std::uint64_t length);

// Reserves `size` bytes of private memory that read as zero; only the pages
// written take memory. nullptr when it cannot be had.
void* reserveZeroedMemory(std::uint64_t size);

// Releases memory from reserveZeroedMemory.
void releaseMemory(const void* address, std::uint64_t size);

// Closes a descriptor made by openForReading.
void closeFile(int descriptor);

}  // namespace platform
