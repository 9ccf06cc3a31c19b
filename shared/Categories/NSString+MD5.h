#pragma once

#include <string>
#include <string_view>

// MD5 digest of a text's UTF-8 bytes, up to the first zero byte, as 32
// lowercase hexadecimal digits.
struct NSString_MD5 {
  static std::string MD5(std::string_view text);
};
