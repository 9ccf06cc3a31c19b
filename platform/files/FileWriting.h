#pragma once

#include <cstddef>

namespace platform {

// Writes all SIZE bytes to the descriptor, going on after interrupted and
// partial writes; false, with errno set, when a write fails.
bool writeAll(int fd, const void* data, std::size_t size);

}  // namespace platform
