#include "platform/files/TemporaryFolder.h"

#include <stdlib.h>

#include <cerrno>
#include <vector>

#include "platform/PosixError.h"
#include "platform/files/Path.h"

namespace platform {

std::string temporaryDirectory() {
  const char* tmpdir = getenv("TMPDIR");
  if (tmpdir && *tmpdir && directoryExists(tmpdir)) return tmpdir;
  return "/tmp";
}

std::optional<std::string> makePrivateTemporaryFolder(const std::string& prefix, Error* error) {
  const std::string pattern = appendPathComponent(temporaryDirectory(), prefix + "XXXXXX");
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data())) return std::string(name.data());
  if (error) *error = posixError(errno, "cannot make a folder in " + temporaryDirectory());
  return std::nullopt;
}

void setTemporaryDirectory(const std::string& path) { setenv("TMPDIR", path.c_str(), 1); }

}  // namespace platform
