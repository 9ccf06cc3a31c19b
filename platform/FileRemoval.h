#pragma once

#include "platform/Error.h"

#include <optional>
#include <string>

namespace platform {

// Removes the file (or empty folder) at the path. Nothing on success; the
// error (NSPOSIXErrorDomain, the errno value) when it cannot be removed,
// for instance because it does not exist.
std::optional<Error> removeItemAtPath(const std::string& path);

}  // namespace platform
