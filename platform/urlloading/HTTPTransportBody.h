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

// A file that another part of the program is still writing, read as it
// grows: the body it is part of goes out while it is made.
class GrowingFile {
 public:
  virtual ~GrowingFile() = default;
  // The file's path, to read it from.
  virtual const std::string& path() const = 0;
  // Blocks until the file holds more than `offset` bytes or is finished,
  // and returns how many it holds (no more than `offset` only at its end);
  // nothing when it will never be whole (its writer failed).
  virtual std::optional<std::uint64_t> waitBeyond(std::uint64_t offset) = 0;
};

// The body of a transport request: a sequence of pieces, each either bytes
// held in memory, a file whose bytes are read only while the body is sent
// (so a large file never sits in memory whole), or a growing file read as
// it is written. Its length is known before sending unless it holds a
// growing file (files are measured when added).
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
  // Appends the bytes of a file still being written, as they come.
  void appendGrowingFile(std::shared_ptr<GrowingFile> file);

  // The number of bytes of the whole body; without a growing file only.
  std::uint64_t size() const { return size_; }
  // Whether the length is known before the body is read: no growing file.
  bool hasKnownSize() const { return !grows_; }
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
    // nothing when a file cannot be read or has shrunk since it was added,
    // or a growing file's writer failed. Waits for a growing file's next
    // bytes.
    std::optional<std::size_t> read(std::uint8_t* buffer, std::size_t capacity);
    // Starts again from the first byte.
    void rewind();

   private:
    const RequestBody* body_;
    std::size_t piece_ = 0;
    std::uint64_t offset_ = 0;  // within the current piece
    int fd_ = -1;
    void closeFile();
    std::optional<std::size_t> readFile(const std::string& path, std::uint64_t end,
                                        std::uint8_t* buffer, std::size_t capacity);
  };

 private:
  struct FilePiece {
    std::string path;
    std::uint64_t size = 0;
  };
  std::vector<std::variant<Bytes, FilePiece, std::shared_ptr<GrowingFile>>> pieces_;
  std::uint64_t size_ = 0;
  bool grows_ = false;
  std::optional<std::string> unreadablePath_;
};

}  // namespace platform
