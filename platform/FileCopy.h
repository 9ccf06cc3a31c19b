#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// Copies a file, a symbolic link (as a link, never followed) or a whole
// directory tree to a destination that must not exist yet. Permissions and
// modification times are kept; file data is cloned (reflink) or copied
// inside the kernel where the file system allows, else read and written.
// Returns the error of the first item that failed, or nothing on success;
// whatever was copied before a failure stays.
std::optional<Error> copyItemAtPath(const std::string& source, const std::string& destination);

}  // namespace platform
