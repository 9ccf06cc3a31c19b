#include "archiver/OutputFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace archiver {

namespace {
constexpr size_t kBufferSize = 1 << 20;
}

OutputFile::OutputFile(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), buffer_(kBufferSize) {}

bool OutputFile::fail(const char* what, std::string* error) const {
  *error = name_ + ": " + what + ": " + std::strerror(errno);
  return false;
}

bool OutputFile::write(const void* data, size_t length, std::string* error) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (length > 0) {
    if (buffered_ == buffer_.size() && !flush(error)) return false;
    size_t room = buffer_.size() - buffered_;
    size_t take = length < room ? length : room;
    std::memcpy(buffer_.data() + buffered_, bytes, take);
    buffered_ += take;
    bytes += take;
    length -= take;
    offset_ += take;
  }
  return true;
}

bool OutputFile::flush(std::string* error) {
  size_t done = 0;
  while (done < buffered_) {
    ssize_t n = ::write(fd_, buffer_.data() + done, buffered_ - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return fail("cannot write", error);
    }
    done += static_cast<size_t>(n);
  }
  buffered_ = 0;
  return true;
}

bool OutputFile::patch(uint64_t offset, std::string_view bytes, std::string* error) {
  if (!flush(error)) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n =
        ::pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return fail("cannot write", error);
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace archiver
