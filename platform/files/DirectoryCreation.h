#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// Creates a directory and every missing parent, each private to its owner
// (mode 0700 whatever the umask). An existing directory counts as success
// and keeps its mode. Returns
// the error of the first step that failed, or nothing on success.
std::optional<Error> createDirectoryWithIntermediates(const std::string& path);

}  // namespace platform
