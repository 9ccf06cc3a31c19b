#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/Value.h"

namespace platform {

// The NSPipe stand-in: a one-way channel with a reading and a writing end.
// Both descriptors are close-on-exec and never 0, 1 or 2, so a child sees
// only the copies a task gives it on its standard streams.
class Pipe {
 public:
  // A new pipe; null when the process has no descriptors left.
  static std::unique_ptr<Pipe> pipe();
  ~Pipe();
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;

  // The reading end, or -1 once closed.
  int readDescriptor() const { return read_; }
  // The writing end, or -1 once closed.
  int writeDescriptor() const { return write_; }
  // Closes the reading end (no effect when already closed).
  void closeReading();
  // Closes the writing end (no effect when already closed).
  void closeWriting();

 private:
  Pipe(int readEnd, int writeEnd) : read_(readEnd), write_(writeEnd) {}
  int read_;
  int write_;
};

// Reads the pipes' reading ends until every writer has closed each of them,
// all at once (poll), so a writer blocked on a full pipe never stalls while
// another is being read. Each pipe's bytes go to its buffer; the reading
// ends are closed afterwards. Returns false on a read error other than EINTR.
bool readPipesToEndOfFile(const std::vector<std::pair<Pipe*, Bytes*>>& pipes);

}  // namespace platform
