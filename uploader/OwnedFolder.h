#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/processes/InterruptCleanup.h"

// A folder the run made for itself: it goes, with whatever it holds, when
// the object ends, and when guarded also when an interrupt ends the run (a
// folder inside a guarded one needs no guard of its own, so that any
// number of them may live).
class OwnedFolder {
 public:
  OwnedFolder(std::string path, bool guarded) : path_(std::move(path)) {
    if (guarded) guard_.emplace(path_);
  }
  ~OwnedFolder();
  OwnedFolder(const OwnedFolder&) = delete;
  OwnedFolder& operator=(const OwnedFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::optional<platform::RemovalOnInterrupt> guard_;
};

// A private folder under TMPDIR for the zips of one run, so that nothing is
// ever written into the archive or folder given (it may be read-only). It
// becomes the run's TMPDIR, so that the zips given as PATHs are extracted
// inside it as well and an interrupt during an extraction leaves nothing.
// Made before any thread starts; null, reported, when it cannot be made.
std::unique_ptr<OwnedFolder> makeWorkFolder();
