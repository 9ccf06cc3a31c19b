#pragma once

#include <string>

namespace archiver {

// The archive while it is being made: a file under a temporary name in the
// folder of its final path, renamed to that path only once complete. Until
// then it is removed when the object ends, and also when SIGINT, SIGTERM or
// SIGHUP stops the process (the handler removes it, then lets the signal
// take its default action; a signal the process ignores stays ignored).
// Once renamed, the stop signals stay held on the calling thread, so the
// process either ends with the archive complete and status 0 or by a
// signal with no file. One object at a time per process.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile();
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates ".NAME.XXXXXX" beside FINALPATH; false, with *error, on failure.
  bool create(const std::string& finalPath, std::string* error);
  int fd() const { return fd_; }
  // Closes the file and renames it to the final path, then keeps the stop
  // signals held; false, with *error, on failure (the temporary file is
  // then removed).
  bool commit(std::string* error);

 private:
  void discard();

  int fd_ = -1;
  std::string finalPath_;
  std::string path_;
};

}  // namespace archiver
