#include "platform/MainBundle.h"

#include <unistd.h>

#include <climits>

#include "platform/ToolIdentity.h"

namespace platform {

std::string mainBundlePath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

const Value& mainBundleInfoDictionary() {
  static const Value info = {{"CFBundleShortVersionString", kToolShortVersion},
                             {"CFBundleVersion", kToolBundleVersion},
                             {"CFBundleIdentifier", kToolIdentifier}};
  return info;
}

std::string toolShortVersion() { return kToolShortVersion; }
std::string toolBundleVersion() { return kToolBundleVersion; }
std::string toolIdentifier() { return kToolIdentifier; }

}  // namespace platform
