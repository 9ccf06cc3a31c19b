#include "archiver/TemporaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "archiver/StopSignals.h"

namespace archiver {

namespace {

// What the signal handler removes: a copy of the temporary path that it can
// read without locks, valid while `armed` is set.
char pendingPath[8192];
std::atomic<bool> armed{false};

// Runs with every stop signal held, so no second signal ends the process
// before the file is gone.
extern "C" void removeAndStop(int signal) {
  if (armed.load()) unlink(pendingPath);
  endByStopSignal(signal);
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TemporaryFile::~TemporaryFile() { discard(); }

bool TemporaryFile::create(const std::string& finalPath, std::string* error) {
  finalPath_ = finalPath;
  std::string pattern = folderOf(finalPath) + "/." + nameOf(finalPath) + ".XXXXXX";
  if (pattern.size() >= sizeof pendingPath) {
    *error = finalPath + ": " + std::strerror(ENAMETOOLONG);
    return false;
  }
  mode_t mask = umask(0);
  umask(mask);
  handleStopSignals(removeAndStop);
  {
    // The handler never sees a half-set path.
    StopSignalsHeld held;
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ >= 0) {
      path_ = pattern;
      std::memcpy(pendingPath, path_.c_str(), path_.size() + 1);
      armed.store(true);
    }
  }
  if (fd_ < 0) {
    *error = finalPath + ": cannot create the archive: " + std::strerror(errno);
    return false;
  }
  // The finished archive gets the permissions of a file made by open(2).
  fchmod(fd_, 0666 & ~mask);
  return true;
}

bool TemporaryFile::commit(std::string* error) {
  if (close(fd_) != 0) {
    fd_ = -1;
    *error = finalPath_ + ": cannot write: " + std::strerror(errno);
    discard();
    return false;
  }
  fd_ = -1;
  int renamed;
  {
    StopSignalsHeld held;
    renamed = rename(path_.c_str(), finalPath_.c_str());
    if (renamed == 0) {
      armed.store(false);
      path_.clear();
      // The archive is complete: the process goes on to end with status
      // 0, and a stop signal that comes from here on waits for that end.
      held.keepForGood();
    }
  }
  if (renamed != 0) {
    *error = finalPath_ + ": cannot create the archive: " + std::strerror(errno);
    discard();
    return false;
  }
  return true;
}

void TemporaryFile::discard() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (path_.empty()) return;
  StopSignalsHeld held;
  unlink(path_.c_str());
  armed.store(false);
  path_.clear();
}

}  // namespace archiver
