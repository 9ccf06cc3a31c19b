#include <cstring>

#include "platform/Digest.h"
#include "shared/Categories/NSData+MD5.h"
#include "shared/Categories/NSString+MD5.h"

std::string NSData_MD5::MD5(const std::vector<std::uint8_t>& data) {
  auto digest = platform::md5(data.data(), static_cast<std::uint32_t>(data.size()));
  return platform::lowercaseHex(digest.data(), digest.size());
}

std::string NSString_MD5::MD5(std::string_view text) {
  size_t length = strnlen(text.data(), text.size());
  auto digest = platform::md5(text.data(), static_cast<std::uint32_t>(length));
  return platform::lowercaseHex(digest.data(), digest.size());
}
