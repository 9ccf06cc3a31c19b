#include "platform/FileRemoval.h"

#include <cerrno>
#include <cstdio>

#include "platform/PosixError.h"

namespace platform {

std::optional<Error> removeItemAtPath(const std::string& path) {
  if (std::remove(path.c_str()) == 0) return std::nullopt;
  return posixError(errno, "cannot remove " + path);
}

}  // namespace platform
