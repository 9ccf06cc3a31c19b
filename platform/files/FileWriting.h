#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// Writes all SIZE bytes to the descriptor, going on after interrupted and
// partial writes; false, with errno set, when a write fails.
bool writeAll(int fd, const void* data, std::size_t size);

// A file made anew, only this user's (0600), written front to back and
// closed when the object ends.
class NewFile {
 public:
  // Creates the file; nothing when it exists already or cannot be made.
  static std::unique_ptr<NewFile> create(const std::string& path);
  ~NewFile();
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  // Appends the bytes; false when a write fails (the disk is full).
  bool append(const void* data, std::size_t size) { return writeAll(fd_, data, size); }

 private:
  explicit NewFile(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace platform
