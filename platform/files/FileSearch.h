#pragma once

#include <string>
#include <string_view>

namespace platform {

// Whether the regular file at the path holds the bytes of the needle
// anywhere, read in pieces so that a large file never sits in memory. False
// when it cannot be opened as a regular file or read.
bool fileHolds(const std::string& path, std::string_view needle);

}  // namespace platform
