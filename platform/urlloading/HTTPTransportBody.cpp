#include "platform/urlloading/HTTPTransportBody.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform {

void RequestBody::appendText(std::string_view text) {
  appendBytes(Bytes(text.begin(), text.end()));
}

void RequestBody::appendBytes(const Bytes& bytes) {
  if (bytes.empty()) return;
  if (!pieces_.empty()) {
    if (auto* last = std::get_if<Bytes>(&pieces_.back())) {
      last->insert(last->end(), bytes.begin(), bytes.end());
      size_ += bytes.size();
      return;
    }
  }
  pieces_.emplace_back(bytes);
  size_ += bytes.size();
}

bool RequestBody::appendFile(const std::string& path) {
  struct stat info;
  // Without O_NONBLOCK, opening a FIFO would wait for a writer forever.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  bool measured = fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (fd >= 0) close(fd);
  if (!measured) {
    if (!unreadablePath_) unreadablePath_ = path;
    return false;
  }
  auto size = static_cast<std::uint64_t>(info.st_size);
  pieces_.emplace_back(FilePiece{path, size});
  size_ += size;
  return true;
}

std::optional<Bytes> RequestBody::readAll() const {
  if (!isReadable()) return std::nullopt;
  Bytes all(size_);
  Reader reader(*this);
  std::size_t filled = 0;
  while (filled < all.size()) {
    std::optional<std::size_t> got = reader.read(all.data() + filled, all.size() - filled);
    if (!got || *got == 0) return std::nullopt;
    filled += *got;
  }
  return all;
}

RequestBody::Reader::~Reader() { closeFile(); }

void RequestBody::Reader::closeFile() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void RequestBody::Reader::rewind() {
  closeFile();
  piece_ = 0;
  offset_ = 0;
}

std::optional<std::size_t> RequestBody::Reader::read(std::uint8_t* buffer, std::size_t capacity) {
  while (piece_ < body_->pieces_.size()) {
    const auto& piece = body_->pieces_[piece_];
    if (const auto* bytes = std::get_if<Bytes>(&piece)) {
      if (offset_ < bytes->size()) {
        std::size_t count = std::min<std::uint64_t>(capacity, bytes->size() - offset_);
        std::memcpy(buffer, bytes->data() + offset_, count);
        offset_ += count;
        return count;
      }
    } else {
      const auto& file = std::get<FilePiece>(piece);
      if (offset_ < file.size) {
        if (fd_ < 0) {
          fd_ = open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
          if (fd_ < 0) return std::nullopt;
        }
        std::size_t wanted = std::min<std::uint64_t>(capacity, file.size - offset_);
        ssize_t got;
        do {
          got = pread(fd_, buffer, wanted, static_cast<off_t>(offset_));
        } while (got < 0 && errno == EINTR);
        // A file that shrank since it was measured cannot give the length
        // already announced: that is a read failure, not a short body.
        if (got <= 0) return std::nullopt;
        offset_ += static_cast<std::uint64_t>(got);
        return static_cast<std::size_t>(got);
      }
      closeFile();
    }
    ++piece_;
    offset_ = 0;
  }
  return 0;
}

}  // namespace platform
