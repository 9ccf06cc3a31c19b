#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archiver/OutputFile.h"

namespace archiver {

// What deflating one file gave.
struct DeflateResult {
  uint32_t crc = 0;
  uint64_t compressedSize = 0;
};

// Deflates files on all cores: each file is cut into chunks that worker
// threads read and compress independently; the chunks' streams are joined,
// in order, into the file's one deflate stream and their CRC-32s combined.
// A fixed number of chunk buffers bounds the memory, whatever the file size.
class DeflatePool {
 public:
  DeflatePool();
  ~DeflatePool();
  DeflatePool(const DeflatePool&) = delete;
  DeflatePool& operator=(const DeflatePool&) = delete;

  // Reads SIZE bytes of the open regular file FD from its start and appends
  // them to OUT as one raw deflate stream. False, with *error naming PATH
  // (or the archive), when reading or writing fails or the file ends early.
  bool deflateFile(int fd, uint64_t size, const std::string& path, OutputFile& out,
                   DeflateResult* result, std::string* error);

 private:
  struct Chunk;
  struct Worker;

  void work();
  bool writeChunk(Chunk& chunk, const std::string& path, OutputFile& out, DeflateResult* result,
                  std::string* error);
  void submit(Chunk& chunk);
  void waitFor(Chunk& chunk);

  std::mutex mutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;
  std::deque<Chunk*> queue_;
  bool stopping_ = false;
  std::vector<Chunk> chunks_;
  std::vector<std::thread> threads_;
};

}  // namespace archiver
