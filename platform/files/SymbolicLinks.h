#pragma once

#include <optional>
#include <string>

namespace platform {

// The path with its symbolic links resolved, as the platform's
// stringByResolvingSymlinksInPath does: a leading "~" or "~user" expanded,
// every link of an absolute path replaced by its target, "." and ".."
// components removed and no trailing "/". Components that do not exist are
// kept as written after the part that does. A relative path only loses its
// "." components, since its links depend on the working directory.
std::string resolvingSymlinksInPath(const std::string& path);

// The working directory of the process as an absolute path (links already
// resolved by the system); nothing when it cannot be obtained, for example
// when the folder has been removed.
std::optional<std::string> currentDirectoryPath();

}  // namespace platform
