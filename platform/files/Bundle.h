#pragma once

#include <optional>
#include <string>

#include "platform/Value.h"

namespace platform {

// A bundle folder read as the platform's bundle reader reads it: the folder
// and its information property list (Contents/Info.plist, or Info.plist at
// the top for a flat bundle).
class Bundle {
 public:
  // A bundle for an existing directory (a link counts by its target);
  // nothing for a missing path or anything that is not a directory.
  static std::optional<Bundle> bundleWithPath(const std::string& path);

  const std::string& bundlePath() const { return path_; }

  // The information dictionary; an empty dictionary when the bundle has no
  // readable information property list.
  const Value& infoDictionary() const { return info_; }

  // The "CFBundleIdentifier" entry when it is a text; nothing otherwise.
  std::optional<std::string> bundleIdentifier() const;

  // The executable that "CFBundleExecutable" names: Contents/MacOS/NAME in a
  // bundle with a Contents folder, NAME at the top of a flat one. Nothing
  // without that entry, or for a name that is not a plain file name.
  std::optional<std::string> executablePath() const;

 private:
  Bundle(std::string path, Value info) : path_(std::move(path)), info_(std::move(info)) {}

  std::string path_;
  Value info_;
};

}  // namespace platform
