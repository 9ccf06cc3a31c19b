#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace platform {

// The names of the entries directly inside a directory (no recursion), in
// the order the file system lists them, without "." and "..". Nothing, with
// the error in *error when given, when the directory cannot be read.
std::optional<std::vector<std::string>> contentsOfDirectoryAtPath(const std::string& path,
                                                                  Error* error = nullptr);

}  // namespace platform
