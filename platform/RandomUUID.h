#pragma once

#include <string>

namespace platform {

// A fresh random UUID in canonical upper-case text:
// 8-4-4-4-12 hexadecimal digits joined by "-".
std::string newUUIDString();

}  // namespace platform
