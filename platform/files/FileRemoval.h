#pragma once

#include <optional>
#include <string>

#include "platform/Error.h"

namespace platform {

// Removes the file (or empty folder) at the path. Nothing on success; the
// error (NSPOSIXErrorDomain, the errno value) when it cannot be removed,
// for instance because it does not exist.
std::optional<Error> removeItemAtPath(const std::string& path);

// Removes the file or the folder with everything in it at the path; links
// inside are removed, never followed. Nothing on success; the error
// (NSPOSIXErrorDomain, the errno value) of the first item that could not
// be removed, for instance because the path does not exist.
std::optional<Error> removeItemTreeAtPath(const std::string& path);

}  // namespace platform
