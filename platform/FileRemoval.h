#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// Removes the file (or empty folder) at the path. Nothing on success; the
// error (NSPOSIXErrorDomain, the errno value) when it cannot be removed,
// for instance because it does not exist.
std::optional<Error> removeItemAtPath(const std::string& path);

}  // namespace platform
