#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Value.h"

namespace platform {

// The body of a transport request: a sequence of pieces, each either bytes
// held in memory or a file whose bytes are read only while the body is
// sent, so a large file never sits in memory whole. Its length is known
// before sending (files are measured when added).
class RequestBody {
 public:
  // Appends text bytes.
  void appendText(std::string_view text);
  // Appends bytes.
  void appendBytes(const Bytes& bytes);
  // Appends the bytes a file holds now, read later in pieces. Returns false,
  // and marks the body unreadable, when the file cannot be opened as a
  // regular file.
  bool appendFile(const std::string& path);

  // The number of bytes of the whole body.
  std::uint64_t size() const { return size_; }
  // Whether every file piece could be measured when it was added.
  bool isReadable() const { return !unreadablePath_; }
  // The first file that could not be opened, when there is one.
  const std::optional<std::string>& unreadablePath() const { return unreadablePath_; }

  // The whole body in memory; nothing when a file cannot be read whole.
  std::optional<Bytes> readAll() const;

  // Reads a body front to back, one piece at a time.
  class Reader {
   public:
    explicit Reader(const RequestBody& body) : body_(&body) {}
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    // Copies up to `capacity` next bytes into `buffer`; 0 at the end;
    // nothing when a file cannot be read or has shrunk since it was added.
    std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t capacity);
    // Starts again from the first byte.
    void rewind();

   private:
    const RequestBody* body_;
    std::size_t piece_ = 0;
    std::uint64_t offset_ = 0;  // within the current piece
    int fd_ = -1;
    void closeFile();
  };

 private:
  struct FilePiece {
    std::string path;
    std::uint64_t size = 0;
  };
  std::vector<std::variant<Bytes, FilePiece>> pieces_;
  std::uint64_t size_ = 0;
  std::optional<std::string> unreadablePath_;
};

}  // namespace platform
