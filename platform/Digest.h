#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using MD5Digest = std::array<std::uint8_t, 16>;
using SHA1Digest = std::array<std::uint8_t, 20>;

// Digests of a byte range; the length is a 32-bit count, as CC_MD5 and
// CC_SHA1 take it.
MD5Digest md5(const void* data, std::uint32_t length);
SHA1Digest sha1(const void* data, std::uint32_t length);

// Bytes as lowercase hexadecimal text, high nibble first.
std::string lowercaseHex(const std::uint8_t* bytes, std::size_t count);

}  // namespace platform
