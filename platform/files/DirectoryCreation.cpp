#include "platform/files/DirectoryCreation.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/PosixError.h"

namespace platform {

namespace {

bool isDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes one level, private to its owner whatever the umask; a directory that
// is already there (perhaps made by a concurrent run) is fine and keeps its
// mode.
std::optional<Error> makeOneLevel(const std::string& path) {
  if (mkdir(path.c_str(), 0700) == 0) {
    if (chmod(path.c_str(), 0700) == 0) return std::nullopt;
    return posixError(errno, "Could not create directory \u201c" + path + "\u201d");
  }
  int code = errno;
  if (code == EEXIST && isDirectory(path)) return std::nullopt;
  if (code == EEXIST) code = ENOTDIR;
  return posixError(code, "Could not create directory \u201c" + path + "\u201d");
}

}  // namespace

std::optional<Error> createDirectoryWithIntermediates(const std::string& path) {
  if (path.empty()) return posixError(ENOENT, "Could not create directory \u201c\u201d");
  if (isDirectory(path)) return std::nullopt;
  // Every prefix ending before a "/" is a parent to make, outermost first.
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    if (path[slash - 1] == '/') continue;
    std::string parent = path.substr(0, slash);
    if (isDirectory(parent)) continue;
    if (auto error = makeOneLevel(parent)) return error;
  }
  return makeOneLevel(path);
}

}  // namespace platform
