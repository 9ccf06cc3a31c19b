#include "platform/files/DirectoryListing.h"

#include <dirent.h>

#include <cerrno>
#include <cstring>

#include "platform/PosixError.h"

namespace platform {

std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(const std::string& path,
                                                                  Error* error) {
  DIR* directory = opendir(path.c_str());
  if (!directory) {
    if (error) *error = posixError(errno, "Could not list directory \u201c" + path + "\u201d");
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(directory);
    if (!entry) break;
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    names.emplace_back(entry->d_name);
  }
  int code = errno;
  closedir(directory);
  if (code != 0) {
    if (error) *error = posixError(code, "Could not list directory \u201c" + path + "\u201d");
    return std::nullopt;
  }
  return names;
}

}  // namespace platform
