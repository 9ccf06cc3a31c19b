#include "platform/files/Path.h"

#include <sys/stat.h>

namespace platform {

std::string appendPathComponent(std::string_view base, std::string_view component) {
  while (!component.empty() && component.front() == '/') component.remove_prefix(1);
  if (base.empty()) return std::string(component);
  std::string out(base);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  if (component.empty()) return out;
  if (out.back() != '/') out += '/';
  out.append(component);
  return out;
}

std::string joinWithSlash(std::string_view first, std::string_view second) {
  std::string out(first);
  out += '/';
  out.append(second);
  return out;
}

std::string lastPathComponent(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos || path.size() == 1) return std::string(path);
  return std::string(path.substr(slash + 1));
}

std::string pathExtension(std::string_view path) {
  std::string name = lastPathComponent(path);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return "";
  return name.substr(dot + 1);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool directoryExists(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
