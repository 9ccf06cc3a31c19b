#include "platform/processes/Pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

// Moves a descriptor above the standard streams, so that giving it to a
// child as 0, 1 or 2 is always a real duplication (which drops close-on-exec).
int aboveStandardStreams(int descriptor) {
  if (descriptor < 0 || descriptor > 2) return descriptor;
  int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
  close(descriptor);
  return moved;
}

// Reads what is ready on one descriptor into the buffer; false at end of
// file or on a read error (*failed tells which).
bool readAvailable(int descriptor, Bytes& buffer, bool* failed) {
  std::uint8_t chunk[65536];
  for (;;) {
    ssize_t count = read(descriptor, chunk, sizeof chunk);
    if (count > 0) {
      buffer.insert(buffer.end(), chunk, chunk + count);
      return true;
    }
    if (count < 0 && errno == EINTR) continue;
    *failed = count < 0;
    return false;
  }
}

}  // namespace

bool readPipesToEndOfFile(const std::vector<std::pair<Pipe*, Bytes*>>& pipes) {
  std::vector<pollfd> polled;
  for (const auto& [pipe, buffer] : pipes) polled.push_back({pipe->readDescriptor(), POLLIN, 0});
  size_t open = polled.size();
  bool failed = false;
  while (open > 0) {
    if (poll(polled.data(), polled.size(), -1) < 0) {
      if (errno == EINTR) continue;
      failed = true;
      break;
    }
    for (size_t i = 0; i < polled.size(); ++i) {
      if (polled[i].fd < 0 || polled[i].revents == 0) continue;
      if (readAvailable(polled[i].fd, *pipes[i].second, &failed)) continue;
      polled[i].fd = -1;
      --open;
    }
  }
  for (const auto& entry : pipes) entry.first->closeReading();
  return !failed;
}

std::unique_ptr<Pipe> Pipe::pipe() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return nullptr;
  int readEnd = aboveStandardStreams(ends[0]);
  int writeEnd = aboveStandardStreams(ends[1]);
  if (readEnd < 0 || writeEnd < 0) {
    if (readEnd >= 0) close(readEnd);
    if (writeEnd >= 0) close(writeEnd);
    return nullptr;
  }
  return std::unique_ptr<Pipe>(new Pipe(readEnd, writeEnd));
}

Pipe::~Pipe() {
  closeReading();
  closeWriting();
}

void Pipe::closeReading() {
  if (read_ >= 0) close(read_);
  read_ = -1;
}

void Pipe::closeWriting() {
  if (write_ >= 0) close(write_);
  write_ = -1;
}

}  // namespace platform
