#pragma once

#include <string>

#include "platform/InterruptCleanup.h"

// A private folder under TMPDIR for the zips of one run, so that nothing is
// ever written into the archive or folder given (it may be read-only). It
// becomes the run's TMPDIR, so that the zips given as PATHs are extracted
// inside it as well and an interrupt during an extraction leaves nothing.
// It goes, with whatever it holds, when the object ends or an interrupt
// ends the run. Made before any thread starts; ends the run with status 1
// when it cannot be made.
class WorkFolder {
 public:
  WorkFolder();
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  platform::RemovalOnInterrupt guard_;
};
