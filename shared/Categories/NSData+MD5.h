#pragma once

#include <cstdint>
#include <string>
#include <vector>

// MD5 digest of a byte buffer as 32 lowercase hexadecimal digits.
struct NSData_MD5 {
  static std::string MD5(const std::vector<std::uint8_t>& data);
};
