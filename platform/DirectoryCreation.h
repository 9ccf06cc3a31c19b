#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// Creates a directory and every missing parent with default attributes
// (0777 less the umask). An existing directory counts as success. Returns
// the error of the first step that failed, or nothing on success.
std::optional<Error> createDirectoryWithIntermediates(const std::string& path);

}  // namespace platform
