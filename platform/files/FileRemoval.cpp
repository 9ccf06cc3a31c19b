#include "platform/files/FileRemoval.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "platform/PosixError.h"

namespace platform {

std::optional<Error> removeItemAtPath(const std::string& path) {
  if (std::remove(path.c_str()) == 0) return std::nullopt;
  return posixError(errno, "cannot remove " + path);
}

std::optional<Error> removeItemTreeAtPath(const std::string& path) {
  std::error_code error;
  auto removed = std::filesystem::remove_all(path, error);
  if (error) return posixError(error.value(), "cannot remove " + path);
  if (removed == 0) return posixError(ENOENT, "cannot remove " + path);
  return std::nullopt;
}

}  // namespace platform
