#include "platform/files/SymbolicLinks.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace platform {

namespace {

std::optional<std::string> homeDirectoryOf(const std::string& user) {
  if (user.empty()) {
    const char* home = getenv("HOME");
    if (home && *home) return std::string(home);
  }
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  int rc = user.empty() ? getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found)
                        : getpwnam_r(user.c_str(), &entry, buffer.data(), buffer.size(), &found);
  if (rc != 0 || !found || !found->pw_dir) return std::nullopt;
  return std::string(found->pw_dir);
}

// "~" and "~user" at the start replaced by the home folder; an unknown user
// leaves the path as written.
std::string expandingTilde(const std::string& path) {
  if (path.empty() || path[0] != '~') return path;
  size_t slash = path.find('/');
  std::string user = path.substr(1, slash == std::string::npos ? std::string::npos : slash - 1);
  auto home = homeDirectoryOf(user);
  if (!home) return path;
  return slash == std::string::npos ? *home : *home + path.substr(slash);
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string withoutDotComponents(const std::string& path) {
  std::string out;
  size_t at = 0;
  while (at <= path.size()) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(at, end - at);
    if (!component.empty() && component != ".") {
      if (!out.empty()) out += '/';
      out += component;
    }
    at = end + 1;
  }
  return out;
}

}  // namespace

std::string resolvingSymlinksInPath(const std::string& path) {
  std::string expanded = expandingTilde(path);
  if (expanded.empty() || expanded[0] != '/') return withoutDotComponents(expanded);
  std::error_code error;
  auto resolved = std::filesystem::weakly_canonical(expanded, error);
  if (error) resolved = std::filesystem::path(expanded).lexically_normal();
  return withoutTrailingSlash(resolved.string());
}

std::optional<std::string> currentDirectoryPath() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size())) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() > (1u << 20)) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace platform
