#pragma once

#include <string>

namespace platform {

// Whether the path names a regular file that this process can open for
// reading (a link counts by its target). Nothing is read.
bool isReadableFile(const std::string& path);

}  // namespace platform
