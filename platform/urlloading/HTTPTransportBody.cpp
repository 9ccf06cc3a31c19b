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

void RequestBody::appendGrowingFile(std::shared_ptr<GrowingFile> file) {
  pieces_.emplace_back(std::move(file));
  grows_ = true;
}

std::optional<Bytes> RequestBody::readAll() const {
  if (!isReadable()) return std::nullopt;
  Bytes all;
  if (!grows_) all.reserve(size_);
  Reader reader(*this);
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    std::optional<std::size_t> got = reader.read(buffer, sizeof buffer);
    if (!got) return std::nullopt;
    if (*got == 0) break;
    all.insert(all.end(), buffer, buffer + *got);
  }
  // A body of known length that came out short had a file that shrank.
  if (!grows_ && all.size() != size_) return std::nullopt;
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

// Reads the current piece's file, the one at PATH, up to END.
std::optional<std::size_t> RequestBody::Reader::readFile(const std::string& path, std::uint64_t end,
                                                         std::uint8_t* buffer,
                                                         std::size_t capacity) {
  if (fd_ < 0) {
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) return std::nullopt;
  }
  std::size_t wanted = std::min<std::uint64_t>(capacity, end - offset_);
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
    } else if (const auto* file = std::get_if<FilePiece>(&piece)) {
      if (offset_ < file->size) return readFile(file->path, file->size, buffer, capacity);
      closeFile();
    } else {
      const auto& growing = std::get<std::shared_ptr<GrowingFile>>(piece);
      std::optional<std::uint64_t> size = growing->waitBeyond(offset_);
      if (!size) return std::nullopt;
      if (offset_ < *size) return readFile(growing->path(), *size, buffer, capacity);
      closeFile();
    }
    ++piece_;
    offset_ = 0;
  }
  return 0;
}

}  // namespace platform
