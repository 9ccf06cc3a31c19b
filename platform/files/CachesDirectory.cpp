#include "platform/files/CachesDirectory.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/files/Path.h"

namespace platform {

namespace {

// An environment variable holding an absolute path, or nothing.
const char* absolutePathVariable(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] == '/' ? value : nullptr;
}

}  // namespace

std::vector<std::string> userCachesDirectories() {
  if (const char* cache = absolutePathVariable("XDG_CACHE_HOME")) return {cache};
  if (const char* home = absolutePathVariable("HOME")) return {appendPathComponent(home, ".cache")};
  return {};
}

std::string homeDirectory() {
  if (const char* home = absolutePathVariable("HOME")) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0] == '/')
    return entry->pw_dir;
  return "/";
}

}  // namespace platform
