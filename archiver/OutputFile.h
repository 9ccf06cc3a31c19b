#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace archiver {

// Buffered, positioned writes to the archive being made. Every operation
// returns false, with a message naming the archive in *error, on failure.
class OutputFile {
 public:
  // FD stays owned by the caller; NAME is the path shown in messages.
  OutputFile(int fd, std::string name);

  // Appends bytes at the end of what was written so far.
  bool write(const void* data, size_t length, std::string* error);
  bool write(std::string_view bytes, std::string* error) {
    return write(bytes.data(), bytes.size(), error);
  }
  // Overwrites bytes already written, at OFFSET from the start.
  bool patch(uint64_t offset, std::string_view bytes, std::string* error);
  // Writes out everything still buffered.
  bool flush(std::string* error);
  // How many bytes the archive holds so far, buffered ones included.
  uint64_t offset() const { return offset_; }

 private:
  bool fail(const char* what, std::string* error) const;

  int fd_;
  std::string name_;
  std::vector<unsigned char> buffer_;
  size_t buffered_ = 0;
  uint64_t offset_ = 0;
};

}  // namespace archiver
